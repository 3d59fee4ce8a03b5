// Arbitrary bytes as the settings file: reading must give a number or the
// default, and a write must leave a file from which the value reads back.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/Profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/kelvane-profile-fuzz-" + std::to_string(::getpid()) + ".INI";
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size > 0) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    fw::Profile profile(path);
    const char* sections[] = {"MainFrame", "Columns", "Settings", ""};
    const char* keys[] = {"Left", "Col_3", "UpdateNames", "="};
    for (const char* section : sections) {
        for (const char* key : keys) (void)profile.GetInt(section, key, -7);
    }
    if (profile.WriteInt("Columns", "Col_5", 1234) && profile.GetInt("Columns", "Col_5", -1) != 1234) std::abort();
    std::remove(path.c_str());
    return 0;
}
