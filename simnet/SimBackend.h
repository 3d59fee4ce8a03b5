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
    // A sweep's step on a frequency without a carrier ends after the signal check.
    bool LockGivenUp(int64_t nowMs) const override {
        return !m_Schedule.Transport() &&
               nowMs - m_TunedAtMs >= (m_Probing ? kNoCarrierMs : m_Network.timing.lockMaxMs);
    }
    // The simulated demodulator finds a transport's symbol rate itself.
    bool Probe(unsigned long frequencyKHz, int64_t nowMs) override;
    std::optional<Reception> LockedWith(int64_t nowMs) const override;
    static constexpr int64_t kNoCarrierMs = 200;
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
    bool m_Probing = false;
};

}  // namespace cardlib
