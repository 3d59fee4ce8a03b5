// A preload library that puts the emulated Linux DVB devices behind the real
// system calls of any process, so that third-party DVB clients (dvbv5-scan,
// kelvane-cli with Backend=dvb) meet the same kernel answers as our tests:
//
//   LD_PRELOAD=libkelvane_dvb_preload.so dvbv5-scan -C DE initial-file
//
// open/openat of /dev/dvb/adapter0/{frontend0,demux0} give emulated
// descriptors; ioctl, read, poll, select, fcntl and close on them go to the
// emulation, everything else to the C library. libdvbv5 finds its devices
// through libudev, so the few libudev calls it makes are answered here too,
// with the emulated adapter as the only DVB device (DvbPreloadUdev.cpp).
//
// The emulation runs on the real clock: whenever a call reaches it, the
// events that fell due since are run first, and a call that blocks waits
// until the next of them. Set up by the environment:
//   KELVANE_DVB_NETWORK    "default" (the default), "large" or "operator"
//   KELVANE_DVB_RETUNE_MS  how long the old transport still arrives after a
//                          tuning (default 50)
//   KELVANE_DVB_FRONTEND_HOLD_MS  a slow driver: how long a tuning holds
//                          the frontend's calls (default 0)
//   KELVANE_DVB_TRACE      any value: every refused call on stderr
// A testing tool: built for the machine it runs on, never installed.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <stdarg.h>
#include <sys/select.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "simnet/SimNetwork.h"
#include "testing/EmulatedDvb.h"
#include "framework/headless/HeadlessHost.h"
#include "testing/preload/DvbPreload.h"

using kelvane_preload::Inside;
using kelvane_preload::t_Inside;

namespace {

template <typename F>
F Real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

using OpenFn = int (*)(const char*, int, ...);
using OpenAtFn = int (*)(int, const char*, int, ...);
using IoctlFn = int (*)(int, unsigned long, ...);
using ReadFn = ssize_t (*)(int, void*, size_t);
using PollFn = int (*)(pollfd*, nfds_t, int);
using SelectFn = int (*)(int, fd_set*, fd_set*, fd_set*, timeval*);
using CloseFn = int (*)(int);
using FcntlFn = int (*)(int, int, ...);

int RealPoll(pollfd* fds, nfds_t count, int timeoutMs) {
    static const PollFn poll = Real<PollFn>("poll");
    return poll(fds, count, timeoutMs);
}

int64_t RealNowMs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

int64_t EnvNumber(const char* name, int64_t fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    return *end == '\0' && value >= 0 ? value : fallback;
}

struct Emulation {
    std::recursive_mutex mutex;
    fw::HeadlessHost host{RealNowMs()};
    std::unique_ptr<cardlib::EmulatedDvb> dvb;
    std::map<int, bool> blocking;  // emulated descriptors: opened without O_NONBLOCK
    bool trace = false;

    Emulation() {
        const char* name = std::getenv("KELVANE_DVB_NETWORK");
        const std::string network = name ? name : "default";
        cardlib::EmulatedDvb::Setup setup;
        setup.retuneMs = EnvNumber("KELVANE_DVB_RETUNE_MS", 50);
        setup.frontendHoldMs = EnvNumber("KELVANE_DVB_FRONTEND_HOLD_MS", 0);
        trace = std::getenv("KELVANE_DVB_TRACE") != nullptr;
        const cardlib::SimNetwork& sim = network == "large"      ? cardlib::LargeNetwork()
                                         : network == "operator" ? cardlib::OperatorNetwork()
                                                                 : cardlib::DefaultNetwork();
        dvb = std::make_unique<cardlib::EmulatedDvb>(host, sim, setup);
    }
    // Runs what fell due up to now.
    void Pump() {
        const int64_t now = RealNowMs();
        const int64_t at = host.GetClock().NowMs();
        if (now > at) host.Advance(now - at);
    }
    // How long a wait may last before an event falls due; capped, so a
    // descriptor another thread changed is seen soon.
    int64_t UntilNextEventMs() {
        const std::optional<int64_t> next = host.NextEventMs();
        const int64_t wait = next ? *next - RealNowMs() : 100;
        return std::clamp<int64_t>(wait, 0, 100);
    }
    bool Emulated(int fd) const { return blocking.count(fd) != 0; }
    int Result(const char* call, int fd, long result) {
        if (result >= 0) return static_cast<int>(result);
        if (trace) std::fprintf(stderr, "kelvane-dvb: %s on %d: %s\n", call, fd, std::strerror(static_cast<int>(-result)));
        errno = static_cast<int>(-result);
        return -1;
    }
};

// Made at the first DVB open, and kept to the end of the process: a client
// may still hold descriptors while the C++ objects of other libraries go.
Emulation& Get() {
    static Emulation* emulation = [] {
        Inside inside;
        return new Emulation;
    }();
    return *emulation;
}
// Until the first DVB open no descriptor is emulated, and nothing is made.
std::atomic<bool> g_Started{false};

bool IsDvbPath(const char* path) { return path && std::strncmp(path, "/dev/dvb/", 9) == 0; }

bool IsEmulated(int fd) {
    if (t_Inside || !g_Started) return false;
    Emulation& e = Get();
    std::lock_guard<std::recursive_mutex> lock(e.mutex);
    return e.Emulated(fd);
}

int OpenDvb(const char* path, int flags) {
    Emulation& e = Get();
    std::lock_guard<std::recursive_mutex> lock(e.mutex);
    Inside inside;
    g_Started = true;
    e.Pump();
    const int fd = e.dvb->Open(path, flags);
    if (fd >= 0) e.blocking[fd] = (flags & O_NONBLOCK) == 0;
    return e.Result("open", fd, fd);
}

// Poll over emulated and real descriptors together, on the real clock.
int PollMixed(pollfd* fds, nfds_t count, int timeoutMs) {
    Emulation& e = Get();
    const int64_t deadline = timeoutMs < 0 ? INT64_MAX : RealNowMs() + timeoutMs;
    std::vector<pollfd> real;
    std::vector<size_t> realAt;
    for (;;) {
        int ready = 0;
        real.clear();
        realAt.clear();
        int64_t wait;
        {
            std::lock_guard<std::recursive_mutex> lock(e.mutex);
            Inside inside;
            e.Pump();
            for (nfds_t i = 0; i < count; ++i) {
                if (e.Emulated(fds[i].fd)) {
                    e.dvb->Poll(&fds[i], 1, 0);
                    ready += fds[i].revents != 0;
                } else {
                    real.push_back(fds[i]);
                    realAt.push_back(i);
                }
            }
            wait = e.UntilNextEventMs();
        }
        const int64_t now = RealNowMs();
        const int64_t left = deadline - now;
        // Nothing emulated is ready: wait on the real descriptors until the
        // next emulated event, or the caller's time-out, whichever is first.
        const int realWait = ready > 0 || left <= 0 ? 0 : static_cast<int>(std::min(left, wait));
        const int realReady = RealPoll(real.data(), real.size(), realWait);
        if (realReady < 0) return -1;
        for (size_t k = 0; k < real.size(); ++k) fds[realAt[k]].revents = real[k].revents;
        ready += realReady;
        if (ready > 0 || RealNowMs() >= deadline) return ready;
    }
}

// Waits until the emulated descriptor has something for `events`.
void AwaitReady(int fd, short events) {
    pollfd p{fd, events, 0};
    PollMixed(&p, 1, -1);
}

// open(2) reads its third argument only for these.
bool TakesMode(int flags) { return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE; }

}  // namespace

KELVANE_EXPORT int open(const char* path, int flags, ...) {
    static const OpenFn real = Real<OpenFn>("open");
    if (!t_Inside && IsDvbPath(path)) return OpenDvb(path, flags);
    mode_t mode = 0;
    if (TakesMode(flags)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    return real(path, flags, mode);
}

KELVANE_EXPORT int open64(const char* path, int flags, ...) {
    static const OpenFn real = Real<OpenFn>("open64");
    if (!t_Inside && IsDvbPath(path)) return OpenDvb(path, flags);
    mode_t mode = 0;
    if (TakesMode(flags)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    return real(path, flags, mode);
}

KELVANE_EXPORT int __open_2(const char* path, int flags) {
    static const auto real = Real<int (*)(const char*, int)>("__open_2");
    if (!t_Inside && IsDvbPath(path)) return OpenDvb(path, flags);
    return real(path, flags);
}

KELVANE_EXPORT int __open64_2(const char* path, int flags) {
    static const auto real = Real<int (*)(const char*, int)>("__open64_2");
    if (!t_Inside && IsDvbPath(path)) return OpenDvb(path, flags);
    return real(path, flags);
}

KELVANE_EXPORT int openat(int dir, const char* path, int flags, ...) {
    static const OpenAtFn real = Real<OpenAtFn>("openat");
    if (!t_Inside && IsDvbPath(path)) return OpenDvb(path, flags);
    mode_t mode = 0;
    if (TakesMode(flags)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    return real(dir, path, flags, mode);
}

KELVANE_EXPORT int openat64(int dir, const char* path, int flags, ...) {
    static const OpenAtFn real = Real<OpenAtFn>("openat64");
    if (!t_Inside && IsDvbPath(path)) return OpenDvb(path, flags);
    mode_t mode = 0;
    if (TakesMode(flags)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    return real(dir, path, flags, mode);
}

KELVANE_EXPORT int ioctl(int fd, unsigned long request, ...) {
    static const IoctlFn real = Real<IoctlFn>("ioctl");
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (!IsEmulated(fd)) return real(fd, request, arg);
    Emulation& e = Get();
    for (;;) {
        bool block;
        int result;
        {
            std::lock_guard<std::recursive_mutex> lock(e.mutex);
            Inside inside;
            e.Pump();
            result = e.dvb->Ioctl(fd, request, arg);
            block = e.blocking[fd];
        }
        // dvb_frontend.c, dvb_frontend_get_event: a blocking descriptor
        // waits for the next event.
        if (result == -EWOULDBLOCK && block) {
            AwaitReady(fd, POLLIN | POLLPRI);
            continue;
        }
        std::lock_guard<std::recursive_mutex> lock(e.mutex);
        return e.Result("ioctl", fd, result);
    }
}

KELVANE_EXPORT ssize_t read(int fd, void* buffer, size_t size) {
    static const ReadFn real = Real<ReadFn>("read");
    if (!IsEmulated(fd)) return real(fd, buffer, size);
    Emulation& e = Get();
    for (;;) {
        bool block;
        long result;
        {
            std::lock_guard<std::recursive_mutex> lock(e.mutex);
            Inside inside;
            e.Pump();
            result = e.dvb->Read(fd, static_cast<uint8_t*>(buffer), size);
            block = e.blocking[fd];
        }
        // dmxdev.c, dvb_dmxdev_buffer_read: a blocking read waits for data
        // (or the filter's time-out).
        if (result == -EAGAIN && block) {
            AwaitReady(fd, POLLIN);
            continue;
        }
        std::lock_guard<std::recursive_mutex> lock(e.mutex);
        return e.Result("read", fd, result);
    }
}

KELVANE_EXPORT ssize_t __read_chk(int fd, void* buffer, size_t size, size_t) { return read(fd, buffer, size); }

KELVANE_EXPORT int poll(pollfd* fds, nfds_t count, int timeoutMs) {
    bool any = false;
    for (nfds_t i = 0; i < count && !any; ++i) any = IsEmulated(fds[i].fd);
    if (!any) return RealPoll(fds, count, timeoutMs);
    return PollMixed(fds, count, timeoutMs);
}

KELVANE_EXPORT int __poll_chk(pollfd* fds, nfds_t count, int timeoutMs, size_t) { return poll(fds, count, timeoutMs); }

KELVANE_EXPORT int select(int count, fd_set* readable, fd_set* writable, fd_set* failed, timeval* timeout) {
    static const SelectFn real = Real<SelectFn>("select");
    bool any = false;
    for (int fd = 0; fd < count && !any; ++fd)
        if ((readable && FD_ISSET(fd, readable)) || (writable && FD_ISSET(fd, writable)) ||
            (failed && FD_ISSET(fd, failed)))
            any = IsEmulated(fd);
    if (!any) return real(count, readable, writable, failed, timeout);
    std::vector<pollfd> fds;
    for (int fd = 0; fd < count; ++fd) {
        short events = 0;
        if (readable && FD_ISSET(fd, readable)) events |= POLLIN;
        if (writable && FD_ISSET(fd, writable)) events |= POLLOUT;
        if (failed && FD_ISSET(fd, failed)) events |= POLLPRI;
        if (events) fds.push_back(pollfd{fd, events, 0});
    }
    const int64_t began = RealNowMs();
    const int timeoutMs =
        timeout ? static_cast<int>(timeout->tv_sec * 1000 + (timeout->tv_usec + 999) / 1000) : -1;
    const int ready = PollMixed(fds.data(), fds.size(), timeoutMs);
    if (ready < 0) return -1;
    if (readable) FD_ZERO(readable);
    if (writable) FD_ZERO(writable);
    if (failed) FD_ZERO(failed);
    int bits = 0;
    for (const pollfd& p : fds) {
        if (readable && (p.revents & (POLLIN | POLLHUP | POLLERR))) FD_SET(p.fd, readable), ++bits;
        if (writable && (p.revents & (POLLOUT | POLLERR))) FD_SET(p.fd, writable), ++bits;
        if (failed && (p.revents & POLLPRI)) FD_SET(p.fd, failed), ++bits;
    }
    // Linux leaves the time that was not slept in the time-out.
    if (timeout) {
        const int64_t left = std::max<int64_t>(0, timeoutMs - (RealNowMs() - began));
        timeout->tv_sec = static_cast<time_t>(left / 1000);
        timeout->tv_usec = static_cast<suseconds_t>(left % 1000 * 1000);
    }
    return bits;
}

KELVANE_EXPORT int close(int fd) {
    static const CloseFn real = Real<CloseFn>("close");
    if (!IsEmulated(fd)) return real(fd);
    Emulation& e = Get();
    std::lock_guard<std::recursive_mutex> lock(e.mutex);
    Inside inside;
    e.blocking.erase(fd);
    return e.Result("close", fd, e.dvb->Close(fd));
}

KELVANE_EXPORT int fcntl(int fd, int command, ...) {
    static const FcntlFn real = Real<FcntlFn>("fcntl");
    va_list args;
    va_start(args, command);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (!IsEmulated(fd)) return real(fd, command, arg);
    Emulation& e = Get();
    std::lock_guard<std::recursive_mutex> lock(e.mutex);
    switch (command) {
        case F_GETFL: return O_RDWR | (e.blocking[fd] ? 0 : O_NONBLOCK);
        case F_SETFL:
            e.blocking[fd] = (reinterpret_cast<intptr_t>(arg) & O_NONBLOCK) == 0;
            return 0;
        case F_GETFD: return FD_CLOEXEC;
        case F_SETFD: return 0;
        default: errno = EINVAL; return -1;
    }
}

KELVANE_EXPORT int fcntl64(int fd, int command, ...) {
    va_list args;
    va_start(args, command);
    void* arg = va_arg(args, void*);
    va_end(args);
    return fcntl(fd, command, arg);
}
