#include "simnet/SimBackend.h"

#include "framework/Clock.h"

namespace cardlib {

SimBackend::SimBackend(SimNetwork network) : m_Network(std::move(network)), m_Schedule(m_Network) {
    // The front end was tuned to the home transport long before we started.
    if (m_Network.homeTransport < m_Network.transports.size()) {
        const SimTransport& home = m_Network.transports[m_Network.homeTransport];
        if (home.locks) m_Schedule.StandOn(home);
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
    m_Schedule.Tune(transport && transport->locks ? transport : nullptr, nowMs);
    m_TunedAtMs = nowMs;
    m_Probing = false;
    m_Packetizer = TsPacketizer{};
    if (m_Host) Schedule();
}

bool SimBackend::Probe(unsigned long frequencyKHz, int64_t nowMs) {
    Tune(frequencyKHz, nowMs);
    m_Probing = true;
    return true;
}

std::optional<Reception> SimBackend::LockedWith(int64_t nowMs) const {
    const SimTransport* t = m_Schedule.Transport();
    if (!t || !m_Schedule.LockedAt(nowMs)) return std::nullopt;
    return Reception{t->symbolRate, static_cast<uint8_t>(t->modulation)};
}

void SimBackend::Start(fw::Host& host, PacketSink& sink) {
    m_Host = &host;
    m_Sink = &sink;
    // Nothing is owed for the time nobody listened.
    m_Schedule.Resume(host.GetClock().NowMs());
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
    const int64_t next = m_Schedule.NextDueMs([this](uint16_t pid) { return m_Sink->Wants(pid); });
    if (next == SimTable::kNeverMs) return;
    const int64_t now = m_Host->GetClock().NowMs();
    m_HasPending = true;
    m_Pending = m_Host->Post([this] { Emit(); }, next > now ? next - now : 0);
}

void SimBackend::Emit() {
    m_HasPending = false;
    if (!m_Host || !m_Sink) return;
    std::vector<uint8_t> packets;
    m_Schedule.SendDue(
        m_Host->GetClock().NowMs(), [this](uint16_t pid) { return m_Sink->Wants(pid); },
        [&](uint16_t pid, const std::vector<Section>& sections) { m_Packetizer.Packetize(pid, sections, packets); });
    if (!packets.empty()) m_Sink->OnPackets(packets.data(), packets.size());
    // The sink may have stopped us (a filter shut down in a section handler
    // cannot, as delivery is posted, but be safe).
    if (m_Host) Schedule();
}

}  // namespace cardlib
