#include "framework/Files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace fw {

namespace {

class SystemFiles : public Files {
public:
    ReadResult ReadAll(const std::string& path, std::string* contents) override {
        contents->clear();
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
        char buffer[8192];
        ReadResult result = ReadResult::Ok;
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n == 0) break;
            if (n < 0) {
                if (errno == EINTR) continue;
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
        if (fd < 0) return false;
        size_t done = 0;
        bool ok = true;
        while (done < contents.size()) {
            const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                ok = false;
                break;
            }
            done += static_cast<size_t>(n);
        }
        return ::close(fd) == 0 && ok;
    }

    bool Rename(const std::string& from, const std::string& to) override {
        return std::rename(from.c_str(), to.c_str()) == 0;
    }

    bool Remove(const std::string& path) override { return ::unlink(path.c_str()) == 0; }
};

}  // namespace

Files& Files::System() {
    static SystemFiles files;
    return files;
}

}  // namespace fw
