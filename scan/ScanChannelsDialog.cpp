#include "scan/ScanChannelsDialog.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/WindowPlacement.h"
#include "framework/Host.h"
#include "framework/Profile.h"
#include "programs/ProgramListColumn.h"
#include "res/ResourceIds.h"
#include "si/DvbText.h"

namespace {

constexpr char kPlacementSection[] = "ScanNetwork";

std::string Format(const char* format, unsigned long value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string Decimal(unsigned long value) { return Format("%lu", value); }

// Reads a cell as scanf's "%u"/"%lu" would: blanks, an optional sign, digits.
// False when the text holds no number.
bool ScanUnsigned(const std::string& text, unsigned long& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const unsigned long n = std::strtoul(begin, &end, 10);
    if (end == begin) return false;
    value = n;
    return true;
}

bool ScanSigned(const std::string& text, long& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const long n = std::strtol(begin, &end, 10);
    if (end == begin) return false;
    value = n;
    return true;
}

int CompareLowWord(uint32_t a, uint32_t b) {
    const uint32_t x = a & 0xFFFF, y = b & 0xFFFF;
    return x < y ? -1 : (x > y ? 1 : 0);
}

}  // namespace

ScanChannelsDialog::ScanChannelsDialog(fw::Host& host, ScanOwner* owner, int updateNames)
    : fw::Dialog(host, res::IDD_SCAN_CHANNELS), m_Owner(owner), m_UpdateNames(updateNames) {}

bool ScanChannelsDialog::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    m_LayoutReady = 1;
    RestoreWindowPlacement(*this, kPlacementSection);
    MakeColumns();
    if (m_Owner) m_Owner->SetResultWindowForAll(this);
    StartScan();
    return true;
}

void ScanChannelsDialog::DestroyWindow() {
    SaveWindowPlacement(*this, kPlacementSection);
    if (m_Owner) m_Owner->SetResultWindowForAll(nullptr);
    fw::Dialog::DestroyWindow();
}

void ScanChannelsDialog::MakeColumns() {
    struct ColumnSpec {
        const char* title;
        double fraction;
        fw::Align align;
    };
    const auto make = [this](fw::ListView& list, int listId, std::initializer_list<ColumnSpec> columns) {
        list.SetFullRowSelect(true);
        // The control's client area less the vertical scroll bar.
        const int client = GetControlClientWidth(listId) - VerticalScrollBarWidth();
        int index = 0;
        for (const auto& c : columns) {
            list.InsertColumn(index++, c.title, c.align, static_cast<int>(client * c.fraction));
        }
    };
    using fw::Align;
    make(PatList(), kPatListId,
         {{"PMT-PID", 0.24, Align::Center}, {"Prog", 0.2, Align::Center}, {"Name", 0.56, Align::Left}});
    make(StreamList(), kStreamListId,
         {{"PID", 0.15, Align::Left}, {"Type", 0.3, Align::Left}, {"Tag", 0.15, Align::Center},
          {"Description", 0.4, Align::Left}});
    make(TransportList(), kTransportListId,
         {{"TS", 0.13, Align::Center}, {"NW", 0.15, Align::Center}, {"Freq", 0.22, Align::Center},
          {"Rate", 0.13, Align::Center}, {"QAM", 0.13, Align::Center}, {"FEC", 0.12, Align::Center},
          {"SDT", 0.12, Align::Center}});
    make(ServiceList(), kServiceListId,
         {{"Prog", 0.07, Align::Center}, {"TS", 0.08, Align::Center}, {"NW", 0.08, Align::Center},
          {"Service", 0.27, Align::Left}, {"Provider", 0.19, Align::Left}, {"Type", 0.07, Align::Center},
          {"CA-ID's", 0.17, Align::Left}, {"Nvod", 0.07, Align::Center}});
    make(LogList(), kLogListId, {{"", 1.0, Align::Left}});
    // A list view ignores the alignment its first column is inserted with.
    PatList().SetColumnAlign(0, Align::Center);
    TransportList().SetColumnAlign(0, Align::Center);
    ServiceList().SetColumnAlign(0, Align::Center);
}

void ScanChannelsDialog::OnSize(int cx, int cy) { LayoutLists(cx, cy); }

void ScanChannelsDialog::LayoutLists(int cx, int cy) {
    if (m_LayoutReady == 1) {
        const fw::Rect log = GetControlRect(kLogListId);
        const double W = cx, H = cy, L = log.left, T = log.top;
        const auto trunc = [](double v) { return static_cast<int>(v); };
        const int upperH = trunc((H - 3 * T) * 0.45);
        const auto place = [this](int id, int x, int y, int w, int h) { MoveControl(id, fw::Rect{x, y, x + w, y + h}); };
        place(kLogListId, log.left, log.top, trunc((W - 2.5 * L) * 0.4), upperH);
        const int transportW = trunc((W - 2.5 * L) * 0.6);
        place(kTransportListId, trunc(W - L - transportW), trunc(T), transportW, upperH);
        place(kServiceListId, trunc(L), trunc(1.5 * T + (H - 3 * T) * 0.45), trunc(W - 2 * L), trunc((H - 3 * T) * 0.31));
        const int lowerY = trunc(2 * T + (H - 3 * T) * 0.76);
        const int lowerW = trunc((W - 2.5 * L) * 0.5);
        const int lowerH = trunc((H - 3 * T) * 0.24);
        place(kPatListId, trunc(L), lowerY, lowerW, lowerH);
        place(kStreamListId, trunc(W - L - lowerW), lowerY, lowerW, lowerH);
    }
    Invalidate();
}

void ScanChannelsDialog::SelectRow(fw::ListView& list, int row) {
    list.SetItemState(row, fw::kItemSelected | fw::kItemFocused, fw::kItemSelected | fw::kItemFocused);
    list.EnsureVisible(row);
}

void ScanChannelsDialog::AddStatusLine(const std::string& text) {
    fw::ListView& log = LogList();
    const int row = log.InsertItem(log.GetItemCount(), text);
    log.EnsureVisible(row);
}

// ---- Row writers -----------------------------------------------------------

void ScanChannelsDialog::AddTransport(uint32_t transportStreamId, uint32_t originalNetworkId, uint32_t frequency,
                                      uint32_t symbolRate, uint32_t modulation, uint32_t fecInner) {
    const uint32_t ts = transportStreamId & 0xFFFF, nw = originalNetworkId & 0xFFFF;
    const uint32_t key = (nw << 16) | ts;
    fw::ListView& list = TransportList();
    if (list.FindItemByData(key) >= 0) return;
    const int row = list.InsertItem(list.GetItemCount(), Decimal(ts));
    list.SetItemData(row, key);
    list.EnsureVisible(row);
    list.SetItemText(row, TsNw, Decimal(nw));
    list.SetItemText(row, TsFreq, Decimal(frequency));
    list.SetItemText(row, TsRate, Decimal(symbolRate));
    list.SetItemText(row, TsQam, Decimal(modulation & 0xFF));
    list.SetItemText(row, TsFec, Decimal(fecInner & 0xFF));
    list.SortItems(CompareLowWord);
}

void ScanChannelsDialog::SetTransportSdtVersion(uint32_t transportStreamId, uint32_t originalNetworkId,
                                                uint32_t versionNumber) {
    fw::ListView& list = TransportList();
    const int row = list.FindItemByData(((originalNetworkId & 0xFFFF) << 16) | (transportStreamId & 0xFFFF));
    if (row >= 0) list.SetItemText(row, TsSdt, Decimal(versionNumber & 0xFF));
}

int ScanChannelsDialog::AddService(uint32_t transportStreamId, uint32_t originalNetworkId, uint32_t serviceId) {
    const uint32_t key = ((serviceId & 0xFFFF) << 16) | (transportStreamId & 0xFFFF);
    fw::ListView& list = ServiceList();
    const int existing = list.FindItemByData(key);
    if (existing >= 0) return existing;
    const int row = list.InsertItem(list.GetItemCount(), Decimal(serviceId & 0xFFFF));
    list.SetItemData(row, key);
    list.EnsureVisible(row);
    list.SetItemText(row, SvcTs, Decimal(transportStreamId & 0xFFFF));
    list.SetItemText(row, SvcNw, Decimal(originalNetworkId & 0xFFFF));
    return row;
}

int ScanChannelsDialog::AddServiceWithType(uint32_t transportStreamId, uint32_t originalNetworkId,
                                           uint32_t serviceId, uint32_t serviceType) {
    const int row = AddService(transportStreamId, originalNetworkId, serviceId);
    ServiceList().SetItemText(row, SvcType, Decimal(serviceType & 0xFF));
    return row;
}

void ScanChannelsDialog::AddServiceDetails(uint32_t transportStreamId, uint32_t originalNetworkId, uint32_t serviceId,
                                           uint32_t serviceType, const std::string& serviceName,
                                           const std::string& providerName, const std::vector<uint16_t>& caSystemIds,
                                           uint32_t nvodReferenceServiceId) {
    const int row = AddServiceWithType(transportStreamId, originalNetworkId, serviceId, serviceType);
    fw::ListView& list = ServiceList();
    // Names arrive in their DVB character table; the list shows UTF-8 without
    // the table selector and the emphasis codes.
    if (!serviceName.empty()) list.SetItemText(row, SvcService, si::DvbTextToUtf8(serviceName));
    if (!providerName.empty()) list.SetItemText(row, SvcProvider, si::DvbTextToUtf8(providerName));
    std::string ids;
    for (uint16_t id : caSystemIds) ids += Format("%04lX ", id);
    list.SetItemText(row, SvcCaIds, ids);
    if (nvodReferenceServiceId != 0) list.SetItemText(row, SvcNvod, Decimal(nvodReferenceServiceId & 0xFFFF));
}

void ScanChannelsDialog::SetServiceNvodReference(uint32_t transportStreamId, uint32_t originalNetworkId,
                                                 uint32_t serviceId, uint32_t referenceServiceId) {
    const int row = AddService(transportStreamId, originalNetworkId, serviceId);
    ServiceList().SetItemText(row, SvcNvod, Decimal(referenceServiceId & 0xFFFF));
}

void ScanChannelsDialog::AddPatEntry(int transportStreamId, int programNumber, int pid) {
    const uint32_t program = static_cast<uint32_t>(programNumber) & 0xFFFF;
    fw::ListView& list = PatList();
    int row = list.FindItemByData(program);
    if (row < 0) {
        row = list.InsertItem(list.GetItemCount(), Decimal(static_cast<uint32_t>(pid) & 0xFFFF));
        list.SetItemData(row, program);
        list.SetItemText(row, PatProg, Decimal(program));
    }
    list.SetItemText(row, PatName, GetServiceName(static_cast<uint32_t>(transportStreamId), program));
    list.SortItems(CompareLowWord);
}

void ScanChannelsDialog::AddPmtStream(int, int, int elementaryPid, unsigned char streamType,
                                      unsigned char componentTag) {
    const uint32_t pid = static_cast<uint32_t>(elementaryPid) & 0xFFFF;
    const uint32_t key = (static_cast<uint32_t>(componentTag) << 16) | pid;
    fw::ListView& list = StreamList();
    if (list.FindItemByData(key) >= 0) return;
    const int row = list.InsertItem(list.GetItemCount(), Format("%5lu", pid));
    list.SetItemData(row, key);
    list.SetItemText(row, StreamType, Decimal(streamType) + StreamTypeSuffix(streamType));
    list.SetItemText(row, StreamDescription, StreamTypeDescription(streamType));
    list.SetItemText(row, StreamTag, Decimal(componentTag));
}

int ScanChannelsDialog::FindService(uint32_t transportStreamId, uint32_t programNumber) {
    fw::ListView& list = ServiceList();
    const uint32_t ts = transportStreamId & 0xFFFF;
    if (ts != 0) return list.FindItemByData(((programNumber & 0xFFFF) << 16) | ts);
    const std::string text = Decimal(programNumber);
    int first = -1;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        if (list.ItemText(row, SvcProg) != text) continue;
        if (!list.ItemText(row, SvcService).empty()) return row;
        if (first < 0) first = row;
    }
    return first;
}

std::string ScanChannelsDialog::GetServiceName(uint32_t transportStreamId, uint32_t programNumber) {
    const int row = FindService(transportStreamId, programNumber);
    if (row >= 0) {
        const std::string& name = ServiceList().ItemText(row, SvcService);
        return name.empty() ? "< " + Decimal(programNumber) + " >" : name;
    }
    // Names the receiver's software knew for programs no SDT describes.
    std::string name;
    switch (programNumber) {
        case 46: name = "SAT.1"; break;
        case 47: name = "N24"; break;
        case 52: name = "N24"; break;
        case 53: name = "CBS"; break;
        case 898: name = "PRO SIEBEN"; break;
        case 899: name = "KABEL 1"; break;
        default: name = Decimal(programNumber); break;
    }
    return "< " + name + " >";
}

std::string ScanChannelsDialog::StreamTypeSuffix(unsigned streamType) {
    switch (streamType) {
        case 2: return " - Video";
        case 3:
        case 4: return " - Audio";
        case 6: return " - Text/Data";
        default: return "";
    }
}

std::string ScanChannelsDialog::StreamTypeDescription(unsigned streamType) {
    // ISO/IEC 13818-1 Table 2-29, stream_type assignments.
    static const char* const kNames[] = {
        "ITU-T | ISO/IEC Reserved",
        "ISO/IEC 11172-2 Video",
        "ITU-T Rec. H.262 | ISO/IEC 13818-2 Video or ISO/IEC 11172-2 constrained parameter video stream",
        "ISO/IEC 11172-3 Audio",
        "ISO/IEC 13818-3 Audio",
        "ITU-T Rec. H.222.0 | ISO/IEC 13818-1 reserved",
        "ITU-T Rec. H.222.0 | ISO/IEC 13818-1 PES packets containing private data",
        "ISO/IEC 13522 MHEG",
        "ITU-T Rec. H.222.0 | ISO/IEC 13818-1 Annex A DSM CC",
        "ITU-T Rec. H.222.1",
        "ISO/IEC 13818-6 type A",
        "ISO/IEC 13818-6 type B",
        "ISO/IEC 13818-6 type C",
        "ISO/IEC 13818-6 type D",
        "ISO/IEC 13818-1 auxiliary",
    };
    if (streamType < std::size(kNames)) return kNames[streamType];
    if (streamType < 128) return "ITU-T Rec. H.222.0 | ISO/IEC 13818-1 reserved";
    return "User private";
}

// ---- The scan sequence -----------------------------------------------------

void ScanChannelsDialog::StartScan() {
    AddStatusLine("Request NIT");
    m_ScanState = StateRequestNit;
    m_TimerId = SetTimer(kScanTimerId, kScanTimerPeriodMs);
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
    if (!ScanUnsigned(transports.ItemText(transportRow, TsFreq), frequency)) return false;
    char line[64];
    std::snprintf(line, sizeof line, "Set Frequenzy to %.1f MHz", static_cast<double>(frequency) * 0.00001);
    AddStatusLine(line);
    // The cell holds 10 Hz units; the tuner takes kHz.
    m_Owner->Tune(frequency / 100);
    return true;
}

void ScanChannelsDialog::TuneServiceTransportForPat() {
    fw::ListView& services = ServiceList();
    unsigned long ts = 0, nw = 0;
    if (!ScanUnsigned(services.ItemText(m_CurrentServiceRow, SvcTs), ts) ||
        !ScanUnsigned(services.ItemText(m_CurrentServiceRow, SvcNw), nw)) {
        return;
    }
    fw::ListView& transports = TransportList();
    const int row = transports.FindItemByData(static_cast<uint32_t>((nw << 16) | (ts & 0xFFFF)));
    if (row < 0) return;
    m_CurrentTransportRow = row;
    if (!TuneTransport(row)) return;
    AddStatusLine("Request PAT");
    m_Owner->RequestPat();
}

int ScanChannelsDialog::RequestServicePmt(int serviceRow) {
    fw::ListView& services = ServiceList();
    SelectRow(services, serviceRow);
    const uint32_t programNumber = services.GetItemData(serviceRow) >> 16;
    fw::ListView& pat = PatList();
    m_CurrentPatRow = pat.FindItemByData(programNumber);
    if (m_CurrentPatRow < 0) return 0;
    SelectRow(pat, m_CurrentPatRow);
    unsigned long pid = 0;
    if (!ScanUnsigned(pat.ItemText(m_CurrentPatRow, PatPmtPid), pid)) return 0;
    AddStatusLine("Request PMT");
    m_Owner->RequestPmt(static_cast<int>(pid));
    return 1;
}

void ScanChannelsDialog::OnTimer(unsigned id) {
    if (id != m_TimerId || m_TimerId == 0) {
        fw::Dialog::OnTimer(id);
        return;
    }
    switch (m_ScanState) {
        case StateRequestNit:
            m_Owner->RequestNit();
            m_ScanState = StateWaitNit;
            break;
        case StateWaitNit:
            if (!m_Owner->IsNitDone()) break;
            if (TransportList().GetItemCount() > 0) {
                m_CurrentTransportRow = 0;
                m_ScanState = StateNextTransport;
                m_RetryCounter = kRetries;
            } else if (--m_RetryCounter != 0) {
                m_ScanState = StateRequestNit;
            }
            break;
        case StateNextTransport:
            if (m_CurrentTransportRow < TransportList().GetItemCount()) {
                TuneTransportForSdt(m_CurrentTransportRow);
                m_ScanState = StateWaitSdt;
            } else {
                m_CurrentServiceRow = 0;
                m_LastTransportId = -1;
                m_LastNetworkId = -1;
                m_ScanState = StateNextService;
                m_RetryCounter = kRetries;
            }
            break;
        case StateWaitSdt:
            if (!m_Owner->IsSdtDone()) break;
            if (ServiceList().GetItemCount() > 0 || --m_RetryCounter == 0) {
                ++m_CurrentTransportRow;
                m_RetryCounter = kRetries;
            }
            m_ScanState = StateNextTransport;
            break;
        case StateRequestPat:
            TuneServiceTransportForPat();
            m_ScanState = StateWaitPat;
            break;
        case StateWaitPat:
            if (!m_Owner->IsPatDone()) break;
            if (PatList().GetItemCount() > 0) {
                m_ScanState = StateNextService;
                m_RetryCounter = kRetries;
            } else if (--m_RetryCounter != 0) {
                m_ScanState = StateRequestPat;
            }
            break;
        case StateNextService: {
            fw::ListView& services = ServiceList();
            if (m_CurrentServiceRow >= services.GetItemCount()) {
                EndScan();
                break;
            }
            StreamList().DeleteAllItems();
            long ts = 0;
            unsigned long nw = 0;
            const bool hasTs = ScanSigned(services.ItemText(m_CurrentServiceRow, SvcTs), ts);
            const bool hasNw = ScanUnsigned(services.ItemText(m_CurrentServiceRow, SvcNw), nw);
            // A service whose transport the NIT did not list can be neither
            // tuned nor merged with a frequency: skip it.
            const uint32_t key = static_cast<uint32_t>(((nw & 0xFFFF) << 16) | (static_cast<unsigned long>(ts) & 0xFFFF));
            if (!hasTs || !hasNw || TransportList().FindItemByData(key) < 0) {
                ++m_CurrentServiceRow;
                break;
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
            break;
        }
        case StateWaitPmt:
            if (!m_Owner->IsPmtDone()) break;
            if (StreamList().GetItemCount() > 0) {
                MergeService();
                ++m_CurrentServiceRow;
                m_RetryCounter = kRetries;
            } else if (--m_RetryCounter == 0) {
                ++m_CurrentServiceRow;
                m_RetryCounter = kRetries;
            }
            m_ScanState = StateNextService;
            break;
        default:
            break;
    }
    fw::Dialog::OnTimer(id);
}

// ---- The merge -------------------------------------------------------------

void ScanChannelsDialog::FindStreamPids(uint16_t& videoPid, uint16_t& audioPid, uint16_t& textPid) {
    videoPid = audioPid = textPid = 0;
    fw::ListView& streams = StreamList();
    for (int row = 0; row < streams.GetItemCount(); ++row) {
        unsigned long type = 0;
        if (!ScanUnsigned(streams.ItemText(row, StreamType), type)) continue;
        const auto pid = static_cast<uint16_t>(streams.GetItemData(row) & 0xFFFF);
        if (type == 2 && videoPid == 0) videoPid = pid;
        else if ((type == 3 || type == 4) && audioPid == 0) audioPid = pid;
        else if (type == 6 && textPid == 0) textPid = pid;
        if (videoPid != 0 && audioPid != 0 && textPid != 0) break;
    }
}

int ScanChannelsDialog::FindProgramRow(int after, const std::string& networkId, const std::string& programId) {
    fw::ListView& programs = m_Owner->ProgramList();
    for (int row = after + 1; row < programs.GetItemCount(); ++row) {
        if (programs.ItemText(row, kColumnNwId) == networkId &&
            programs.ItemText(row, kColumnProgId) == programId) {
            return row;
        }
    }
    return -1;
}

int ScanChannelsDialog::StoreServiceInRow(int row, int withName) {
    uint16_t video = 0, audio = 0, text = 0;
    FindStreamPids(video, audio, text);
    fw::ListView& programs = m_Owner->ProgramList();
    SelectRow(programs, row);

    fw::ListView& services = ServiceList();
    const int svc = m_CurrentServiceRow;
    std::string name = services.ItemText(svc, SvcService);
    if (name.empty()) {
        // A time-shifted service borrows what its reference service is called.
        unsigned long reference = 0;
        if (ScanUnsigned(services.ItemText(svc, SvcNvod), reference)) {
            const int ref = FindService(0, static_cast<uint32_t>(reference));
            if (ref >= 0) {
                services.SetItemText(svc, SvcCaIds, services.GetItemText(ref, SvcCaIds));
                services.SetItemText(svc, SvcType, services.GetItemText(ref, SvcType));
                services.SetItemText(svc, SvcProvider, services.GetItemText(ref, SvcProvider));
                services.SetItemText(svc, SvcService, services.GetItemText(ref, SvcService));
                name = services.ItemText(svc, SvcService);
            }
        }
    }

    fw::ListView& transports = TransportList();
    const int tr = m_CurrentTransportRow;
    int changed = 0;
    const auto put = [&](int column, const std::string& value) {
        if (programs.ItemText(row, column) != value) changed = 1;
        programs.SetItemText(row, column, value);
    };
    if (withName) put(kColumnName, name);
    put(kColumnFrequency, transports.ItemText(tr, TsFreq));
    put(kColumnProgId, services.ItemText(svc, SvcProg));
    put(kColumnVideoPid, Decimal(video));
    put(kColumnAudioPid, Decimal(audio));
    put(kColumnPmtPid, PatList().ItemText(m_CurrentPatRow, PatPmtPid));
    put(kColumnTxtPid, Decimal(text));
    put(kColumnSubtitlePid, "0");
    put(kColumnDataPid, "0");
    put(kColumnTsId, transports.ItemText(tr, TsId));
    put(kColumnNwId, transports.ItemText(tr, TsNw));
    put(kColumnStandard, "8");
    put(kColumnExtraInfo, "32");
    put(kColumnServiceId, "0");
    put(kColumnModulation, transports.ItemText(tr, TsQam));
    put(kColumnFec, "0");
    put(kColumnTone22kHz, "0");
    put(kColumnVertical, "0");
    put(kColumnSymbolRate, transports.ItemText(tr, TsRate) + "000");
    put(kColumnProgType, services.ItemText(svc, SvcType));
    put(kColumnIpFilter, "0");
    put(kColumnReserved1, "0");
    put(kColumnReserved2, "0");
    return changed;
}

void ScanChannelsDialog::MergeService() {
    uint16_t video = 0, audio = 0, text = 0;
    FindStreamPids(video, audio, text);
    if (video == 0 && audio == 0) return;
    const std::string programId = ServiceList().GetItemText(m_CurrentServiceRow, SvcProg);
    const std::string networkId = TransportList().GetItemText(m_CurrentTransportRow, TsNw);
    fw::ListView& programs = m_Owner->ProgramList();
    int row = FindProgramRow(-1, networkId, programId);
    if (row < 0) {
        const int count = programs.GetItemCount();
        row = programs.InsertItem(count, Decimal(static_cast<unsigned long>(count) + 1));
        programs.SetItemData(row, static_cast<uint32_t>(row));
        programs.EnsureVisible(row);
        programs.SetItemText(row, kColumnState, "added");
        StoreServiceInRow(row, 1);
        return;
    }
    for (; row >= 0; row = FindProgramRow(row, networkId, programId)) {
        const int changed = StoreServiceInRow(row, m_UpdateNames);
        programs.SetItemText(row, kColumnState, changed ? "updated" : "actual");
    }
}
