// Kelvane's version, defined once by the build (project(VERSION) in
// CMakeLists.txt), and its licence.
#pragma once

#include <string>

#ifndef KELVANE_VERSION
#error "KELVANE_VERSION comes from the build: link the kelvane_version target"
#endif

inline constexpr const char* kKelvaneVersion = KELVANE_VERSION;
inline constexpr const char* kKelvaneLicence = "GPL-2.0-or-later";

// What `--version` prints: "kelvane-cli 2.3 (GPL-2.0-or-later)".
inline std::string VersionLine(const std::string& program) {
    return program + " " + kKelvaneVersion + " (" + kKelvaneLicence + ")";
}
