#include "satip/SatIpNet.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace cardlib {

namespace {

class SystemNet final : public SatIpNet {
public:
    int Connect(const std::string& host, uint16_t port) override {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        // A numeric address resolves without asking anybody; a name asks the
        // resolver once, at the start of a session.
        if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return -EHOSTUNREACH;
        sockaddr_in address = *reinterpret_cast<sockaddr_in*>(found->ai_addr);
        freeaddrinfo(found);
        address.sin_port = htons(port);
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) return -errno;
        // Requests are small and each is awaited: none waits for Nagle.
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
            const int error = errno;
            ::close(fd);
            return -error;
        }
        return fd;
    }

    int Connected(int fd) override {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 0) <= 0) return 0;
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return -errno;
        return error ? -error : 1;
    }

    int BindPair(int& rtp, int& rtcp, uint16_t& rtpPort) override {
        // The kernel picks a port; an odd one, or a busy neighbour, is tried again.
        for (int attempt = 0; attempt < 32; ++attempt) {
            rtp = Udp(0);
            if (rtp < 0) return rtp;
            sockaddr_in bound{};
            socklen_t length = sizeof bound;
            getsockname(rtp, reinterpret_cast<sockaddr*>(&bound), &length);
            const uint16_t port = ntohs(bound.sin_port);
            ::close(rtp);
            if (port % 2 || port == 65534) continue;
            rtp = Udp(port);
            rtcp = rtp >= 0 ? Udp(static_cast<uint16_t>(port + 1)) : -1;
            if (rtp >= 0 && rtcp >= 0) {
                rtpPort = port;
                return 0;
            }
            if (rtp >= 0) ::close(rtp);
        }
        return -EADDRINUSE;
    }

    long Send(int fd, const void* data, size_t size) override {
        const long sent = ::send(fd, data, size, MSG_NOSIGNAL);
        return sent < 0 ? -errno : sent;
    }

    long Receive(int fd, void* buffer, size_t size) override {
        const long got = ::recv(fd, buffer, size, 0);
        return got < 0 ? -errno : got;
    }

    void Close(int fd) override { ::close(fd); }

    int OpenDatagram() override { return Udp(0); }

    long SendTo(int fd, const std::string& address, uint16_t port, const void* data, size_t size) override {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        if (inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) return -EINVAL;
        const long sent = ::sendto(fd, data, size, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        return sent < 0 ? -errno : sent;
    }

    long ReceiveFrom(int fd, void* buffer, size_t size, std::string& from) override {
        sockaddr_in sender{};
        socklen_t length = sizeof sender;
        const long got = ::recvfrom(fd, buffer, size, 0, reinterpret_cast<sockaddr*>(&sender), &length);
        if (got < 0) return -errno;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &sender.sin_addr, text, sizeof text);
        from = text;
        return got;
    }

    int WaitReadable(int fd, int64_t ms) override {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::max<int64_t>(0, ms)));
        return ready < 0 ? -errno : ready;
    }

    int64_t NowMs() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

private:
    static int Udp(uint16_t port) {
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) return -errno;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        address.sin_port = htons(port);
        // A TS stream comes in bursts: room for a second of it.
        const int buffer = 4 * 1024 * 1024;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            const int error = errno;
            ::close(fd);
            return -error;
        }
        return fd;
    }
};

}  // namespace

std::shared_ptr<SatIpNet> SystemSatIpNet() { return std::make_shared<SystemNet>(); }

std::string NetErrorText(int negativeErrno) { return std::strerror(-negativeErrno); }

}  // namespace cardlib
