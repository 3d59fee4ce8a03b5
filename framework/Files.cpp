#include "framework/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "framework/Host.h"

namespace fw {

namespace {

// Far more than any channel list; stops a device or a wrong pick from being
// read without end.
constexpr size_t kMaxFileSize = 64u << 20;

FileResult Failed(const char* verb, const std::string& path, const char* reason) {
    FileResult result;
    result.error = std::string("Cannot ") + verb + " " + path + ": " + reason;
    return result;
}

class DiskFileSystem final : public Files {
public:
    FileResult Read(const std::string& path) override {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return Failed("read", path, std::strerror(errno));
        FileResult result;
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
            ::close(fd);
            return Failed("read", path, std::strerror(EISDIR));
        }
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                const int error = errno;
                ::close(fd);
                return Failed("read", path, std::strerror(error));
            }
            if (n == 0) break;
            if (kMaxFileSize - result.text.size() < static_cast<size_t>(n)) {
                ::close(fd);
                return Failed("read", path, "the file is too large");
            }
            result.text.append(buffer, static_cast<size_t>(n));
        }
        ::close(fd);
        result.ok = true;
        return result;
    }

    FileResult Write(const std::string& path, std::string_view text) override {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) return Failed("write", path, std::strerror(errno));
        while (!text.empty()) {
            const ssize_t n = ::write(fd, text.data(), text.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                const int error = n < 0 ? errno : EIO;
                ::close(fd);
                return Failed("write", path, std::strerror(error));
            }
            text.remove_prefix(static_cast<size_t>(n));
        }
        // A full disk may show only here.
        if (::close(fd) != 0) return Failed("write", path, std::strerror(errno));
        FileResult result;
        result.ok = true;
        return result;
    }
};

}  // namespace

Files& DiskFiles() {
    static DiskFileSystem files;
    return files;
}

}  // namespace fw
