#include "programs/ProgramRowCodec.h"

#include <string>

#include "card/ProgramFields.h"

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

std::optional<uint32_t> ProgramRowCodec::ReadTypedNumber(std::string_view text, uint32_t max) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::nullopt;
    const size_t end = text.find_last_not_of(" \t") + 1;
    uint64_t value = 0;
    for (size_t i = first; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        if (value > max) return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

void ProgramRowCodec::RecordToRow(const TunProgDataTag& r, fw::ListView& list, int row) {
    for (const ProgramField& field : kProgramFields) {
        switch (field.kind) {
            case FieldKind::Name: list.SetItemText(row, field.column, r.name); break;
            case FieldKind::Frequency:
                list.SetItemText(row, field.column, std::to_string(field.member.get(r) * 100u));
                break;
            case FieldKind::Number: list.SetItemText(row, field.column, std::to_string(field.member.get(r))); break;
            case FieldKind::State:
            case FieldKind::ChannelNumber:
            case FieldKind::CaSystems: break;
        }
    }
}

TunProgDataTag ProgramRowCodec::RowToRecord(const fw::ListView& list, int row) {
    TunProgDataTag r;
    for (const ProgramField& field : kProgramFields) {
        const std::string& cell = list.ItemText(row, field.column);
        switch (field.kind) {
            case FieldKind::Name: r.name = cell; break;
            case FieldKind::Frequency: field.member.set(r, ReadNumber(cell) / 100u); break;
            case FieldKind::Number: field.member.set(r, ReadNumber(cell)); break;
            case FieldKind::State:
            case FieldKind::ChannelNumber:
            case FieldKind::CaSystems: break;
        }
    }
    return r;
}

void ProgramRowCodec::BesideToRow(const ProgramBeside& beside, fw::ListView& list, int row) {
    list.SetItemText(row, kColumnLcn, beside.channelNumber != 0 ? std::to_string(beside.channelNumber) : std::string());
    list.SetItemText(row, kColumnCa, CaSystemsText(beside.caSystems));
    list.SetItemAttachment(row, beside.audioStreamType);
}

ProgramBeside ProgramRowCodec::RowToBeside(const fw::ListView& list, int row) {
    ProgramBeside beside;
    beside.channelNumber = ReadNumber(list.ItemText(row, kColumnLcn));
    beside.caSystems = ReadCaSystemsText(list.ItemText(row, kColumnCa)).value_or(0);
    beside.audioStreamType = list.GetItemAttachment(row);
    return beside;
}
