// How far the scan has got, read off its state and its lists, for the bar
// and the line below the lists (and for the command line's progress).
#include <algorithm>
#include <cstdio>

#include "framework/Clock.h"
#include "framework/Host.h"
#include "res/ResourceIds.h"
#include "scan/ScanCells.h"
#include "scan/ScanChannelsDialog.h"

namespace {

unsigned long FrequencyCell(fw::ListView& transports, int row) {
    unsigned long frequency = 0;
    if (row < 0 || row >= transports.GetItemCount() ||
        !scancells::ParseUnsigned(transports.ItemText(row, ScanChannelsDialog::TsFreq), frequency))
        return 0;
    return frequency;
}

std::string Megahertz(unsigned long frequency) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MHz", static_cast<double>(frequency) * 0.00001);
    return text;
}

}  // namespace

ScanChannelsDialog::Progress ScanChannelsDialog::ScanProgress() {
    fw::ListView& transports = TransportList();
    Progress progress;
    if (m_ScanState != 0 && m_TimerId == 0) {
        progress.phase = Progress::Done;
        progress.done = progress.total = ServiceList().GetItemCount();
        return progress;
    }
    switch (m_ScanState) {
        case StateNextTransport:
        case StateWaitSdt:
            progress.phase = Progress::Transports;
            progress.total = transports.GetItemCount();
            progress.done = std::min(m_CurrentTransportRow + 1, progress.total);
            progress.frequency = FrequencyCell(transports, m_CurrentTransportRow);
            break;
        case StateRequestPat:
        case StateWaitPat:
        case StateNextService:
        case StateWaitPmt:
            progress.phase = Progress::Services;
            progress.total = ServiceList().GetItemCount();
            progress.done = std::min(m_CurrentServiceRow + 1, progress.total);
            progress.frequency = m_TunedTransportId < 0 ? 0 : FrequencyCell(transports, m_CurrentTransportRow);
            break;
        case StateListenNetworks:
            // Seconds on the last transport, of the time a NIT may take.
            progress.phase = Progress::Listen;
            progress.total = static_cast<int>(kNetworkListenMs / 1000);
            progress.done = std::min(static_cast<int>((GetHost().GetClock().NowMs() - m_LastTunedAtMs) / 1000), progress.total);
            progress.frequency = FrequencyCell(transports, m_CurrentTransportRow);
            break;
        case StateSweepTune:
        case StateSweepWaitSdt:
            progress.phase = Progress::Sweep;
            progress.total = static_cast<int>(m_SweepFrequencies.size());
            progress.done = std::min(static_cast<int>(m_SweepAt) + 1, progress.total);
            // The sweep's frequencies are kHz; the line shows 10 Hz units.
            progress.frequency = m_SweepAt < m_SweepFrequencies.size() ? m_SweepFrequencies[m_SweepAt] * 100 : 0;
            break;
        default:
            progress.phase = Progress::Network;
            progress.done = kRetries - m_RetryCounter + 1;
            progress.total = kRetries;
            break;
    }
    return progress;
}

std::string ScanChannelsDialog::ProgressText(const Progress& progress) {
    const std::string counted = std::to_string(progress.done) + " of " + std::to_string(progress.total);
    const std::string tuned = progress.frequency ? ", " + Megahertz(progress.frequency) : std::string();
    switch (progress.phase) {
        // Past its three requests the scan goes on asking; the count goes on
        // without a total it has passed.
        case Progress::Network:
            if (progress.done > progress.total)
                return "Network: waiting for the NIT (request " + std::to_string(progress.done) + ", still asking)";
            return "Network: waiting for the NIT (request " + counted + ")";
        case Progress::Transports: return "Transports: " + counted + tuned;
        case Progress::Services: return "Services: " + counted + tuned;
        case Progress::Sweep: return "Sweep: " + counted + tuned;
        case Progress::Listen: return "Networks: listening for other networks' NITs, " + counted + " s" + tuned;
        case Progress::Done: return "Done: " + std::to_string(progress.total) + " services";
    }
    return std::string();
}

void ScanChannelsDialog::ShowProgress() {
    const Progress progress = ScanProgress();
    // The network phase has no count to show: the bar stays empty.
    if (progress.phase == Progress::Network) SetProgress(res::IDC_SCAN_PROGRESS, 0, 0);
    else SetProgress(res::IDC_SCAN_PROGRESS, progress.done, progress.total);
    SetDlgItemText(res::IDC_SCAN_PROGRESS_TEXT, ProgressText(progress));
}

std::vector<ScanChannelsDialog::SilentTransport> ScanChannelsDialog::SilentTransports() {
    fw::ListView& transports = TransportList();
    std::vector<SilentTransport> silent;
    for (int row = 0; row < transports.GetItemCount(); ++row) {
        if (!transports.ItemText(row, TsSdt).empty()) continue;
        const auto lock = m_SilentLock.find(transports.GetItemData(row));
        silent.push_back({Megahertz(FrequencyCell(transports, row)) + " (TS " + transports.ItemText(row, TsId) + ")",
                          lock == m_SilentLock.end() ? std::nullopt : lock->second});
    }
    return silent;
}

ScanCoverage ScanChannelsDialog::Coverage() {
    fw::ListView& transports = TransportList();
    fw::ListView& services = ServiceList();
    ScanCoverage coverage;
    coverage.nitWhole = m_NitWhole;
    for (int row = 0; row < transports.GetItemCount(); ++row) {
        ScanCoverage::Transport transport;
        const uint32_t key = transports.GetItemData(row);
        transport.transportStreamId = static_cast<uint16_t>(key & 0xFFFF);
        transport.originalNetworkId = static_cast<uint16_t>(key >> 16);
        const TransportRead read = m_Reads.count(key) ? m_Reads[key] : TransportRead{};
        const std::string at = " on " + Megahertz(FrequencyCell(transports, row));
        // The tuner's word first: without a lock nothing else could come.
        if (read.sdtLock == false || (read.sdtWhole && read.patLock == false)) transport.unread = "no lock" + at;
        else if (transports.ItemText(row, TsSdt).empty()) transport.unread = "no SDT" + at;
        else if (!read.sdtWhole) transport.unread = "incomplete SDT" + at;
        else if (!read.patWhole) transport.unread = (read.pat.empty() ? "no PAT" : "incomplete PAT") + at;
        transport.services = read.pat;
        for (int service = 0; service < services.GetItemCount(); ++service) {
            unsigned long ts = 0, nw = 0;
            if (scancells::ParseUnsigned(services.ItemText(service, SvcTs), ts) &&
                scancells::ParseUnsigned(services.ItemText(service, SvcNw), nw) &&
                scancells::TransportKey(ts, nw) == key)
                transport.services.insert(static_cast<uint16_t>(scancells::ServiceIdOfKey(services.GetItemData(service))));
        }
        coverage.transports.push_back(std::move(transport));
    }
    return coverage;
}
