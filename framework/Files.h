#pragma once

#include <string>
#include <string_view>

namespace fw {

// Reading or writing one whole file: its text, or a message for the user.
struct FileResult {
    bool ok = false;
    std::string text;   // what was read
    std::string error;  // "Cannot read PATH: reason" / "Cannot write PATH: reason"
};

// Whole files the user names, read and written in one go. The disk is behind
// this, so tests put an emulation in its place.
class Files {
public:
    virtual ~Files() = default;
    virtual FileResult Read(const std::string& path) = 0;
    // Creates or replaces the file.
    virtual FileResult Write(const std::string& path, std::string_view text) = 0;
};

}  // namespace fw
