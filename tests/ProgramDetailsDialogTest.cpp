#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "programs/ProgramDetailsDialog.h"
#include "card/ProgramFields.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "tests/ProgramTestSupport.h"

namespace {

using programtest::Program;
using Strings = std::vector<std::string>;

// Every numeric edit with the largest value it takes.
struct NumericEdit {
    int id;
    uint32_t max;
};
// The largest each field takes: what the list holds without wrapping, as the
// importers take it (PIDs 13 bits, a frequency whose 10 Hz cell fits).
const NumericEdit kEdits[] = {
    {res::IDC_FREQUENCY, 42949672},  {res::IDC_STANDARD, UINT32_MAX}, {res::IDC_EXTRA_INFO, UINT32_MAX},
    {res::IDC_PROG_NR, 65535},         {res::IDC_TS_ID, 65535},         {res::IDC_NW_ID, 65535},
    {res::IDC_SERVICE_ID, 65535},      {res::IDC_MODULATION, 255},      {res::IDC_FEC, 255},
    {res::IDC_SYMBOL_RATE, UINT32_MAX}, {res::IDC_PROG_TYPE, 255},      {res::IDC_VIDEO_PID, 8191},
    {res::IDC_AUDIO_PID, 8191},        {res::IDC_PMT_PID, 8191},        {res::IDC_TXT_PID, 8191},
    {res::IDC_SUBTITLE_PID, 8191},     {res::IDC_DATA_PID, 8191},      {res::IDC_IP_FILTER, 255},
    {res::IDC_RESERVED1, UINT32_MAX},  {res::IDC_RESERVED2, UINT32_MAX},
};

class ProgramDetails : public programtest::ProgramFixture {};

TEST_F(ProgramDetails, LoadedDialogShowsTheRecordAndOkOnItChangesNothing) {
    TunProgDataTag record = Program(42, "Первый канал");
    record.tsId = 0xFFFF;
    record.tone22kHz = 1;
    record.vertical = 0;
    const TunProgDataTag original = record;
    ProgramDetailsDialog d(host, record, true);
    host.Open(d);
    EXPECT_EQ(d.GetDlgItemText(res::IDC_NAME), "Первый канал");
    EXPECT_EQ(d.GetDlgItemText(res::IDC_TS_ID), "65535");
    EXPECT_EQ(d.GetDlgItemText(res::IDC_FREQUENCY), "100042");
    EXPECT_TRUE(d.IsDlgButtonChecked(res::IDC_TONE22KHZ));
    EXPECT_FALSE(d.IsDlgButtonChecked(res::IDC_VERTICAL));
    EXPECT_EQ(d.GetFocusId(), fw::IDOK);  // the first tab stop
    d.ClickButton(fw::IDOK);
    EXPECT_TRUE(d.IsEnded());
    EXPECT_EQ(d.Result(), fw::IDOK);
    EXPECT_EQ(record, original);
}

TEST_F(ProgramDetails, NewProgramConfirmedUnchangedIsAllZeroWithIndexMinusOne) {
    TunProgDataTag record = Program(5, "must go");
    ProgramDetailsDialog d(host, record, false);
    host.Open(d);
    EXPECT_EQ(d.GetDlgItemText(res::IDC_NAME), "");
    EXPECT_EQ(d.GetDlgItemText(res::IDC_SYMBOL_RATE), "0");
    d.ClickButton(fw::IDOK);
    TunProgDataTag expected;
    expected.index = UINT32_MAX;
    EXPECT_EQ(record, expected);
}

TEST_F(ProgramDetails, OkRefusesBadNumbersOnceAndFocusesTheControl) {
    struct Case {
        int id;
        std::string text;
        bool accepted;
    };
    std::vector<Case> cases = {
        {res::IDC_MODULATION, "256", false}, {res::IDC_MODULATION, "255", true},
        {res::IDC_FREQUENCY, "", false},     {res::IDC_FREQUENCY, "   ", false},
        {res::IDC_FREQUENCY, "abc", false},  {res::IDC_FREQUENCY, "12a", false},
        {res::IDC_FREQUENCY, "-1", false},   {res::IDC_FREQUENCY, "+1", false},
        {res::IDC_FREQUENCY, " 42 ", true},  {res::IDC_TS_ID, "70000", false},
        {res::IDC_TS_ID, "00065535", true},  {res::IDC_STANDARD, "99999999999999999999", false},
    };
    // Every field refuses one past its largest value and takes the largest.
    for (const NumericEdit& e : kEdits) {
        cases.push_back({e.id, std::to_string(uint64_t{e.max} + 1), false});
        cases.push_back({e.id, std::to_string(e.max), true});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE("control " + std::to_string(c.id) + " '" + c.text + "'");
        TunProgDataTag record = Program(3, "Drei");
        const TunProgDataTag original = record;
        ProgramDetailsDialog d(host, record, true);
        host.Open(d);
        host.ClearMessages();
        d.SetDlgItemText(c.id, c.text);
        d.ClickButton(fw::IDOK);
        EXPECT_EQ(d.IsEnded(), c.accepted);
        if (c.accepted) {
            EXPECT_TRUE(host.Messages().empty());
        } else {
            ASSERT_EQ(host.Messages().size(), 1u);
            EXPECT_NE(host.Messages()[0].find("Please enter"), std::string::npos);
            EXPECT_EQ(d.GetFocusId(), c.id);
            EXPECT_EQ(record, original);
        }
        host.Close(d);
    }
}

TEST_F(ProgramDetails, OnlyTheFirstBadControlIsReported) {
    TunProgDataTag record;
    ProgramDetailsDialog d(host, record, false);
    host.Open(d);
    d.SetDlgItemText(res::IDC_NW_ID, "x");
    d.SetDlgItemText(res::IDC_DATA_PID, "y");
    d.ClickButton(fw::IDOK);
    EXPECT_EQ(host.Messages(), Strings{"Please enter an integer between 0 and 65535.\nNW-ID: \"x\" is refused."});
    EXPECT_EQ(d.GetFocusId(), res::IDC_NW_ID);
    host.ClearMessages();
    d.SetDlgItemText(res::IDC_NW_ID, "1");
    d.SetDlgItemText(res::IDC_AUDIO_PID, "9000");
    d.ClickButton(fw::IDOK);
    EXPECT_EQ(host.Messages(), Strings{"Please enter an integer between 0 and 8191.\nAudio-PID: \"9000\" is refused."});
    d.SetDlgItemText(res::IDC_AUDIO_PID, "0");
    d.SetDlgItemText(res::IDC_NW_ID, "1");
    d.ClickButton(fw::IDOK);
    EXPECT_EQ(d.GetFocusId(), res::IDC_DATA_PID);
    EXPECT_FALSE(d.IsEnded());
}

TEST_F(ProgramDetails, CheckBoxesStoreOneOrZeroAndEditsStoreTheirNumbers) {
    TunProgDataTag record;
    ProgramDetailsDialog d(host, record, false);
    host.Open(d);
    d.CheckDlgButton(res::IDC_TONE22KHZ, true);
    d.SetDlgItemText(res::IDC_NAME, "ZDF");
    d.SetDlgItemText(res::IDC_FREQUENCY, "346000");
    d.SetDlgItemText(res::IDC_PMT_PID, "8191");
    d.SetDlgItemText(res::IDC_FEC, "255");
    d.ClickButton(fw::IDOK);
    EXPECT_EQ(record.tone22kHz, 1u);
    EXPECT_EQ(record.vertical, 0u);
    EXPECT_EQ(record.name, "ZDF");
    EXPECT_EQ(record.frequency, 346000u);
    EXPECT_EQ(record.pmtPid, 8191);
    EXPECT_EQ(record.fec, 0xFF);
}

TEST_F(ProgramDetails, ResetBringsBackWhatTheDialogOpenedWith) {
    for (const bool loaded : {true, false}) {
        SCOPED_TRACE(loaded ? "loaded" : "new");
        TunProgDataTag record = Program(8, "Acht");
        record.vertical = 1;
        ProgramDetailsDialog d(host, record, loaded);
        host.Open(d);
        std::vector<std::string> texts;
        for (const NumericEdit& e : kEdits) texts.push_back(d.GetDlgItemText(e.id));
        d.SetDlgItemText(res::IDC_NAME, "changed");
        for (const NumericEdit& e : kEdits) d.SetDlgItemText(e.id, "junk");
        d.CheckDlgButton(res::IDC_VERTICAL, !loaded);
        d.OnCommand(res::IDC_RESET);
        EXPECT_FALSE(d.IsEnded());
        EXPECT_EQ(d.GetDlgItemText(res::IDC_NAME), loaded ? "Acht" : "");
        EXPECT_EQ(d.IsDlgButtonChecked(res::IDC_VERTICAL), loaded);
        for (size_t i = 0; i < std::size(kEdits); ++i) EXPECT_EQ(d.GetDlgItemText(kEdits[i].id), texts[i]);
        if (!loaded) {
            EXPECT_EQ(d.GetDlgItemText(res::IDC_VIDEO_PID), "0");
        }
        host.Close(d);
    }
}

TEST_F(ProgramDetails, CancelLeavesTheRecordAsItWas) {
    TunProgDataTag record = Program(4, "Vier");
    const TunProgDataTag original = record;
    host.ScriptModal(res::IDD_PROGRAM_DETAILS, [](fw::Dialog& d) {
        d.SetDlgItemText(res::IDC_NAME, "changed");
        d.SetDlgItemText(res::IDC_TS_ID, "1");
        d.ClickButton(fw::IDCANCEL);
    });
    ProgramDetailsDialog d(host, record, true);
    EXPECT_EQ(d.DoModal(), fw::IDCANCEL);
    EXPECT_EQ(record, original);
}

class ProgramListAddEdit : public programtest::ProgramFixture {
public:
    void SetUp() override {
        ProgramFixture::SetUp();
        host.Open(window);
        AddRows(window, {Program(1, "Eins"), Program(2, "Zwei")});
    }
    void TearDown() override {
        host.Close(window);
        ProgramFixture::TearDown();
    }
    ProgramListDialog window{host};
};

TEST_F(ProgramListAddEdit, AddConfirmedUnchangedAppendsANewProgramRow) {
    window.ProgramList().SetSelectionMark(0);
    bool rowSelectedWhileOpen = false;
    host.ScriptModal(res::IDD_PROGRAM_DETAILS, [&](fw::Dialog& d) {
        rowSelectedWhileOpen = window.ProgramList().GetItemState(2, fw::kItemSelected) != 0;
        d.ClickButton(fw::IDOK);
    });
    window.OnCommand(res::IDC_ADD);
    EXPECT_TRUE(rowSelectedWhileOpen);
    ASSERT_EQ(window.ProgramList().GetItemCount(), 3);
    EXPECT_EQ(window.ProgramList().LastEnsuredVisible(), 2);
    for (int c = 0; c < kProgramRecordColumnCount; ++c) {
        const char* expected = c == kColumnNr ? "4294967295" : c == kColumnName ? "" : "0";
        EXPECT_EQ(window.ProgramList().GetItemText(2, c), expected) << c;
    }
    // Move Up acts on the new row, the one shown selected.
    EXPECT_EQ(window.ProgramList().GetSelectionMark(), 2);
    window.OnCommand(res::IDC_MOVE_UP);
    EXPECT_EQ(Column(window, kColumnName), (Strings{"Eins", "", "Zwei"}));
    // New programs sort after every stored one by "Nr".
    window.OnColumnClick(res::IDC_PROGRAM_LIST, kColumnNr);
    EXPECT_EQ(Column(window, kColumnNr), (Strings{"1", "2", "4294967295"}));
}

TEST_F(ProgramListAddEdit, AddCancelledLeavesTheListAsBefore) {
    window.ProgramList().SetItemState(1, fw::kItemSelected | fw::kItemFocused, fw::kItemSelected | fw::kItemFocused);
    window.ProgramList().SetSelectionMark(1);
    std::vector<Strings> before;
    for (int c = 0; c < kProgramListColumnCount; ++c) before.push_back(Column(window, c));
    host.ScriptModal(res::IDD_PROGRAM_DETAILS, [](fw::Dialog& d) {
        d.SetDlgItemText(res::IDC_NAME, "typed");
        d.ClickButton(fw::IDCANCEL);
    });
    window.OnCommand(res::IDC_ADD);
    std::vector<Strings> after;
    for (int c = 0; c < kProgramListColumnCount; ++c) after.push_back(Column(window, c));
    EXPECT_EQ(after, before);
    EXPECT_EQ(window.ProgramList().GetSelectionMark(), 1);
    EXPECT_EQ(window.ProgramList().GetNextItem(-1, fw::kItemSelected), 1);
}

TEST_F(ProgramListAddEdit, AddWithValuesWritesThemIntoTheNewRow) {
    host.ScriptModal(res::IDD_PROGRAM_DETAILS, [](fw::Dialog& d) {
        d.SetDlgItemText(res::IDC_NAME, "日本テレビ");
        d.SetDlgItemText(res::IDC_FREQUENCY, "346000");
        d.CheckDlgButton(res::IDC_VERTICAL, true);
        d.ClickButton(fw::IDOK);
    });
    window.OnCommand(res::IDC_ADD);
    EXPECT_EQ(window.ProgramList().GetItemText(2, kColumnName), "日本テレビ");
    EXPECT_EQ(window.ProgramList().GetItemText(2, kColumnFrequency), "34600000");
    EXPECT_EQ(window.ProgramList().GetItemText(2, kColumnVertical), "1");
}

TEST_F(ProgramListAddEdit, DoubleClickEditsTheRowAtTheSelectionMark) {
    window.ProgramList().SetItemText(1, kColumnState, "actual");
    window.ProgramList().SetSelectionMark(1);
    std::string shownName;
    host.ScriptModal(res::IDD_PROGRAM_DETAILS, [&](fw::Dialog& d) {
        shownName = d.GetDlgItemText(res::IDC_NAME);
        d.SetDlgItemText(res::IDC_NAME, "Zwei HD");
        d.SetDlgItemText(res::IDC_SERVICE_ID, "28006");
        d.ClickButton(fw::IDOK);
    });
    window.OnListDoubleClick(res::IDC_PROGRAM_LIST);
    EXPECT_EQ(shownName, "Zwei");
    TunProgDataTag expected = Program(2, "Zwei HD");
    expected.serviceId = 28006;
    EXPECT_EQ(window.RowToRecord(1), expected);
    EXPECT_EQ(window.ProgramList().GetItemText(1, kColumnState), "actual");
    EXPECT_EQ(window.RowToRecord(0), Program(1, "Eins"));
}

TEST_F(ProgramListAddEdit, DoubleClickWithoutSelectionOrWithCancelChangesNothing) {
    bool opened = false;
    host.ScriptModal(res::IDD_PROGRAM_DETAILS, [&](fw::Dialog& d) {
        opened = true;
        d.SetDlgItemText(res::IDC_NAME, "nope");
        d.ClickButton(fw::IDCANCEL);
    });
    window.OnListDoubleClick(res::IDC_PROGRAM_LIST);
    EXPECT_FALSE(opened);
    window.ProgramList().SetSelectionMark(0);
    window.OnListDoubleClick(res::IDC_PROGRAM_LIST);
    EXPECT_TRUE(opened);
    EXPECT_EQ(window.RowToRecord(0), Program(1, "Eins"));
}

}  // namespace
