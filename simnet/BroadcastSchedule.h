// The one broadcast schedule of the simulated network: which tables a
// transport sends, which version is on air when, at what interval, and when
// each emission falls after a lock. The simulated backend, the emulated Linux
// DVB devices and the capture writer all send by it, so what a receiver meets
// does not depend on the way it is reached.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <vector>

#include "simnet/SimNetwork.h"

namespace cardlib {

// Sections sent together on one PID, repeated at an interval, on air from
// `fromMs` until before `untilMs` after lock. A table's sections are spread
// over its interval, so a receiver may meet any of them first.
struct SimTable {
    uint16_t pid = 0;
    int64_t intervalMs = 0;
    int64_t phaseMs = 0;  // first emission this long after lock, below the interval
    std::vector<Section> sections;
    int64_t fromMs = 0;
    int64_t untilMs = std::numeric_limits<int64_t>::max();
    // Tables that tell the time (TDT, TOT, EIT present/following) are written
    // when they go out, from the UTC time then.
    std::function<std::vector<Section>(int64_t utcMs)> atTime;

    std::vector<Section> SectionsAt(int64_t utcMs) const { return atTime ? atTime(utcMs) : sections; }
    // The first emission after `afterMs` for a transport locked at `lockAtMs`;
    // kNeverMs once the table has gone off air.
    int64_t NextDueMs(int64_t lockAtMs, int64_t afterMs) const;

    static constexpr int64_t kNeverMs = std::numeric_limits<int64_t>::max();
};

// When the transport's update goes on air, after its first lock: just after
// the first SDT section, so a receiver that collects the SDT from lock on sees
// its version change half way. -1 without an update.
int64_t UpdateAfterMs(const SimNetwork& network, const SimTransport& transport);
// Everything a transport broadcasts, with its repetition. `updateAfterMs`:
// when its update goes on air after this lock (0: it is on air already);
// by default UpdateAfterMs.
std::vector<SimTable> TransportTables(const SimNetwork& network, const SimTransport& transport,
                                      std::optional<int64_t> updateAfterMs = std::nullopt);
// How long tuning to `transport` takes to lock.
int64_t LockDelayMs(const SimNetwork& network, const SimTransport& transport);

// What the tuned transport sends, emission by emission. Its owner says when
// it is tuned, which PIDs are listened to and when it looks again; emissions
// due while nobody listened are missed, as on air.
class BroadcastSchedule {
public:
    using Wanted = std::function<bool(uint16_t pid)>;
    using Send = std::function<void(uint16_t pid, const std::vector<Section>& sections)>;

    explicit BroadcastSchedule(const SimNetwork& network) : m_Network(&network) {}

    // The front end has stood on `transport` since long before: locked, and
    // whatever update it has went on air long ago.
    void StandOn(const SimTransport& transport);
    // Tuned at `nowMs`; a null transport (nothing sent there, or nothing that
    // locks) sends nothing. A transport's update goes on air once, after its
    // first lock, and stays: a second visit sees the new tables.
    void Tune(const SimTransport* transport, int64_t nowMs);
    // Nothing is sent any more (the device has gone).
    void Off();

    const SimTransport* Transport() const { return m_Transport; }
    bool LockedAt(int64_t nowMs) const { return m_Transport && nowMs >= m_LockAtMs; }
    // Nothing is owed for the time before `nowMs`.
    void Resume(int64_t nowMs) { m_DoneUntilMs = std::max(m_DoneUntilMs, nowMs); }

    // The next emission of a wanted table after what has gone out; kNeverMs
    // when none is to come.
    int64_t NextDueMs(const Wanted& wanted) const;
    // Hands every wanted table due by `nowMs` to `send`, each at most once,
    // with its sections as written at `nowMs`.
    void SendDue(int64_t nowMs, const Wanted& wanted, const Send& send);

private:
    const SimNetwork* m_Network;
    const SimTransport* m_Transport = nullptr;
    std::vector<SimTable> m_Tables;
    int64_t m_LockAtMs = SimTable::kNeverMs;
    int64_t m_DoneUntilMs = 0;  // emissions up to here have gone out (or were missed)
    // When each transport's update went on air (by frequency, kHz).
    std::map<uint32_t, int64_t> m_UpdateAtMs;
};

}  // namespace cardlib
