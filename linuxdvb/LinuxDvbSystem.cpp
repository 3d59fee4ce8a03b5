#include "linuxdvb/LinuxDvbSystem.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace cardlib {

namespace {

class Kernel final : public DvbSystem {
public:
    int Open(const std::string& path, int flags) override {
        const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
        return fd >= 0 ? fd : -errno;
    }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        int result;
        // A signal may interrupt a driver's wait; the call is repeated as the
        // DVB tools do.
        do result = ::ioctl(fd, request, arg);
        while (result < 0 && errno == EINTR);
        return result >= 0 ? result : -errno;
    }
    long Read(int fd, uint8_t* buffer, size_t size) override {
        ssize_t result;
        do result = ::read(fd, buffer, size);
        while (result < 0 && errno == EINTR);
        return result >= 0 ? static_cast<long>(result) : -errno;
    }
    int Poll(pollfd* fds, size_t count, int timeoutMs) override {
        const int result = ::poll(fds, count, timeoutMs);
        return result >= 0 ? result : -errno;
    }
    int Close(int fd) override { return ::close(fd) == 0 ? 0 : -errno; }
};

}  // namespace

std::shared_ptr<DvbSystem> KernelDvbSystem() { return std::make_shared<Kernel>(); }

std::string DvbDevicePath(unsigned adapter, const char* kind, unsigned number) {
    return "/dev/dvb/adapter" + std::to_string(adapter) + "/" + kind + std::to_string(number);
}

}  // namespace cardlib
