// The sweep: after the NIT's transports, every frequency of the cable raster
// that the NIT does not list is tried. A frequency without a carrier is left
// as soon as the tuner gives up on it; one that locks is asked for its SDT,
// and a transport found there gets a row of the transport list as if the NIT
// had named it, so the service phase reads and merges its services.
#include <cstdio>
#include <cstdlib>
#include <set>

#include "broadcast/CableRaster.h"
#include "framework/Clock.h"
#include "scan/ScanCells.h"
#include "scan/ScanChannelsDialog.h"
#include "si/ScanRowWriter.h"

using scancells::ParseUnsigned;

namespace {

// A frequency whose tuner neither locks nor gives up is left after this
// long (a tuner tries every symbol rate and constellation on a carrier).
constexpr int64_t kSweepLimitMs = 180000;
// A raster frequency this close to one the NIT lists is that transport.
constexpr unsigned long kSameTransportKHz = 1000;

std::string Megahertz(unsigned long kHz) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MHz", static_cast<double>(kHz) / 1000.0);
    return text;
}

}  // namespace

void ScanChannelsDialog::BeginSweep() {
    m_Swept = true;
    fw::ListView& transports = TransportList();
    std::set<unsigned long> listed;
    for (int row = 0; row < transports.GetItemCount(); ++row) {
        unsigned long frequency = 0;
        if (ParseUnsigned(transports.ItemText(row, TsFreq), frequency)) listed.insert(frequency / 100);
    }
    m_SweepFrequencies.clear();
    for (unsigned long kHz : broadcast::SweepFrequencies()) {
        bool known = false;
        for (unsigned long l : listed) known = known || (l > kHz ? l - kHz : kHz - l) < kSameTransportKHz;
        if (!known) m_SweepFrequencies.push_back(kHz);
    }
    m_SweepAt = 0;
    AddStatusLine("Sweep: " + std::to_string(m_SweepFrequencies.size()) +
                  " frequencies of the cable raster that the NIT does not list");
    m_ScanState = StateSweepTune;
}

void ScanChannelsDialog::OnSweepTune() {
    if (m_SweepAt >= m_SweepFrequencies.size()) {
        AddStatusLine(SweepSummary());
        return BeginServices();
    }
    // A transport no table names: whatever SDT comes is this frequency's.
    m_TunedTransportId = -1;
    m_Requested = true;
    if (!m_Owner->Probe(m_SweepFrequencies[m_SweepAt])) {
        m_CannotSweep = true;
        m_SweepFrequencies.clear();
        AddStatusLine(SweepSummary());
        return BeginServices();
    }
    m_SweepTunedAtMs = GetHost().GetClock().NowMs();
    m_SweepServicesBefore = ServiceList().GetItemCount();
    m_LastSdtVersion = -1;
    // Asked at once: a card receives only while a filter is set, and the
    // SDT comes as soon as the tuner locks.
    m_Owner->RequestSdt();
    m_ScanState = StateSweepWaitSdt;
}

void ScanChannelsDialog::NextSweepFrequency() {
    ++m_SweepAt;
    m_ScanState = StateSweepTune;
    // The next frequency is tuned in this very step: an empty one costs
    // only the tuner's signal check.
    OnSweepTune();
}

void ScanChannelsDialog::OnSweepWaitSdt() {
    const bool gaveUp = m_Owner->TunerGaveUp();
    if (!m_Owner->IsSdtDone()) {
        if (!gaveUp) return;
        // Nothing comes from a frequency the tuner has given up on.
        m_Owner->EndRequests();
    }
    const unsigned long kHz = m_SweepFrequencies[m_SweepAt];
    fw::ListView& services = ServiceList();
    const bool locked = m_Owner->TunerLocked().value_or(false);
    const bool timeLeft = GetHost().GetClock().NowMs() - m_SweepTunedAtMs < kSweepLimitMs;
    if (services.GetItemCount() == m_SweepServicesBefore && !gaveUp && !locked && timeLeft) {
        // The tuner still tries symbol rates on a carrier: ask again.
        m_Owner->RequestSdt();
        m_Requested = true;
        return;
    }
    // The SDT actual names its own transport: the first service it added.
    unsigned long ts = 0, nw = 0;
    bool named = false;
    for (int row = m_SweepServicesBefore; row < services.GetItemCount() && !named; ++row)
        named = ParseUnsigned(services.ItemText(row, SvcTs), ts) && ParseUnsigned(services.ItemText(row, SvcNw), nw);
    if (!named) {
        if (locked) AddStatusLine("A signal at " + Megahertz(kHz) + " but no SDT: nothing added");
    } else if (TransportList().FindItemByData(scancells::TransportKey(ts, nw)) >= 0) {
        AddStatusLine("TS " + std::to_string(ts) + ", NW " + std::to_string(nw) + " at " + Megahertz(kHz) +
                      " is a transport the NIT lists");
    } else {
        const std::optional<ScanOwner::Reception> reception = m_Owner->TunerReception();
        const uint32_t rate = reception ? si::ScanListSymbolRate(static_cast<uint32_t>(reception->symbolRate)) : 0;
        AddTransport(static_cast<uint32_t>(ts), static_cast<uint32_t>(nw), static_cast<uint32_t>(kHz * 100), rate,
                     reception ? static_cast<uint32_t>(reception->modulation) : 0, 0);
        if (m_LastSdtVersion >= 0)
            SetTransportSdtVersion(static_cast<uint32_t>(ts), static_cast<uint32_t>(nw),
                                   static_cast<uint32_t>(m_LastSdtVersion));
        m_SweepFound.push_back(kHz);
        AddStatusLine("Found by the sweep: TS " + std::to_string(ts) + ", NW " + std::to_string(nw) + " at " +
                      Megahertz(kHz) + (rate ? ", " + std::to_string(rate) + " ksym/s" : std::string()));
    }
    NextSweepFrequency();
}

std::string ScanChannelsDialog::SweepSummary() const {
    if (m_CannotSweep) return "The card cannot sweep: only the NIT's transports were scanned";
    if (!m_Swept) return {};
    if (m_SweepFound.empty()) return "No transports found by the sweep, not in the NIT";
    std::string list;
    for (unsigned long kHz : m_SweepFound) list += (list.empty() ? "" : ", ") + Megahertz(kHz);
    const size_t n = m_SweepFound.size();
    return std::to_string(n) + (n == 1 ? " transport" : " transports") + " found by the sweep, not in the NIT: " +
           list;
}
