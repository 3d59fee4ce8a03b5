// The scan window: its lists, their columns and layout, and the row writers
// and lookups through which the decoders and the sequence use them.
#include "scan/ScanChannelsDialog.h"

#include <initializer_list>
#include <iterator>

#include "framework/WindowPlacement.h"
#include "res/ResourceIds.h"
#include "scan/ScanCells.h"
#include "si/DvbText.h"

using scancells::Decimal;
using scancells::Format;

namespace {

constexpr char kPlacementSection[] = "ScanNetwork";

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
    m_ProgressStrip = GetClientRect().Height() - GetControlRect(res::IDC_SCAN_PROGRESS).top;
    fw::RestoreWindowPlacement(*this, kPlacementSection);
    MakeColumns();
    if (m_Owner) m_Owner->SetResultWindowForAll(this);
    StartScan();
    ShowProgress();
    return true;
}

void ScanChannelsDialog::DestroyWindow() {
    fw::SaveWindowPlacement(*this, kPlacementSection);
    if (m_Owner) {
        m_Owner->ListenForNetworks(false);
        m_Owner->SetResultWindowForAll(nullptr);
    }
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
          {"Service", 0.24, Align::Left}, {"Provider", 0.16, Align::Left}, {"Type", 0.07, Align::Center},
          {"CA-ID's", 0.17, Align::Left}, {"Nvod", 0.07, Align::Center}, {"LCN", 0.06, Align::Center}});
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
        // The lists share what the progress strip leaves; it keeps its height.
        const double W = cx, H = cy - m_ProgressStrip, L = log.left, T = log.top;
        const auto trunc = [](double v) { return static_cast<int>(v); };
        const int upperH = trunc((H - 3 * T) * 0.45);
        const auto place = [this](int id, int x, int y, int w, int h) { MoveControl(id, fw::Rect{x, y, x + w, y + h}); };
        place(kLogListId, log.left, log.top, trunc((W - 2.5 * L) * 0.4), upperH);
        // The log's one column follows its list, so a wider window shows
        // longer lines whole.
        if (LogList().GetColumnCount() == 1)
            LogList().SetColumnWidth(0, GetControlClientWidth(kLogListId) - VerticalScrollBarWidth());
        const int transportW = trunc((W - 2.5 * L) * 0.6);
        place(kTransportListId, trunc(W - L - transportW), trunc(T), transportW, upperH);
        place(kServiceListId, trunc(L), trunc(1.5 * T + (H - 3 * T) * 0.45), trunc(W - 2 * L), trunc((H - 3 * T) * 0.31));
        const int lowerY = trunc(2 * T + (H - 3 * T) * 0.76);
        const int lowerW = trunc((W - 2.5 * L) * 0.5);
        const int lowerH = trunc((H - 3 * T) * 0.24);
        place(kPatListId, trunc(L), lowerY, lowerW, lowerH);
        place(kStreamListId, trunc(W - L - lowerW), lowerY, lowerW, lowerH);
        const fw::Rect bar = GetControlRect(res::IDC_SCAN_PROGRESS);
        const fw::Rect text = GetControlRect(res::IDC_SCAN_PROGRESS_TEXT);
        const int barTop = cy - m_ProgressStrip;
        place(res::IDC_SCAN_PROGRESS, trunc(L), barTop, trunc(W - 2 * L), bar.Height());
        place(res::IDC_SCAN_PROGRESS_TEXT, trunc(L), barTop + text.top - bar.top, trunc(W - 2 * L), text.Height());
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

void ScanChannelsDialog::AddTransport(uint32_t transportStreamId, uint32_t originalNetworkId, uint32_t frequency,
                                      uint32_t symbolRate, uint32_t modulation, uint32_t fecInner) {
    const uint32_t ts = transportStreamId & 0xFFFF, nw = originalNetworkId & 0xFFFF;
    const uint32_t key = scancells::TransportKey(ts, nw);
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
    AdoptOneTransport(transportStreamId, originalNetworkId);
    if (!FromTunedTransport(transportStreamId)) return;
    m_LastSdtVersion = static_cast<int>(versionNumber & 0xFF);
    fw::ListView& list = TransportList();
    const int row = list.FindItemByData(scancells::TransportKey(transportStreamId, originalNetworkId));
    if (row >= 0) list.SetItemText(row, TsSdt, Decimal(versionNumber & 0xFF));
}

int ScanChannelsDialog::AddService(uint32_t transportStreamId, uint32_t originalNetworkId, uint32_t serviceId) {
    const uint32_t key = scancells::ServiceItemData(transportStreamId, serviceId);
    fw::ListView& list = ServiceList();
    const int existing = list.FindItemByData(key);
    if (existing >= 0) return existing;
    const int row = list.InsertItem(list.GetItemCount(), Decimal(serviceId & 0xFFFF));
    list.SetItemData(row, key);
    list.EnsureVisible(row);
    list.SetItemText(row, SvcTs, Decimal(transportStreamId & 0xFFFF));
    list.SetItemText(row, SvcNw, Decimal(originalNetworkId & 0xFFFF));
    const auto lcn = m_ChannelNumbers.find({static_cast<uint16_t>(originalNetworkId),
                                            static_cast<uint16_t>(transportStreamId), static_cast<uint16_t>(serviceId)});
    if (lcn != m_ChannelNumbers.end()) list.SetItemText(row, SvcLcn, Decimal(lcn->second));
    return row;
}

void ScanChannelsDialog::SetServiceChannelNumber(uint32_t originalNetworkId, uint32_t transportStreamId,
                                                 uint32_t serviceId, uint32_t channelNumber) {
    const uint16_t nw = static_cast<uint16_t>(originalNetworkId), ts = static_cast<uint16_t>(transportStreamId);
    const uint16_t sid = static_cast<uint16_t>(serviceId);
    m_ChannelNumbers[{nw, ts, sid}] = channelNumber;
    // A service whose row came first (an NIT read again) shows it at once.
    fw::ListView& list = ServiceList();
    const int row = list.FindItemByData(scancells::ServiceItemData(ts, sid));
    if (row >= 0 && list.ItemText(row, SvcNw) == Decimal(nw)) list.SetItemText(row, SvcLcn, Decimal(channelNumber));
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
    // A time-shifted service's reference may live on another transport.
    if (nvodReferenceServiceId == 0 && !FromTunedTransport(transportStreamId)) return;
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
    if (!FromTunedTransport(transportStreamId)) return;
    const int row = AddService(transportStreamId, originalNetworkId, serviceId);
    ServiceList().SetItemText(row, SvcNvod, Decimal(referenceServiceId & 0xFFFF));
}

void ScanChannelsDialog::AddPatEntry(int transportStreamId, int programNumber, int pid) {
    if (!FromTunedTransport(static_cast<uint32_t>(transportStreamId))) return;
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

void ScanChannelsDialog::AddPmtStream(int programNumber, int, int elementaryPid, unsigned char streamType,
                                      unsigned char componentTag, si::StreamKind kind) {
    const auto program = static_cast<uint32_t>(programNumber) & 0xFFFF;
    if (m_RequestedProgram >= 0 && program != static_cast<uint32_t>(m_RequestedProgram)) return;
    const uint32_t pid = static_cast<uint32_t>(elementaryPid) & 0xFFFF;
    const uint32_t key = (static_cast<uint32_t>(componentTag) << 16) | pid;
    fw::ListView& list = StreamList();
    if (list.FindItemByData(key) >= 0) return;
    const int row = list.InsertItem(list.GetItemCount(), Format("%5lu", pid));
    list.SetItemData(row, key);
    list.SetItemText(row, StreamType, Decimal(streamType) + StreamKindSuffix(kind));
    list.SetItemText(row, StreamDescription, StreamTypeDescription(streamType));
    list.SetItemText(row, StreamTag, Decimal(componentTag));
}

void ScanChannelsDialog::SetPmtStreamAudioDescriptor(int programNumber, int elementaryPid, unsigned char descriptorTag) {
    const auto program = static_cast<uint32_t>(programNumber) & 0xFFFF;
    if (m_RequestedProgram >= 0 && program != static_cast<uint32_t>(m_RequestedProgram)) return;
    m_AudioDescriptors[static_cast<uint16_t>(static_cast<uint32_t>(elementaryPid) & 0xFFFF)] = descriptorTag;
}

int ScanChannelsDialog::FindService(uint32_t transportStreamId, uint32_t programNumber) {
    fw::ListView& list = ServiceList();
    const uint32_t ts = transportStreamId & 0xFFFF;
    if (ts != 0) return list.FindItemByData(scancells::ServiceItemData(ts, programNumber));
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

std::string ScanChannelsDialog::StreamKindSuffix(si::StreamKind kind) {
    switch (kind) {
        case si::StreamKind::Video: return " - Video";
        case si::StreamKind::Audio: return " - Audio";
        case si::StreamKind::Teletext: return " - Text/Data";
        case si::StreamKind::Subtitle: return " - Subtitle";
        // Private data that is neither sound, teletext nor subtitles is
        // nothing the program list has a PID for.
        case si::StreamKind::Data:
        case si::StreamKind::Other: break;
    }
    return "";
}

si::StreamKind ScanChannelsDialog::StreamKindOfCell(const std::string& typeCell) {
    unsigned long type = 0;
    if (!scancells::ParseUnsigned(typeCell, type) || type > 0xFF) return si::StreamKind::Other;
    const auto streamType = static_cast<uint8_t>(type);
    if (si::IsVideoStreamType(streamType)) return si::StreamKind::Video;
    if (si::IsAudioStreamType(streamType)) return si::StreamKind::Audio;
    if (streamType != si::kPesPrivateData) return si::StreamKind::Other;
    for (si::StreamKind kind : {si::StreamKind::Audio, si::StreamKind::Teletext, si::StreamKind::Subtitle}) {
        const std::string suffix = StreamKindSuffix(kind);
        if (typeCell.size() >= suffix.size() && typeCell.compare(typeCell.size() - suffix.size(), suffix.size(), suffix) == 0)
            return kind;
    }
    return si::StreamKind::Data;
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
    // The types assigned since, that today's networks carry.
    switch (streamType) {
        case 0x0F: return "ISO/IEC 13818-7 Audio with ADTS transport syntax";
        case 0x10: return "ISO/IEC 14496-2 Visual";
        case 0x11: return "ISO/IEC 14496-3 Audio with the LATM transport syntax";
        case 0x1B: return "ITU-T Rec. H.264 | ISO/IEC 14496-10 Video";
        case 0x24: return "ITU-T Rec. H.265 | ISO/IEC 23008-2 Video";
        default: break;
    }
    if (streamType < 128) return "ITU-T Rec. H.222.0 | ISO/IEC 13818-1 reserved";
    return "User private";
}
