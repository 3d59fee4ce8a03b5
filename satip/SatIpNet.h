// The sockets the SAT>IP backend uses, behind one seam: the real ones in the
// program; tests wrap them to make a call fail. Every socket is
// non-blocking. Results are values: a negative result is -errno.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace cardlib {

class SatIpNet {
public:
    virtual ~SatIpNet() = default;
    // Begins a TCP connection to `host` (a name or an IPv4 address) and
    // `port`: a descriptor, or -errno (a name that does not resolve is
    // -EHOSTUNREACH).
    virtual int Connect(const std::string& host, uint16_t port) = 0;
    // 1 once the connection stands, 0 while it is being made, -errno when it failed.
    virtual int Connected(int fd) = 0;
    // Two UDP sockets on neighbouring ports, the first even (RFC 3550 11):
    // 0, or -errno.
    virtual int BindPair(int& rtp, int& rtcp, uint16_t& rtpPort) = 0;
    // Bytes sent or received, or -errno (-EAGAIN: nothing now). Receive
    // gives 0 when the peer closed a TCP connection.
    virtual long Send(int fd, const void* data, size_t size) = 0;
    virtual long Receive(int fd, void* buffer, size_t size) = 0;
    virtual void Close(int fd) = 0;

    // Discovery (SSDP): a UDP socket on any port; a datagram to an IPv4
    // address and port; one received, with the sender's address; waiting
    // for a descriptor to be readable (1), or not within `ms` (0); the time.
    virtual int OpenDatagram() = 0;
    virtual long SendTo(int fd, const std::string& address, uint16_t port, const void* data, size_t size) = 0;
    virtual long ReceiveFrom(int fd, void* buffer, size_t size, std::string& from) = 0;
    virtual int WaitReadable(int fd, int64_t ms) = 0;
    virtual int64_t NowMs() = 0;
};

// The operating system's sockets.
std::shared_ptr<SatIpNet> SystemSatIpNet();

// "Connection refused" and the like, for -errno.
std::string NetErrorText(int negativeErrno);

}  // namespace cardlib
