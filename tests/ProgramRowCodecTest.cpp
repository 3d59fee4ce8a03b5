#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "card/DBDVBX32.h"
#include "framework/ListView.h"
#include "text/CaseFold.h"
#include "card/ProgramFields.h"
#include "programs/ProgramRowCodec.h"
#include "tests/ProgramTestSupport.h"

namespace {

// A bare 25-column list, as the program list window has it.
struct ProgramList {
    ProgramList() {
        for (int c = 0; c < kProgramListColumnCount; ++c) {
            list.InsertColumn(c, ProgramListColumnAt(c).title, ProgramListColumnAt(c).align, 50);
        }
        list.InsertItem(0, "");
    }
    fw::ListView list;
};

struct Field {
    const char* name;
    int bits;
    std::function<void(TunProgDataTag&, uint32_t)> set;
};

const std::vector<Field>& Fields() {
    static const std::vector<Field> fields = {
        {"index", 32, [](TunProgDataTag& r, uint32_t v) { r.index = v; }},
        // Above 42949672 the frequency times 100 wraps; that case has a test of its own.
        {"frequency", 25, [](TunProgDataTag& r, uint32_t v) { r.frequency = v; }},
        {"standard", 32, [](TunProgDataTag& r, uint32_t v) { r.standard = v; }},
        {"extraInfo", 32, [](TunProgDataTag& r, uint32_t v) { r.extraInfo = v; }},
        {"progId", 16, [](TunProgDataTag& r, uint32_t v) { r.progId = static_cast<uint16_t>(v); }},
        {"tsId", 16, [](TunProgDataTag& r, uint32_t v) { r.tsId = static_cast<uint16_t>(v); }},
        {"nwId", 16, [](TunProgDataTag& r, uint32_t v) { r.nwId = static_cast<uint16_t>(v); }},
        {"serviceId", 16, [](TunProgDataTag& r, uint32_t v) { r.serviceId = static_cast<uint16_t>(v); }},
        {"modulation", 8, [](TunProgDataTag& r, uint32_t v) { r.modulation = static_cast<uint8_t>(v); }},
        {"fec", 8, [](TunProgDataTag& r, uint32_t v) { r.fec = static_cast<uint8_t>(v); }},
        {"symbolRate", 32, [](TunProgDataTag& r, uint32_t v) { r.symbolRate = v; }},
        {"tone22kHz", 32, [](TunProgDataTag& r, uint32_t v) { r.tone22kHz = v; }},
        {"vertical", 32, [](TunProgDataTag& r, uint32_t v) { r.vertical = v; }},
        {"progType", 8, [](TunProgDataTag& r, uint32_t v) { r.progType = static_cast<uint8_t>(v); }},
        {"videoPid", 16, [](TunProgDataTag& r, uint32_t v) { r.videoPid = static_cast<uint16_t>(v); }},
        {"audioPid", 16, [](TunProgDataTag& r, uint32_t v) { r.audioPid = static_cast<uint16_t>(v); }},
        {"pmtPid", 16, [](TunProgDataTag& r, uint32_t v) { r.pmtPid = static_cast<uint16_t>(v); }},
        {"txtPid", 16, [](TunProgDataTag& r, uint32_t v) { r.txtPid = static_cast<uint16_t>(v); }},
        {"subtitlePid", 16, [](TunProgDataTag& r, uint32_t v) { r.subtitlePid = static_cast<uint16_t>(v); }},
        {"dataPid", 16, [](TunProgDataTag& r, uint32_t v) { r.dataPid = static_cast<uint16_t>(v); }},
        {"ipFilter", 8, [](TunProgDataTag& r, uint32_t v) { r.ipFilter = static_cast<uint8_t>(v); }},
        {"reserved1", 32, [](TunProgDataTag& r, uint32_t v) { r.reserved1 = v; }},
        {"reserved2", 32, [](TunProgDataTag& r, uint32_t v) { r.reserved2 = v; }},
    };
    return fields;
}

TEST(ProgramRowCodec, OneSetBitInAnyFieldSurvivesRecordToRowAndBack) {
    ProgramList p;
    for (const Field& field : Fields()) {
        for (int bit = 0; bit < field.bits; ++bit) {
            TunProgDataTag record;
            field.set(record, 1u << bit);
            ProgramRowCodec::RecordToRow(record, p.list, 0);
            EXPECT_EQ(ProgramRowCodec::RowToRecord(p.list, 0), record) << field.name << " bit " << bit;
        }
        // And every bit at once, so no field leaks into a neighbour.
        TunProgDataTag record;
        field.set(record, field.bits == 32 ? UINT32_MAX : (1u << field.bits) - 1);
        ProgramRowCodec::RecordToRow(record, p.list, 0);
        EXPECT_EQ(ProgramRowCodec::RowToRecord(p.list, 0), record) << field.name << " all bits";
    }
}

// Every field has the column the list has always given it, so "V-PID" shows
// the video PID and "A-PID" the audio PID; two fields trading columns both
// ways would still pass the round trip above.
TEST(ProgramRowCodec, EachFieldKeepsItsOwnColumn) {
    const TunProgDataTag record = programtest::Program(2, "Zwei");
    const std::vector<std::string> cells = {"2",   "Zwei", "10000200", "7",  "102", "202", "302", "402",
                                            "502", "602",  "8",        "9",  "5",   "6",   "10",  "11",
                                            "12",  "0",    "1",        "6900002", "13", "14", "15",  "16"};
    ProgramList written;
    ProgramRowCodec::RecordToRow(record, written.list, 0);
    ProgramList typed;
    for (int c = 0; c < 24; ++c) {
        EXPECT_EQ(written.list.GetItemText(0, c), cells[static_cast<size_t>(c)]) << "column " << c;
        typed.list.SetItemText(0, c, cells[static_cast<size_t>(c)]);
    }
    EXPECT_EQ(ProgramRowCodec::RowToRecord(typed.list, 0), record);
}

TEST(ProgramRowCodec, NamesOfAnyScriptAreCellsVerbatim) {
    ProgramList p;
    for (const std::string name : {"", "Das Erste HD", "Первый канал", "ΕΡΤ1", "日本テレビ", "قناة الجزيرة",
                                   "📺 Kanal 7", "tab\there", "  blanks  "}) {
        TunProgDataTag record;
        record.name = name;
        ProgramRowCodec::RecordToRow(record, p.list, 0);
        EXPECT_EQ(p.list.GetItemText(0, kColumnName), name);
        EXPECT_EQ(ProgramRowCodec::RowToRecord(p.list, 0).name, name);
    }
}

TEST(ProgramRowCodec, CellsShowUnsignedDecimalsAndFrequencyInTenHertz) {
    struct Case {
        const char* what;
        std::function<void(TunProgDataTag&)> set;
        int column;
        const char* cell;
    };
    const Case cases[] = {
        {"kHz times 100", [](TunProgDataTag& r) { r.frequency = 123456; }, kColumnFrequency, "12345600"},
        {"largest frequency that fits", [](TunProgDataTag& r) { r.frequency = 42949672; }, kColumnFrequency,
         "4294967200"},
        {"frequency wraps in 32 bits", [](TunProgDataTag& r) { r.frequency = 42949673; }, kColumnFrequency, "4"},
        {"16-bit without sign", [](TunProgDataTag& r) { r.tsId = 0xFFFF; }, kColumnTsId, "65535"},
        {"8-bit without sign", [](TunProgDataTag& r) { r.fec = 0xFF; }, kColumnFec, "255"},
        {"index of a new program", [](TunProgDataTag& r) { r.index = UINT32_MAX; }, kColumnNr, "4294967295"},
        {"zero", [](TunProgDataTag&) {}, kColumnSymbolRate, "0"},
    };
    ProgramList p;
    for (const Case& c : cases) {
        TunProgDataTag record;
        c.set(record);
        ProgramRowCodec::RecordToRow(record, p.list, 0);
        EXPECT_EQ(p.list.GetItemText(0, c.column), c.cell) << c.what;
    }
}

TEST(ProgramRowCodec, CellsReadBackByTheTabledRules) {
    struct Case {
        const char* what;
        int column;
        const char* cell;
        std::function<uint32_t(const TunProgDataTag&)> field;
        uint32_t expected;
    };
    const auto frequency = [](const TunProgDataTag& r) { return r.frequency; };
    const auto tsId = [](const TunProgDataTag& r) { return uint32_t{r.tsId}; };
    const auto modulation = [](const TunProgDataTag& r) { return uint32_t{r.modulation}; };
    const auto standard = [](const TunProgDataTag& r) { return r.standard; };
    const Case cases[] = {
        {"frequency rounds down", kColumnFrequency, "12345699", frequency, 123456},
        {"frequency below 100 Hz steps", kColumnFrequency, "99", frequency, 0},
        {"16-bit keeps the low bits", kColumnTsId, "70000", tsId, 4464},
        {"8-bit keeps the low bits", kColumnModulation, "256", modulation, 0},
        {"8-bit 511", kColumnModulation, "511", modulation, 255},
        {"leading blanks skipped", kColumnStandard, "  \t42", standard, 42},
        {"reading stops at a non-digit", kColumnStandard, "17 MHz", standard, 17},
        {"no digit reads 0", kColumnStandard, "abc", standard, 0},
        {"no sign", kColumnStandard, "-5", standard, 0},
        {"empty reads 0", kColumnStandard, "", standard, 0},
        {"largest 32-bit", kColumnStandard, "4294967295", standard, UINT32_MAX},
        {"past 32 bits stays at the largest", kColumnStandard, "99999999999999999999", standard, UINT32_MAX},
    };
    ProgramList p;
    for (const Case& c : cases) {
        p.list.SetItemText(0, c.column, c.cell);
        EXPECT_EQ(c.field(ProgramRowCodec::RowToRecord(p.list, 0)), c.expected) << c.what;
    }
}

TEST(ProgramRowCodec, StateColumnIsNeitherWrittenNorRead) {
    ProgramList p;
    p.list.SetItemText(0, kColumnState, "updated");
    TunProgDataTag record;
    record.name = "x";
    ProgramRowCodec::RecordToRow(record, p.list, 0);
    EXPECT_EQ(p.list.GetItemText(0, kColumnState), "updated");
    EXPECT_EQ(ProgramRowCodec::RowToRecord(p.list, 0), record);
}

TEST(CaseFold, ComparesIgnoringCaseInAnyScript) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    const Case cases[] = {
        {"abc", "ABD", -1},
        {"ABD", "abc", 1},
        {"ARD", "ard", 0},
        {"ÄRGER", "ärger", 0},
        {"STRASSE", "straße", 0},
        {"ΚΑΛΗΜΈΡΑ", "καλημέρα", 0},
        {"ΣΊΣΥΦΟΣ", "σίσυφος", 0},  // final sigma folds like sigma
        {"ПЕРВЫЙ", "первый", 0},
        {"άλφα", "Βήτα", -1},
        {"日本", "日本", 0},
        {"Zoë", "zoe", 1},
        {"", "a", -1},
    };
    for (const Case& c : cases) {
        const int r = programs::CompareNoCase(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
    }
}

TEST(CaseFold, BytesThatAreNotUtf8AreKept) {
    for (const std::string& text : {std::string("\xff"), std::string("A\xe2\x82"), std::string("\xc0\xafX"),
                                   std::string("\xed\xa0\x80"), std::string("a\0B", 3)}) {
        std::string expected = text;
        for (char& c : expected) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        }
        EXPECT_EQ(programs::FoldCase(text), expected);
    }
}

}  // namespace
