#include "programs/ProgramListMerge.h"

#include <cstdlib>
#include <string>

#include "framework/ListView.h"
#include "card/ProgramFields.h"
#include "programs/ProgramRowCodec.h"

namespace {

int FindProgramRow(const fw::ListView& programs, int after, const std::string& networkId,
                   const std::string& programId) {
    for (int row = after + 1; row < programs.GetItemCount(); ++row) {
        if (programs.ItemText(row, kColumnNwId) == networkId && programs.ItemText(row, kColumnProgId) == programId)
            return row;
    }
    return -1;
}

// Writes the service into the row; 1 when a cell changed.
int StoreServiceInRow(fw::ListView& programs, int row, const ScannedService& service, int withName) {
    programs.SetItemState(row, fw::kItemSelected | fw::kItemFocused, fw::kItemSelected | fw::kItemFocused);
    programs.EnsureVisible(row);
    int changed = 0;
    const auto put = [&](int column, const std::string& value) {
        if (programs.ItemText(row, column) != value) changed = 1;
        programs.SetItemText(row, column, value);
    };
    if (withName) put(kColumnName, service.name);
    put(kColumnFrequency, service.frequency);
    put(kColumnProgId, service.programId);
    put(kColumnVideoPid, service.videoPid);
    put(kColumnAudioPid, service.audioPid);
    put(kColumnPmtPid, service.pmtPid);
    put(kColumnTxtPid, service.textPid);
    put(kColumnSubtitlePid, service.subtitlePid.empty() ? "0" : service.subtitlePid);
    put(kColumnTsId, service.transportStreamId);
    put(kColumnNwId, service.networkId);
    put(kColumnModulation, service.modulation);
    put(kColumnSymbolRate, service.symbolRate);
    put(kColumnProgType, service.serviceType);
    // What the network says nothing of, each field's preset ("Standard" 8,
    // "Extra-Info" 32, the rest 0).
    for (const ProgramField& field : kProgramFields) {
        if (field.presetOnScan) put(field.column, std::to_string(field.preset));
    }
    // The operator's number, where the network gives one; a number the user
    // imported stays when it gives none.
    if (!service.channelNumber.empty()) {
        const uint32_t number = ProgramRowCodec::ReadNumber(service.channelNumber);
        put(kColumnLcn, number != 0 ? std::to_string(number) : std::string());
    }
    // What the SDT names now, none included: a service that went free shows so.
    put(kColumnCa, CaSystemsText(ReadCaSystemsText(service.caSystemIds).value_or(0)));
    if (programs.GetItemAttachment(row) != service.audioStreamType) changed = 1;
    programs.SetItemAttachment(row, service.audioStreamType);
    return changed;
}

}  // namespace

void MergeScannedService(fw::ListView& programs, const ScannedService& service, int updateNames) {
    int row = FindProgramRow(programs, -1, service.networkId, service.programId);
    if (row < 0) {
        const int count = programs.GetItemCount();
        row = programs.InsertItem(count, std::to_string(count + 1));
        programs.SetItemData(row, static_cast<uint32_t>(row));
        programs.EnsureVisible(row);
        programs.SetItemText(row, kColumnState, "added");
        StoreServiceInRow(programs, row, service, 1);
        return;
    }
    for (; row >= 0; row = FindProgramRow(programs, row, service.networkId, service.programId)) {
        const int changed = StoreServiceInRow(programs, row, service, updateNames);
        programs.SetItemText(row, kColumnState, changed ? "updated" : "actual");
    }
}
