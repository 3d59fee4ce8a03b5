// The merge: one scanned service, as the scan lists describe it, handed to
// the owner, whose program list rows take it.
#include "scan/ScanCells.h"
#include "scan/ScanChannelsDialog.h"

using scancells::Decimal;
using scancells::ParseUnsigned;

// Each PID is the lowest of its kind (the list is in PID order). MPEG-2
// video and MPEG audio go first, so a service that has them keeps the PIDs an
// MPEG-2 receiver has always stored; H.264, HEVC, AAC, AC-3 and E-AC-3 are
// taken where it has none.
ScanChannelsDialog::StreamPids ScanChannelsDialog::FindStreamPids() {
    StreamPids pids;
    uint16_t otherVideo = 0, otherAudio = 0;
    uint32_t otherAudioType = 0;
    fw::ListView& streams = StreamList();
    for (int row = 0; row < streams.GetItemCount(); ++row) {
        unsigned long type = 0;
        const std::string& cell = streams.ItemText(row, StreamType);
        if (!ParseUnsigned(cell, type)) continue;
        const auto pid = static_cast<uint16_t>(streams.GetItemData(row) & 0xFFFF);
        const auto take = [pid](uint16_t& into) {
            if (into == 0) into = pid;
        };
        // Private data says what it carries by a descriptor.
        const auto descriptor = m_AudioDescriptors.find(pid);
        const uint32_t audioType = descriptor != m_AudioDescriptors.end() && type == 0x06
                                       ? si::audiotype::PrivateData(descriptor->second)
                                       : static_cast<uint32_t>(type);
        const auto takeAudio = [&](uint16_t& into, uint32_t& typeInto) {
            if (into == 0) typeInto = audioType;
            take(into);
        };
        switch (StreamKindOfCell(cell)) {
            case si::StreamKind::Video: take(type == 2 ? pids.video : otherVideo); break;
            case si::StreamKind::Audio:
                if (type == 3 || type == 4) takeAudio(pids.audio, pids.audioType);
                else takeAudio(otherAudio, otherAudioType);
                break;
            case si::StreamKind::Teletext: take(pids.text); break;
            case si::StreamKind::Subtitle: take(pids.subtitle); break;
            case si::StreamKind::Data:
            case si::StreamKind::Other: break;
        }
    }
    if (pids.video == 0) pids.video = otherVideo;
    if (pids.audio == 0) {
        pids.audio = otherAudio;
        pids.audioType = otherAudioType;
    }
    return pids;
}

ScannedService ScanChannelsDialog::DescribeCurrentService(const StreamPids& pids) {
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
    found.videoPid = Decimal(pids.video);
    found.audioPid = Decimal(pids.audio);
    found.pmtPid = PatList().ItemText(m_CurrentPatRow, PatPmtPid);
    found.textPid = Decimal(pids.text);
    found.subtitlePid = Decimal(pids.subtitle);
    found.transportStreamId = transports.ItemText(tr, TsId);
    found.networkId = transports.ItemText(tr, TsNw);
    found.modulation = transports.ItemText(tr, TsQam);
    // The transport list shows kSymbols/s; the program list holds symbols/s.
    found.symbolRate = transports.ItemText(tr, TsRate) + "000";
    found.serviceType = services.ItemText(svc, SvcType);
    found.channelNumber = services.ItemText(svc, SvcLcn);
    found.caSystemIds = services.ItemText(svc, SvcCaIds);
    found.audioStreamType = pids.audio != 0 ? pids.audioType : 0;
    return found;
}

void ScanChannelsDialog::MergeService() {
    const StreamPids pids = FindStreamPids();
    // A service without picture or sound is nothing to watch.
    if (pids.video == 0 && pids.audio == 0) return;
    m_Owner->MergeService(DescribeCurrentService(pids), m_UpdateNames);
}
