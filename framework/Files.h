// Whole-file reads and writes for our settings files and the user's files, behind one seam so that
// tests can make them fail the way a disk or a file system would.
#pragma once

#include <string>

namespace fw {

class Files {
public:
    enum class ReadResult { Ok, Missing, Failed };

    virtual ~Files() = default;
    // Missing only when there is no such file; anything else that keeps the
    // contents from being read is Failed.
    virtual ReadResult ReadAll(const std::string& path, std::string* contents) = 0;
    // Creates or truncates the file; false if any of it could not be written.
    virtual bool WriteAll(const std::string& path, const std::string& contents) = 0;
    virtual bool Rename(const std::string& from, const std::string& to) = 0;
    virtual bool Remove(const std::string& path) = 0;
    // Why the last call that failed did, in the system's words ("Permission
    // denied"), for a message to the user; empty where nothing says.
    virtual std::string LastError() const { return {}; }

    // The operating system's files.
    static Files& System();
};

// Writes the whole file or nothing of it: into a new file beside it, then
// renamed over it, so a failure (a full disk, a folder in its place) leaves
// what was there before. False with files.LastError() saying why.
bool WriteWhole(Files& files, const std::string& path, const std::string& contents);

}  // namespace fw
