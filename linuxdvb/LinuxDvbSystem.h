// The system calls the Linux DVB backend makes, behind one seam: the real
// kernel in the program, an emulated one (testing/EmulatedDvb.h) in
// tests. Results are values: a negative result is -errno.
#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace cardlib {

class DvbSystem {
public:
    virtual ~DvbSystem() = default;
    // A descriptor (>= 0) or -errno.
    virtual int Open(const std::string& path, int flags) = 0;
    // `arg` is what ioctl(2) takes after the request: a pointer, or a number
    // cast to one (DMX_SET_BUFFER_SIZE). >= 0 or -errno.
    virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
    // Bytes read or -errno.
    virtual long Read(int fd, uint8_t* buffer, size_t size) = 0;
    // Descriptors ready or -errno, as poll(2).
    virtual int Poll(pollfd* fds, size_t count, int timeoutMs) = 0;
    virtual int Close(int fd) = 0;
};

// The running kernel.
std::shared_ptr<DvbSystem> KernelDvbSystem();

// "/dev/dvb/adapterN/frontendM" and the like.
std::string DvbDevicePath(unsigned adapter, const char* kind, unsigned number);

}  // namespace cardlib
