#include "cardlib/SimBackend.h"

#include <algorithm>
#include <limits>

#include "framework/Clock.h"

namespace cardlib {

namespace {
constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

// The first emission of `table` after `afterMs`, for a transport locked at
// `lockAtMs`; kNever once the table has gone off air.
int64_t NextDue(const SimTable& table, int64_t lockAtMs, int64_t afterMs) {
    const int64_t first = lockAtMs + table.phaseMs;
    const int64_t lowest = std::max(afterMs + 1, lockAtMs + table.fromMs);
    int64_t due = first;
    if (due < lowest) due = first + (lowest - first + table.intervalMs - 1) / table.intervalMs * table.intervalMs;
    return due - lockAtMs < table.untilMs ? due : kNever;
}
}  // namespace

SimBackend::SimBackend(SimNetwork network) : m_Network(std::move(network)) {
    // The front end was tuned to the home transport long before we started.
    if (m_Network.homeTransport < m_Network.transports.size()) {
        const SimTransport& home = m_Network.transports[m_Network.homeTransport];
        if (home.locks) {
            m_Transport = &home;
            // Whatever update it has went on air long ago.
            m_Tables = TransportTables(m_Network, home, 0);
        }
    }
}

SimBackend::~SimBackend() { Stop(); }

unsigned long SimBackend::HomeFrequency() const {
    return m_Network.homeTransport < m_Network.transports.size()
               ? m_Network.transports[m_Network.homeTransport].frequencyKHz
               : 0;
}

void SimBackend::Tune(unsigned long frequencyKHz, int64_t nowMs) {
    const SimTransport* transport = m_Network.FindTransport(static_cast<uint32_t>(frequencyKHz));
    m_Transport = transport && transport->locks ? transport : nullptr;
    m_LockAtMs = m_Transport ? nowMs + LockDelayMs(m_Network, *m_Transport) : kNever;
    m_Tables.clear();
    if (m_Transport) {
        std::optional<int64_t> updateAfterMs;
        if (m_Transport->HasUpdate()) {
            auto [at, first] = m_UpdateAtMs.try_emplace(m_Transport->frequencyKHz, 0);
            if (first) at->second = m_LockAtMs + UpdateAfterMs(m_Network, *m_Transport);
            updateAfterMs = std::max<int64_t>(0, at->second - m_LockAtMs);
        }
        m_Tables = TransportTables(m_Network, *m_Transport, updateAfterMs);
    }
    m_Packetizer = TsPacketizer{};
    m_DoneUntilMs = nowMs;
    if (m_Host) Schedule();
}

void SimBackend::Start(fw::Host& host, PacketSink& sink) {
    m_Host = &host;
    m_Sink = &sink;
    // Nothing is owed for the time nobody listened.
    m_DoneUntilMs = host.GetClock().NowMs();
    Schedule();
}

void SimBackend::Stop() {
    if (m_Host && m_HasPending) m_Host->Cancel(m_Pending);
    m_HasPending = false;
    m_Host = nullptr;
    m_Sink = nullptr;
}

void SimBackend::WantedChanged() {
    if (m_Host) Schedule();
}

void SimBackend::Schedule() {
    if (m_HasPending) m_Host->Cancel(m_Pending);
    m_HasPending = false;
    if (!m_Transport || m_LockAtMs == kNever) return;
    int64_t next = kNever;
    for (const SimTable& table : m_Tables) {
        if (!m_Sink->Wants(table.pid)) continue;
        next = std::min(next, NextDue(table, m_LockAtMs, m_DoneUntilMs));
    }
    if (next == kNever) return;
    const int64_t now = m_Host->GetClock().NowMs();
    m_HasPending = true;
    m_Pending = m_Host->Post([this] { Emit(); }, next > now ? next - now : 0);
}

void SimBackend::Emit() {
    m_HasPending = false;
    if (!m_Host || !m_Sink) return;
    const int64_t now = m_Host->GetClock().NowMs();
    std::vector<uint8_t> packets;
    for (const SimTable& table : m_Tables) {
        if (!m_Sink->Wants(table.pid)) continue;
        // Every emission due since the last one, at most one per table.
        if (NextDue(table, m_LockAtMs, m_DoneUntilMs) <= now)
            m_Packetizer.Packetize(table.pid, table.SectionsAt(now), packets);
    }
    m_DoneUntilMs = now;
    if (!packets.empty()) m_Sink->OnPackets(packets.data(), packets.size());
    // The sink may have stopped us (a filter shut down in a section handler
    // cannot, as delivery is posted, but be safe).
    if (m_Host) Schedule();
}

}  // namespace cardlib
