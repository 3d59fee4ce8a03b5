// Arbitrary bytes as the board database file: a load either fails or gives
// records that read back whole; a failed load must leave the file untouched.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "card/DBDVBX32.h"
#include "board/BoardDatabase.h"

namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/kelvane-board-fuzz-" + std::to_string(::getpid()) + ".db";
    cardlib::Board board(path);
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size > 0) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    if (DVB_LoadDBProgData() != DVB_ERR_OK) {
        // A file the library cannot read is never written over.
        if (DVB_DelAllDBProgData() == DVB_ERR_OK && DVB_SaveDBProgData() == DVB_ERR_OK) std::abort();
        if (ReadFile(path) != std::vector<uint8_t>(data, data + size)) std::abort();
    } else {
        uint32_t first = 0, count = 0;
        if (DVB_GetDBProgCount(&first, &count) == DVB_ERR_OK) {
            for (uint32_t p = 1; p <= count && p <= 1000; ++p) {
                TunProgDataTag record;
                uint32_t recordSize = kTunProgDataTagSize;
                (void)DVB_GetDBProgData(p, &recordSize, &record);
            }
        }
    }
    std::remove(path.c_str());
    std::remove((path + "-journal").c_str());
    return 0;
}
