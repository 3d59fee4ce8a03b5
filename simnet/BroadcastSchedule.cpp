#include "simnet/BroadcastSchedule.h"

#include <algorithm>

#include "simnet/SimSections.h"
#include "broadcast/SiTags.h"

namespace cardlib {

namespace {

namespace table = si::table;
namespace pid = si::pid;

constexpr int64_t kForever = std::numeric_limits<int64_t>::max();


// Where in its interval a table starts, the same way every time, and
// different for each transport, PID and table on it.
int64_t Phase(const SimTransport& transport, uint16_t onPid, uint64_t table, int64_t intervalMs) {
    const uint64_t h = (uint64_t{transport.transportStreamId} * 2654435761u) ^ (uint64_t{onPid} * 40503u) ^
                       (uint64_t{table} * 0x9E3779B97F4A7C15u);
    return static_cast<int64_t>(h % static_cast<uint64_t>(intervalMs));
}

// Section `i` of `count` goes out this far into the interval.
int64_t SpreadPhase(int64_t phase, size_t i, size_t count, int64_t intervalMs) {
    return (phase + static_cast<int64_t>(i) * intervalMs / static_cast<int64_t>(count)) % intervalMs;
}

}  // namespace

int64_t UpdateAfterMs(const SimNetwork& network, const SimTransport& transport) {
    if (!transport.HasUpdate()) return -1;
    const int64_t interval = network.timing.sdtIntervalMs;
    const int64_t phase = Phase(transport, pid::kSdtBat, table::kSdtActual, interval);
    const size_t count = BuildSdt(transport, false).size();
    int64_t first = interval;
    for (size_t i = 0; i < count; ++i) first = std::min(first, SpreadPhase(phase, i, count, interval));
    return first + 1;
}

std::vector<SimTable> TransportTables(const SimNetwork& network, const SimTransport& transport,
                                      std::optional<int64_t> updateAfterMs) {
    const SimTiming& timing = network.timing;
    std::vector<SimTable> tables;
    auto spread = [&](uint16_t onPid, uint64_t key, int64_t interval, const std::vector<Section>& sections,
                      int64_t from = 0, int64_t until = kForever) {
        const int64_t phase = Phase(transport, onPid, key, interval);
        for (size_t i = 0; i < sections.size(); ++i)
            tables.push_back({onPid, interval, SpreadPhase(phase, i, sections.size(), interval), {sections[i]}, from, until, {}});
    };
    auto timed = [&](uint16_t onPid, uint64_t key, int64_t interval, size_t count,
                     std::function<std::vector<Section>(int64_t)> build) {
        const int64_t phase = Phase(transport, onPid, key, interval);
        for (size_t i = 0; i < count; ++i)
            tables.push_back({onPid, interval, SpreadPhase(phase, i, count, interval), {}, 0, kForever,
                              [build, i](int64_t utcMs) { return std::vector<Section>{build(utcMs).at(i)}; }});
    };

    const int64_t update = transport.HasUpdate() ? updateAfterMs.value_or(UpdateAfterMs(network, transport)) : -1;
    if (update <= 0) {
        spread(pid::kPat, table::kPat, timing.patIntervalMs, BuildPat(transport));
        spread(pid::kSdtBat, table::kSdtActual, timing.sdtIntervalMs, BuildSdt(transport));
    } else {
        spread(pid::kPat, table::kPat, timing.patIntervalMs, BuildPat(transport, false), 0, update);
        spread(pid::kPat, table::kPat, timing.patIntervalMs, BuildPat(transport), update);
        spread(pid::kSdtBat, table::kSdtActual, timing.sdtIntervalMs, BuildSdt(transport, false), 0, update);
        spread(pid::kSdtBat, table::kSdtActual, timing.sdtIntervalMs, BuildSdt(transport), update);
    }
    // One PMT PID may carry several programs, one section each.
    std::map<uint16_t, std::vector<Section>> pmts;
    for (const SimService& s : transport.services)
        if (s.pmtPid != 0) pmts[s.pmtPid].push_back(BuildPmt(s));
    for (auto& [pmtPid, sections] : pmts) spread(pmtPid, table::kPmt, timing.patIntervalMs, sections);
    spread(pid::kNit, table::kNitActual, timing.nitIntervalMs, BuildNit(network));

    for (const SimNetwork& other : network.neighbours) {
        spread(pid::kNit, table::kNitOther + (uint64_t{other.networkId} << 8), timing.otherIntervalMs,
               BuildNit(other, table::kNitOther));
        for (const SimTransport& t : other.transports)
            spread(pid::kSdtBat, table::kSdtOther + (uint64_t{t.transportStreamId} << 8) + (uint64_t{t.originalNetworkId} << 24),
                   timing.otherIntervalMs, BuildSdt(t, true, table::kSdtOther));
    }
    for (const SimBouquet& bouquet : network.bouquets)
        spread(pid::kSdtBat, table::kBat + (uint64_t{bouquet.bouquetId} << 8), timing.otherIntervalMs,
               BuildBat(network, bouquet));

    SimTransport ids = transport;  // what the EIT needs of the transport
    ids.services.clear();
    for (const SimService& s : transport.services) {
        if (s.pmtPid == 0) continue;
        timed(pid::kEit, table::kEitPresentFollowingActual + (uint64_t{s.serviceId} << 8), timing.eitIntervalMs, 2,
              [ids, s](int64_t utcMs) { return BuildEitPresentFollowing(ids, s, utcMs); });
    }
    timed(pid::kTdtTot, table::kTdt, timing.timeIntervalMs, 1,
          [](int64_t utcMs) { return std::vector<Section>{BuildTdt(utcMs)}; });
    timed(pid::kTdtTot, table::kTot, timing.timeIntervalMs, 1,
          [](int64_t utcMs) { return std::vector<Section>{BuildTot(utcMs)}; });
    return tables;
}

int64_t LockDelayMs(const SimNetwork& network, const SimTransport& transport) {
    const int64_t span = network.timing.lockMaxMs - network.timing.lockMinMs;
    const int64_t spread = span > 0 ? static_cast<int64_t>((transport.frequencyKHz / 1000u) * 37u) % (span + 1) : 0;
    return network.timing.lockMinMs + spread;
}

int64_t SimTable::NextDueMs(int64_t lockAtMs, int64_t afterMs) const {
    const int64_t first = lockAtMs + phaseMs;
    const int64_t lowest = std::max(afterMs + 1, lockAtMs + fromMs);
    int64_t due = first;
    if (due < lowest) due = first + (lowest - first + intervalMs - 1) / intervalMs * intervalMs;
    return due - lockAtMs < untilMs ? due : kNeverMs;
}

void BroadcastSchedule::StandOn(const SimTransport& transport) {
    m_Transport = &transport;
    m_LockAtMs = 0;
    m_Tables = TransportTables(*m_Network, transport, 0);
}

void BroadcastSchedule::Tune(const SimTransport* transport, int64_t nowMs) {
    m_Transport = transport;
    m_Tables.clear();
    m_DoneUntilMs = nowMs;
    if (!transport) {
        m_LockAtMs = SimTable::kNeverMs;
        return;
    }
    m_LockAtMs = nowMs + LockDelayMs(*m_Network, *transport);
    std::optional<int64_t> updateAfterMs;
    if (transport->HasUpdate()) {
        auto [at, first] = m_UpdateAtMs.try_emplace(transport->frequencyKHz, 0);
        if (first) at->second = m_LockAtMs + UpdateAfterMs(*m_Network, *transport);
        updateAfterMs = std::max<int64_t>(0, at->second - m_LockAtMs);
    }
    m_Tables = TransportTables(*m_Network, *transport, updateAfterMs);
}

void BroadcastSchedule::Off() {
    m_Transport = nullptr;
    m_Tables.clear();
    m_LockAtMs = SimTable::kNeverMs;
}

int64_t BroadcastSchedule::NextDueMs(const Wanted& wanted) const {
    int64_t next = SimTable::kNeverMs;
    if (!m_Transport) return next;
    for (const SimTable& table : m_Tables)
        if (wanted(table.pid)) next = std::min(next, table.NextDueMs(m_LockAtMs, m_DoneUntilMs));
    return next;
}

void BroadcastSchedule::SendDue(int64_t nowMs, const Wanted& wanted, const Send& send) {
    if (m_Transport) {
        for (const SimTable& table : m_Tables) {
            // Every emission due since the last look, at most one per table.
            if (wanted(table.pid) && table.NextDueMs(m_LockAtMs, m_DoneUntilMs) <= nowMs)
                send(table.pid, table.SectionsAt(nowMs));
        }
    }
    m_DoneUntilMs = nowMs;
}

}  // namespace cardlib
