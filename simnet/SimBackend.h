// The simulated cable network as a packet source: the default backend.
#pragma once

#include <memory>

#include "cardlib/Backend.h"
#include "simnet/BroadcastSchedule.h"
#include "simnet/SimNetwork.h"
#include "simnet/TsPacketizer.h"
#include "framework/Host.h"

namespace cardlib {

// Tuning locks after the transport's lock delay (never, for a transport that
// does not lock or a frequency nobody sends on); then each table repeats at
// its interval. Emissions are posted for the next due time, and only while
// started, and only for tables whose PID somebody wants.
class SimBackend final : public Backend {
public:
    explicit SimBackend(SimNetwork network);
    ~SimBackend() override;

    unsigned long HomeFrequency() const override;
    void Tune(unsigned long frequencyKHz, int64_t nowMs) override;
    std::optional<bool> Locked(int64_t nowMs) const override { return m_Schedule.LockedAt(nowMs); }
    // Nothing locks there: the tuner tries for the network's longest lock time.
    bool LockGivenUp(int64_t nowMs) const override {
        return !m_Schedule.Transport() && nowMs - m_TunedAtMs >= m_Network.timing.lockMaxMs;
    }
    void Start(fw::Host& host, PacketSink& sink) override;
    void Stop() override;
    void WantedChanged() override;

    const SimNetwork& Network() const { return m_Network; }

private:
    void Schedule();
    void Emit();

    SimNetwork m_Network;
    BroadcastSchedule m_Schedule;
    TsPacketizer m_Packetizer;
    fw::Host* m_Host = nullptr;
    PacketSink* m_Sink = nullptr;
    fw::TaskId m_Pending = 0;
    bool m_HasPending = false;
    int64_t m_TunedAtMs = 0;
};

}  // namespace cardlib
