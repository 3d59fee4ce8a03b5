// The merge: one scanned service, as the scan lists describe it, handed to
// the owner, whose program list rows take it.
#include "scan/ScanCells.h"
#include "scan/ScanChannelsDialog.h"

using scancells::Decimal;
using scancells::ParseUnsigned;

void ScanChannelsDialog::FindStreamPids(uint16_t& videoPid, uint16_t& audioPid, uint16_t& textPid) {
    videoPid = audioPid = textPid = 0;
    fw::ListView& streams = StreamList();
    for (int row = 0; row < streams.GetItemCount(); ++row) {
        unsigned long type = 0;
        if (!ParseUnsigned(streams.ItemText(row, StreamType), type)) continue;
        const auto pid = static_cast<uint16_t>(streams.GetItemData(row) & 0xFFFF);
        if (type == 2 && videoPid == 0) videoPid = pid;
        else if ((type == 3 || type == 4) && audioPid == 0) audioPid = pid;
        else if (type == 6 && textPid == 0) textPid = pid;
        if (videoPid != 0 && audioPid != 0 && textPid != 0) break;
    }
}

ScannedService ScanChannelsDialog::DescribeCurrentService(uint16_t videoPid, uint16_t audioPid, uint16_t textPid) {
    fw::ListView& services = ServiceList();
    const int svc = m_CurrentServiceRow;
    if (services.ItemText(svc, SvcService).empty()) {
        // A time-shifted service borrows what its reference service is called.
        unsigned long reference = 0;
        if (ParseUnsigned(services.ItemText(svc, SvcNvod), reference)) {
            const int ref = FindService(0, static_cast<uint32_t>(reference));
            if (ref >= 0) {
                services.SetItemText(svc, SvcCaIds, services.GetItemText(ref, SvcCaIds));
                services.SetItemText(svc, SvcType, services.GetItemText(ref, SvcType));
                services.SetItemText(svc, SvcProvider, services.GetItemText(ref, SvcProvider));
                services.SetItemText(svc, SvcService, services.GetItemText(ref, SvcService));
            }
        }
    }

    fw::ListView& transports = TransportList();
    const int tr = m_CurrentTransportRow;
    ScannedService found;
    found.name = services.ItemText(svc, SvcService);
    found.frequency = transports.ItemText(tr, TsFreq);
    found.programId = services.ItemText(svc, SvcProg);
    found.videoPid = Decimal(videoPid);
    found.audioPid = Decimal(audioPid);
    found.pmtPid = PatList().ItemText(m_CurrentPatRow, PatPmtPid);
    found.textPid = Decimal(textPid);
    found.transportStreamId = transports.ItemText(tr, TsId);
    found.networkId = transports.ItemText(tr, TsNw);
    found.modulation = transports.ItemText(tr, TsQam);
    // The transport list shows kSymbols/s; the program list holds symbols/s.
    found.symbolRate = transports.ItemText(tr, TsRate) + "000";
    found.serviceType = services.ItemText(svc, SvcType);
    return found;
}

void ScanChannelsDialog::MergeService() {
    uint16_t video = 0, audio = 0, text = 0;
    FindStreamPids(video, audio, text);
    // A service without picture or sound is nothing to watch.
    if (video == 0 && audio == 0) return;
    m_Owner->MergeService(DescribeCurrentService(video, audio, text), m_UpdateNames);
}
