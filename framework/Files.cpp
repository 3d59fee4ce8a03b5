#include "framework/Files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace fw {

namespace {

class SystemFiles : public Files {
public:
    ReadResult ReadAll(const std::string& path, std::string* contents) override {
        contents->clear();
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            Note(error);
            return error == ENOENT || error == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
        }
        char buffer[8192];
        ReadResult result = ReadResult::Ok;
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n == 0) break;
            if (n < 0) {
                if (errno == EINTR) continue;
                Note(errno);
                result = ReadResult::Failed;
                break;
            }
            contents->append(buffer, static_cast<size_t>(n));
        }
        ::close(fd);
        return result;
    }

    bool WriteAll(const std::string& path, const std::string& contents) override {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) return Note(errno);
        size_t done = 0;
        bool ok = true;
        while (done < contents.size()) {
            const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                ok = Note(errno);
                break;
            }
            done += static_cast<size_t>(n);
        }
        // A full disk may show only here.
        if (::close(fd) != 0) return Note(errno);
        return ok;
    }

    bool Rename(const std::string& from, const std::string& to) override {
        return std::rename(from.c_str(), to.c_str()) == 0 || Note(errno);
    }

    bool Remove(const std::string& path) override { return ::unlink(path.c_str()) == 0; }

    std::string LastError() const override { return m_LastError; }

private:
    // Keeps the reason; false, for the caller to return.
    bool Note(int error) {
        m_LastError = std::strerror(error);
        return false;
    }

    std::string m_LastError;
};

}  // namespace

bool WriteWhole(Files& files, const std::string& path, const std::string& contents) {
    // Beside the file, so the rename stays on its file system; the process
    // id keeps two writers of one file apart.
    const std::string temporary = path + ".part-" + std::to_string(::getpid());
    if (files.WriteAll(temporary, contents) && files.Rename(temporary, path)) return true;
    // Removing leaves the reason of the failure that counts.
    files.Remove(temporary);
    return false;
}

Files& Files::System() {
    static SystemFiles files;
    return files;
}

}  // namespace fw
