#pragma once

#include <cstdint>

namespace fw {

// Wall time as time() gives it. The headless host's clock is virtual.
class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since the epoch.
    virtual int64_t NowMs() const = 0;
    // Seconds since the epoch, as time() returns them.
    int64_t Now() const { return NowMs() / 1000; }
};

class SystemClock final : public Clock {
public:
    int64_t NowMs() const override;
};

}  // namespace fw
