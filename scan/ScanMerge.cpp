// The merge: one scanned service, as the scan lists describe it, into the
// rows of the program list that describe it, or into a new row.
#include "card/ProgramFields.h"
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
        if (ParseUnsigned(services.ItemText(svc, SvcNvod), reference)) {
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
    put(kColumnTsId, transports.ItemText(tr, TsId));
    put(kColumnNwId, transports.ItemText(tr, TsNw));
    put(kColumnModulation, transports.ItemText(tr, TsQam));
    put(kColumnSymbolRate, transports.ItemText(tr, TsRate) + "000");
    put(kColumnProgType, services.ItemText(svc, SvcType));
    // What the network says nothing of, each field's preset ("Standard" 8,
    // "Extra-Info" 32, the rest 0).
    for (const ProgramField& field : kProgramFields) {
        if (field.presetOnScan) put(field.column, Decimal(field.preset));
    }
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
