#include "framework/XdgDirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace fw {

namespace {

// A base directory must be absolute; a relative one is ignored.
std::string BaseDirectory(const char* variable, const char* underHome) {
    if (const char* dir = std::getenv(variable); dir != nullptr && dir[0] == '/') return dir;
    return HomeDirectory() + underHome;
}

}  // namespace

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
    return ".";
}

std::string XdgConfigHome() { return BaseDirectory("XDG_CONFIG_HOME", "/.config"); }

std::string XdgDataHome() { return BaseDirectory("XDG_DATA_HOME", "/.local/share"); }

}  // namespace fw
