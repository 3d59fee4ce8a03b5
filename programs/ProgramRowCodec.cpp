#include "programs/ProgramRowCodec.h"

#include <string>

#include "programs/ProgramListColumn.h"

uint32_t ProgramRowCodec::ReadNumber(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n' || text[pos] == '\r' ||
                                 text[pos] == '\v' || text[pos] == '\f')) {
        ++pos;
    }
    uint64_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 + static_cast<uint64_t>(text[pos] - '0');
        if (value > UINT32_MAX) return UINT32_MAX;
    }
    return static_cast<uint32_t>(value);
}

void ProgramRowCodec::RecordToRow(const TunProgDataTag& r, fw::ListView& list, int row) {
    const auto set = [&](int column, uint32_t value) { list.SetItemText(row, column, std::to_string(value)); };
    set(kColumnNr, r.index);
    list.SetItemText(row, kColumnName, r.name);
    set(kColumnFrequency, r.frequency * 100u);
    set(kColumnProgId, r.progId);
    set(kColumnVideoPid, r.videoPid);
    set(kColumnAudioPid, r.audioPid);
    set(kColumnPmtPid, r.pmtPid);
    set(kColumnTxtPid, r.txtPid);
    set(kColumnSubtitlePid, r.subtitlePid);
    set(kColumnDataPid, r.dataPid);
    set(kColumnTsId, r.tsId);
    set(kColumnNwId, r.nwId);
    set(kColumnStandard, r.standard);
    set(kColumnExtraInfo, r.extraInfo);
    set(kColumnServiceId, r.serviceId);
    set(kColumnModulation, r.modulation);
    set(kColumnFec, r.fec);
    set(kColumnTone22kHz, r.tone22kHz);
    set(kColumnVertical, r.vertical);
    set(kColumnSymbolRate, r.symbolRate);
    set(kColumnProgType, r.progType);
    set(kColumnIpFilter, r.ipFilter);
    set(kColumnReserved1, r.reserved1);
    set(kColumnReserved2, r.reserved2);
}

TunProgDataTag ProgramRowCodec::RowToRecord(const fw::ListView& list, int row) {
    const auto number = [&](int column) { return ReadNumber(list.ItemText(row, column)); };
    const auto low16 = [&](int column) { return static_cast<uint16_t>(number(column)); };
    const auto low8 = [&](int column) { return static_cast<uint8_t>(number(column)); };
    TunProgDataTag r;
    r.index = number(kColumnNr);
    r.name = list.ItemText(row, kColumnName);
    r.frequency = number(kColumnFrequency) / 100u;
    r.progId = low16(kColumnProgId);
    r.videoPid = low16(kColumnVideoPid);
    r.audioPid = low16(kColumnAudioPid);
    r.pmtPid = low16(kColumnPmtPid);
    r.txtPid = low16(kColumnTxtPid);
    r.subtitlePid = low16(kColumnSubtitlePid);
    r.dataPid = low16(kColumnDataPid);
    r.tsId = low16(kColumnTsId);
    r.nwId = low16(kColumnNwId);
    r.standard = number(kColumnStandard);
    r.extraInfo = number(kColumnExtraInfo);
    r.serviceId = low16(kColumnServiceId);
    r.modulation = low8(kColumnModulation);
    r.fec = low8(kColumnFec);
    r.tone22kHz = number(kColumnTone22kHz);
    r.vertical = number(kColumnVertical);
    r.symbolRate = number(kColumnSymbolRate);
    r.progType = low8(kColumnProgType);
    r.ipFilter = low8(kColumnIpFilter);
    r.reserved1 = number(kColumnReserved1);
    r.reserved2 = number(kColumnReserved2);
    return r;
}
