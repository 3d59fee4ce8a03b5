// The scan sequence: a state machine stepped by the window timer. Each tick
// runs the handler of the current state; the lists are all it reads.
#include <cstdio>

#include "framework/Clock.h"
#include "framework/Host.h"
#include "framework/Profile.h"
#include "scan/ScanCells.h"
#include "scan/ScanChannelsDialog.h"

using scancells::ParseSigned;

namespace {

// The operator's network whose NIT the scan takes, actual or other; 0 or
// none: the NIT actual of the home transport.
constexpr const char* kNetworkSection = "ScanNetwork";
constexpr const char* kNetworkId = "NetworkId";

}  // namespace
using scancells::ParseUnsigned;

void ScanChannelsDialog::StartScan() {
    if (m_OneTransport) {
        StartOneTransport();
    } else {
        AddStatusLine("Request NIT");
        m_ScanState = StateRequestNit;
    }
    m_NetworksSinceMs = GetHost().GetClock().NowMs();
    // "TickMs" paces the scan; a network that sends its tables often allows
    // a faster pace than the window's half second.
    int period = GetProfile().GetInt("ScanNetwork", "TickMs", static_cast<int>(kScanTimerPeriodMs));
    if (period < kMinTickMs || period > kMaxTickMs) period = static_cast<int>(kScanTimerPeriodMs);
    // "SkipUnlocked": a request on a transport the tuner has given up on
    // ends at once instead of waiting out its time-out.
    m_SkipUnlocked = GetProfile().GetInt("ScanNetwork", "SkipUnlocked", 0) != 0;
    // "ChainSteps": a tick whose poll answers done goes on to the next step
    // at once instead of leaving it to the next tick.
    m_ChainSteps = GetProfile().GetInt("ScanNetwork", "ChainSteps", 0) != 0;
    // "Sweep": after the NIT's transports, the cable raster's other
    // frequencies are tried for transports the NIT does not list.
    m_Sweep = GetProfile().GetInt("ScanNetwork", "Sweep", 0) != 0;
    m_TimerId = SetTimer(kScanTimerId, static_cast<unsigned>(period));
    m_RetryCounter = kRetries;
}

void ScanChannelsDialog::EndScan() {
    KillTimer(m_TimerId);
    m_TimerId = 0;
    EndDialog(1);
}

void ScanChannelsDialog::TuneTransportForSdt(int transportRow) {
    if (!TuneTransport(transportRow)) return;
    AddStatusLine("Request SDT");
    m_Owner->RequestSdt();
}

bool ScanChannelsDialog::TuneTransport(int transportRow) {
    fw::ListView& transports = TransportList();
    SelectRow(transports, transportRow);
    unsigned long frequency = 0;
    if (!ParseUnsigned(transports.ItemText(transportRow, TsFreq), frequency)) return false;
    char line[64];
    std::snprintf(line, sizeof line, "Set Frequenzy to %.1f MHz", static_cast<double>(frequency) * 0.00001);
    AddStatusLine(line);
    m_TunedTransportId = static_cast<int>(transports.GetItemData(transportRow) & 0xFFFF);
    // The cell holds 10 Hz units; the tuner takes kHz.
    m_Owner->Tune(frequency / 100);
    m_LastTunedAtMs = GetHost().GetClock().NowMs();
    m_Requested = true;
    return true;
}

int ScanChannelsDialog::FindServiceTransportRow(int serviceRow) {
    fw::ListView& services = ServiceList();
    unsigned long ts = 0, nw = 0;
    if (!ParseUnsigned(services.ItemText(serviceRow, SvcTs), ts) ||
        !ParseUnsigned(services.ItemText(serviceRow, SvcNw), nw)) {
        return -1;
    }
    return TransportList().FindItemByData(scancells::TransportKey(ts, nw));
}

void ScanChannelsDialog::TuneServiceTransportForPat() {
    const int row = FindServiceTransportRow(m_CurrentServiceRow);
    if (row < 0) return;
    m_CurrentTransportRow = row;
    if (!TuneTransport(row)) return;
    AddStatusLine("Request PAT");
    m_Owner->RequestPat();
}

int ScanChannelsDialog::RequestServicePmt(int serviceRow) {
    fw::ListView& services = ServiceList();
    SelectRow(services, serviceRow);
    const uint32_t programNumber = scancells::ServiceIdOfKey(services.GetItemData(serviceRow));
    fw::ListView& pat = PatList();
    m_CurrentPatRow = pat.FindItemByData(programNumber);
    if (m_CurrentPatRow < 0) return 0;
    SelectRow(pat, m_CurrentPatRow);
    unsigned long pid = 0;
    if (!ParseUnsigned(pat.ItemText(m_CurrentPatRow, PatPmtPid), pid)) return 0;
    AddStatusLine("Request PMT");
    m_RequestedProgram = static_cast<int>(programNumber);
    m_Owner->RequestPmt(static_cast<int>(pid), m_RequestedProgram);
    m_Requested = true;
    return 1;
}

void ScanChannelsDialog::LogIncompleteTable(const char* table, const TableProgress& progress) {
    if (!progress.IsIncomplete()) return;
    char line[64];
    std::snprintf(line, sizeof line, "%s incomplete: %d of %d sections", table, progress.received, progress.total);
    AddStatusLine(line);
}

void ScanChannelsDialog::SkipTransportServices() {
    fw::ListView& services = ServiceList();
    char line[64];
    std::snprintf(line, sizeof line, "No PAT for TS %d, NW %d: its services are skipped", m_LastTransportId,
                  m_LastNetworkId);
    AddStatusLine(line);
    for (; m_CurrentServiceRow < services.GetItemCount(); ++m_CurrentServiceRow) {
        long ts = 0;
        unsigned long nw = 0;
        if (!ParseSigned(services.ItemText(m_CurrentServiceRow, SvcTs), ts) ||
            !ParseUnsigned(services.ItemText(m_CurrentServiceRow, SvcNw), nw) || ts != m_LastTransportId ||
            static_cast<long>(nw) != m_LastNetworkId)
            break;
    }
}

bool ScanChannelsDialog::RequestEndedByNoLock() {
    if (!m_SkipUnlocked || !m_Owner->TunerGaveUp()) return false;
    m_Owner->EndRequests();
    return true;
}

void ScanChannelsDialog::OnTimer(unsigned id) {
    if (id == m_TimerId && m_TimerId != 0) {
        // Chained, a tick still tunes at most once and makes at most one
        // request, and a request is first polled at the next tick.
        for (int step = 0; step < (m_ChainSteps ? kMaxChainedSteps : 1); ++step) {
            const int state = m_ScanState;
            m_Requested = false;
            RunStep();
            if (m_Requested || m_TimerId == 0 || (m_ScanState == state && IsWaitState(state))) break;
        }
        ShowProgress();
    }
    fw::Dialog::OnTimer(id);
}

void ScanChannelsDialog::RunStep() {
    switch (m_ScanState) {
        case StateRequestNit: OnRequestNit(); break;
        case StateWaitNit: OnWaitNit(); break;
        case StateNextTransport: OnNextTransport(); break;
        case StateWaitSdt: OnWaitSdt(); break;
        case StateRequestPat: OnRequestPat(); break;
        case StateWaitPat: OnWaitPat(); break;
        case StateNextService: OnNextService(); break;
        case StateWaitPmt: OnWaitPmt(); break;
        case StateSweepTune: OnSweepTune(); break;
        case StateSweepWaitSdt: OnSweepWaitSdt(); break;
        case StateListenNetworks: OnListenNetworks(); break;
        default: break;
    }
}

void ScanChannelsDialog::OnRequestNit() {
    m_Owner->RequestNit(GetProfile().GetInt(kNetworkSection, kNetworkId, 0));
    m_Requested = true;
    m_ScanState = StateWaitNit;
}

void ScanChannelsDialog::OnWaitNit() {
    if (!m_Owner->IsNitDone()) return;
    LogIncompleteTable("NIT", m_Owner->NitProgress());
    if (NetworksAtNitEnd()) return;
    if (TransportList().GetItemCount() > 0) {
        m_NitWhole = !m_Owner->NitProgress().IsIncomplete();
        m_CurrentTransportRow = 0;
        m_ScanState = StateNextTransport;
        m_RetryCounter = kRetries;
    } else {
        if (m_Owner->NitProgress().received > 0) m_NitWithoutTransports = true;
        if (--m_RetryCounter != 0) {
            m_ScanState = StateRequestNit;
        } else if (m_NitWithoutTransports) {
            AddStatusLine("The network's NIT came but lists no transport. Still asking.");
        } else {
            // The scan goes on asking; the user knows why nothing comes.
            AddStatusLine("No network answered: no NIT after three requests. Still asking.");
        }
    }
}

void ScanChannelsDialog::OnNextTransport() {
    if (m_CurrentTransportRow < TransportList().GetItemCount()) {
        TuneTransportForSdt(m_CurrentTransportRow);
        m_ScanState = StateWaitSdt;
        return;
    }
    if (m_Sweep && !m_Swept) return BeginSweep();
    BeginServices();
}

void ScanChannelsDialog::BeginServices() {
    m_CurrentServiceRow = 0;
    m_LastTransportId = -1;
    m_LastNetworkId = -1;
    m_ScanState = StateNextService;
    m_RetryCounter = kRetries;
}

void ScanChannelsDialog::OnWaitSdt() {
    if (!m_Owner->IsSdtDone() && !RequestEndedByNoLock()) return;
    LogIncompleteTable("SDT", m_Owner->SdtProgress());
    // Kept by the transport's key: a transport the sweep finds moves the rows.
    const uint32_t key = TransportList().GetItemData(m_CurrentTransportRow);
    TransportRead& read = m_Reads[key];
    read.sdtLock = m_Owner->TunerLocked();
    read.sdtWhole = !TransportList().ItemText(m_CurrentTransportRow, TsSdt).empty() &&
                    !m_Owner->SdtProgress().IsIncomplete();
    if (TransportList().ItemText(m_CurrentTransportRow, TsSdt).empty()) m_SilentLock[key] = m_Owner->TunerLocked();
    else m_SilentLock.erase(key);
    if (ServiceList().GetItemCount() > 0 || --m_RetryCounter == 0) {
        ++m_CurrentTransportRow;
        m_RetryCounter = kRetries;
    }
    m_ScanState = StateNextTransport;
}

void ScanChannelsDialog::OnRequestPat() {
    // Program numbers are only unique within one transport: each transport
    // is looked up in its own PAT alone.
    PatList().DeleteAllItems();
    m_CurrentPatRow = -1;
    TuneServiceTransportForPat();
    m_ScanState = StateWaitPat;
}

void ScanChannelsDialog::OnWaitPat() {
    if (!m_Owner->IsPatDone() && !RequestEndedByNoLock()) return;
    TransportRead& read = m_Reads[TransportList().GetItemData(m_CurrentTransportRow)];
    read.patLock = m_Owner->TunerLocked();
    read.patWhole = PatList().GetItemCount() > 0 && !m_Owner->PatProgress().IsIncomplete();
    read.pat.clear();
    for (int row = 0; row < PatList().GetItemCount(); ++row)
        read.pat.insert(static_cast<uint16_t>(PatList().GetItemData(row)));
    if (PatList().GetItemCount() > 0) {
        m_ScanState = StateNextService;
        m_RetryCounter = kRetries;
    } else if (--m_RetryCounter > 0) {
        m_ScanState = StateRequestPat;
    } else {
        // Without its PAT no service of the transport can be asked for.
        SkipTransportServices();
        m_ScanState = StateNextService;
        m_RetryCounter = kRetries;
    }
}

void ScanChannelsDialog::OnNextService() {
    fw::ListView& services = ServiceList();
    if (m_CurrentServiceRow >= services.GetItemCount()) return EndScanOrListen();
    StreamList().DeleteAllItems();
    m_AudioDescriptors.clear();
    long ts = 0;
    unsigned long nw = 0;
    const bool hasTs = ParseSigned(services.ItemText(m_CurrentServiceRow, SvcTs), ts);
    const bool hasNw = ParseUnsigned(services.ItemText(m_CurrentServiceRow, SvcNw), nw);
    // A service whose transport the NIT did not list can be neither tuned nor
    // merged with a frequency: skip it.
    if (!hasTs || !hasNw ||
        TransportList().FindItemByData(scancells::TransportKey(static_cast<unsigned long>(ts), nw)) < 0) {
        ++m_CurrentServiceRow;
        return;
    }
    // Two transports may share a transport stream id under different
    // networks, so the run of one transport ends where either differs.
    if (ts != m_LastTransportId || static_cast<long>(nw) != m_LastNetworkId) {
        m_LastTransportId = static_cast<int>(ts);
        m_LastNetworkId = static_cast<int>(nw);
        m_ScanState = StateRequestPat;
        m_RetryCounter = kRetries;
    } else if (RequestServicePmt(m_CurrentServiceRow) == 1) {
        m_ScanState = StateWaitPmt;
    } else {
        ++m_CurrentServiceRow;
    }
}

void ScanChannelsDialog::OnWaitPmt() {
    if (!m_Owner->IsPmtDone() && !RequestEndedByNoLock()) return;
    if (StreamList().GetItemCount() > 0) {
        MergeService();
        ++m_CurrentServiceRow;
        m_RetryCounter = kRetries;
    } else if (--m_RetryCounter == 0) {
        ++m_CurrentServiceRow;
        m_RetryCounter = kRetries;
    }
    m_ScanState = StateNextService;
}
