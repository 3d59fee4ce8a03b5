// The fields of a TunProgDataTag, one row each, as the program list shows
// them, the channel files and kelvane-cli write them, and the board database
// stores them. It sits beside the record because both the system and the
// card library stand-in read it; the list's titles and widths are the
// program list's own. A new column is a new row here.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <type_traits>

#include "card/DBDVBX32.h"
#include "framework/ListView.h"

// The columns of the program list. Columns 0 to 23 carry the fields of a
// TunProgDataTag; column 24 holds the scan's state text ("added", "updated",
// "actual") and belongs to the merge of scan results. After them, what the
// board database keeps beside the record (ProgramBeside): the operator's
// channel number and the CA systems.
enum ProgramListColumn : int {
    kColumnNr = 0,
    kColumnName = 1,
    kColumnFrequency = 2,
    kColumnProgId = 3,
    kColumnVideoPid = 4,
    kColumnAudioPid = 5,
    kColumnPmtPid = 6,
    kColumnTxtPid = 7,
    kColumnSubtitlePid = 8,
    kColumnDataPid = 9,
    kColumnTsId = 10,
    kColumnNwId = 11,
    kColumnStandard = 12,
    kColumnExtraInfo = 13,
    kColumnServiceId = 14,
    kColumnModulation = 15,
    kColumnFec = 16,
    kColumnTone22kHz = 17,
    kColumnVertical = 18,
    kColumnSymbolRate = 19,
    kColumnProgType = 20,
    kColumnIpFilter = 21,
    kColumnReserved1 = 22,
    kColumnReserved2 = 23,
    kColumnState = 24,
    kColumnLcn = 25,
    kColumnCa = 26,
};

inline constexpr int kProgramListColumnCount = 27;
// Columns 0 to 23: the ones a record fills.
inline constexpr int kProgramRecordColumnCount = 24;

// How a field's value reads: a number held as it is, the record's name, the
// frequency (kHz in the record, units of 10 Hz in the list's cells and the
// CSV), no member at all (the scan's state), or a value kept beside the
// record: the channel number (decimal, empty for none) and the CA systems
// (CaSystemsText).
enum class FieldKind { Number, Name, Frequency, State, ChannelNumber, CaSystems };

// A numeric member of the record, read and written through 32 bits; `max` is
// the widest value the member holds.
struct RecordMember {
    uint32_t (*get)(const TunProgDataTag&) = nullptr;
    void (*set)(TunProgDataTag&, uint32_t) = nullptr;
    uint32_t max = 0;
};

namespace programfields {

template <auto Member>
constexpr RecordMember Of() {
    using T = std::remove_cvref_t<decltype(std::declval<TunProgDataTag&>().*Member)>;
    return {[](const TunProgDataTag& r) -> uint32_t { return r.*Member; },
            [](TunProgDataTag& r, uint32_t v) { r.*Member = static_cast<T>(v); }, std::numeric_limits<T>::max()};
}

}  // namespace programfields

struct ProgramField {
    ProgramListColumn column;
    // The list's column title; the CSV's header and kelvane-cli's table use it too.
    const char* title;
    fw::Align align;
    // Share of the list's client width less a vertical scroll bar.
    double widthFraction;
    FieldKind kind;
    RecordMember member;  // none for the name and the state
    // The board database's column; the files it has written name them so.
    const char* dbColumn;
    // The highest value the list takes, from a channel file or the details
    // dialog: a PID has 13 bits, a frequency must fit its cell.
    uint32_t fileMax;
    // The network says nothing of it: the merge writes `preset` into every
    // row it stores a scanned service in.
    bool presetOnScan;
    // What an imported program starts with, and a scanned one where the
    // network says nothing.
    uint32_t preset;
    // kelvane-cli's table shows it: what tells programs apart, within 100
    // columns; `export` gives every field.
    bool inTerminalTable;
};

namespace programfields {

using fw::Align;
using R = TunProgDataTag;
inline constexpr uint32_t kMaxPid = 8191;
inline constexpr uint32_t k32 = UINT32_MAX, k16 = UINT16_MAX, k8 = UINT8_MAX;
// The list's cell shows the frequency in 10 Hz, 100 times the record's kHz:
// above this it would wrap.
inline constexpr uint32_t kMaxFrequencyKhz = UINT32_MAX / 100;
constexpr FieldKind N = FieldKind::Number;

// The titles are the program list's own, spelling included; each width share
// leaves its title whole in the window's default size. Each row: column,
// title, alignment, width share, kind, member, database column, highest value
// from a file, preset on a scan, preset, shown by kelvane-cli.
inline constexpr ProgramField kFields[kProgramListColumnCount] = {
    {kColumnNr, "Nr", Align::Center, 0.04, N, Of<&R::index>(), "position", k32, false, 0, true},
    {kColumnName, "Programm", Align::Left, 0.2, FieldKind::Name, {}, "name", 0, false, 0, true},
    {kColumnFrequency, "Frequenz", Align::Center, 0.1, FieldKind::Frequency, Of<&R::frequency>(), "frequency", kMaxFrequencyKhz,
     false, 0, true},
    {kColumnProgId, "Prog-ID", Align::Center, 0.07, N, Of<&R::progId>(), "prog_id", k16, false, 0, true},
    {kColumnVideoPid, "V-PID", Align::Center, 0.07, N, Of<&R::videoPid>(), "video_pid", kMaxPid, false, 0, true},
    {kColumnAudioPid, "A-PID", Align::Center, 0.07, N, Of<&R::audioPid>(), "audio_pid", kMaxPid, false, 0, true},
    {kColumnPmtPid, "PMT-PID", Align::Center, 0.07, N, Of<&R::pmtPid>(), "pmt_pid", kMaxPid, false, 0, false},
    {kColumnTxtPid, "TXT-PID", Align::Center, 0.07, N, Of<&R::txtPid>(), "txt_pid", kMaxPid, false, 0, false},
    {kColumnSubtitlePid, "Subtitle", Align::Center, 0.07, N, Of<&R::subtitlePid>(), "subtitle_pid", kMaxPid, false,
     0, false},
    {kColumnDataPid, "Data-PID", Align::Center, 0.08, N, Of<&R::dataPid>(), "data_pid", kMaxPid, true, 0, false},
    {kColumnTsId, "TS-ID", Align::Center, 0.07, N, Of<&R::tsId>(), "ts_id", k16, false, 0, true},
    {kColumnNwId, "NW-ID", Align::Center, 0.07, N, Of<&R::nwId>(), "nw_id", k16, false, 0, true},
    {kColumnStandard, "Standard", Align::Center, 0.08, N, Of<&R::standard>(), "standard", k32, true, 8, false},
    {kColumnExtraInfo, "Extra-Info", Align::Center, 0.085, N, Of<&R::extraInfo>(), "extra_info", k32, true, 32,
     false},
    {kColumnServiceId, "Servcie-ID", Align::Center, 0.09, N, Of<&R::serviceId>(), "service_id", k16, true, 0,
     false},
    {kColumnModulation, "Modulation", Align::Center, 0.095, N, Of<&R::modulation>(), "modulation", k8, false, 0, false},
    {kColumnFec, "FEC", Align::Center, 0.07, N, Of<&R::fec>(), "fec", k8, true, 0, false},
    {kColumnTone22kHz, "22 kHz", Align::Center, 0.07, N, Of<&R::tone22kHz>(), "tone_22khz", k32, true, 0, false},
    {kColumnVertical, "Vertikal", Align::Center, 0.07, N, Of<&R::vertical>(), "vertical", k32, true, 0, false},
    {kColumnSymbolRate, "Symbolrate", Align::Center, 0.1, N, Of<&R::symbolRate>(), "symbol_rate", k32, false, 0,
     false},
    {kColumnProgType, "Prog-Type", Align::Center, 0.085, N, Of<&R::progType>(), "prog_type", k8, false, 0, true},
    {kColumnIpFilter, "IP-Filter", Align::Center, 0.07, N, Of<&R::ipFilter>(), "ip_filter", k8, true, 0, false},
    {kColumnReserved1, "Reserved 1", Align::Center, 0.1, N, Of<&R::reserved1>(), "reserved1", k32, true, 0, false},
    {kColumnReserved2, "Reserved 2", Align::Center, 0.1, N, Of<&R::reserved2>(), "reserved2", k32, true, 0, false},
    {kColumnState, "State", Align::Center, 0.07, FieldKind::State, {}, nullptr, 0, false, 0, false},
    // Beside the record: the board database names their columns itself.
    {kColumnLcn, "LCN", Align::Center, 0.05, FieldKind::ChannelNumber, {}, nullptr, k16, false, 0, true},
    {kColumnCa, "CA", Align::Center, 0.09, FieldKind::CaSystems, {}, nullptr, k32, false, 0, true},
};

constexpr bool InColumnOrder() {
    for (int i = 0; i < kProgramListColumnCount; ++i) {
        if (kFields[i].column != i) return false;
        // By kind, not by the member's function: a sanitizer's build cannot
        // compare that in a constant expression.
        const FieldKind kind = kFields[i].kind;
        const bool ofRecord = kind == FieldKind::Number || kind == FieldKind::Name || kind == FieldKind::Frequency;
        if (ofRecord != (i < kProgramRecordColumnCount)) return false;
    }
    return kFields[kColumnState].kind == FieldKind::State;
}
static_assert(InColumnOrder(), "each row of kFields sits at its column, the record's before the others");

}  // namespace programfields

using programfields::kMaxFrequencyKhz;

// Every column in column order; 0 to 23 are the record's.
inline constexpr const ProgramField (&kProgramFields)[kProgramListColumnCount] = programfields::kFields;

// A column's row; a column outside the list is a programming error, not a user's.
inline const ProgramField& ProgramListColumnAt(int column) {
    if (column < 0 || column >= kProgramListColumnCount) std::abort();
    return kProgramFields[column];
}

// A record that no network or file has said anything about yet: every field
// at its preset ("Standard" 8, "Extra-Info" 32, the rest 0).
inline TunProgDataTag PresetProgram() {
    TunProgDataTag program;
    for (const ProgramField& field : kProgramFields) {
        if (field.member.set) field.member.set(program, field.preset);
    }
    return program;
}

// Whether a column sorts by text (case-insensitively) rather than by number.
// The CA systems' four hex digits each sort as text in the order of their values.
inline bool IsTextColumn(int column) {
    const FieldKind kind = ProgramListColumnAt(column).kind;
    return kind == FieldKind::Name || kind == FieldKind::State || kind == FieldKind::CaSystems;
}

// What tells one service from another in the list: "NW-ID" and "Prog-ID",
// the key a scan merges a service into the list by. Two rows with the same
// key describe the same service, whichever transport carries it now.
inline uint32_t ServiceKey(const TunProgDataTag& program) {
    return (uint32_t{program.nwId} << 16) | program.progId;
}
