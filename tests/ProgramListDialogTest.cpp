#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "board/BoardDatabase.h"
#include "card/ProgramFields.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "tests/ProgramListWindowFixture.h"
#include "tests/ProgramTestSupport.h"

namespace {

using programtest::Program;
using Strings = std::vector<std::string>;

using programtest::ProgramListWindow;

TEST_F(ProgramListWindow, StartUpSetsUpColumnsIconAboutTextAndOpensTheBoard) {
    RecordCalls();
    ProgramListDialog& w = OpenWindow();
    fw::ListView& list = w.ProgramList();
    ASSERT_EQ(list.GetColumnCount(), kProgramListColumnCount);
    EXPECT_TRUE(list.FullRowSelect());
    // The titles the list has always shown, spelling included; every column
    // centred but "Programm". The list is 711 px wide: 707 inside its edges,
    // less a 17 px scroll bar, gives 690 px to share out.
    const struct {
        const char* title;
        int width;
    } columns[kProgramListColumnCount] = {
        {"Nr", 27},         {"Programm", 138},   {"Frequenz", 69},   {"Prog-ID", 48},    {"V-PID", 48},
        {"A-PID", 48},      {"PMT-PID", 48},     {"TXT-PID", 48},    {"Subtitle", 48},   {"Data-PID", 55},
        {"TS-ID", 48},      {"NW-ID", 48},       {"Standard", 55},   {"Extra-Info", 58}, {"Servcie-ID", 62},
        {"Modulation", 65}, {"FEC", 48},         {"22 kHz", 48},     {"Vertikal", 48},   {"Symbolrate", 69},
        {"Prog-Type", 58},  {"IP-Filter", 48},   {"Reserved 1", 69}, {"Reserved 2", 69}, {"State", 48},
        {"LCN", 34},        {"CA", 62},
    };
    for (int c = 0; c < kProgramListColumnCount; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(list.Column(c).title, columns[c].title);
        EXPECT_EQ(list.Column(c).align, c == 1 ? fw::Align::Left : fw::Align::Center);
        EXPECT_EQ(list.GetColumnWidth(c), columns[c].width);
    }

    EXPECT_EQ(w.IconId(), res::IDI_APP);
    EXPECT_EQ(w.GetDlgItemText(res::IDC_ABOUT), ProgramListDialog::AboutText());
    EXPECT_NE(std::string(ProgramListDialog::AboutText()), "");
    EXPECT_TRUE(board.IsOpen());
    EXPECT_EQ(Calls(), Strings{"DVB_OpenBoard"});
    EXPECT_EQ(list.GetItemCount(), 0);  // nothing is loaded at start-up
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(ProgramListWindow, FailedOpenIsShownBeforeTheSettingsAndLeavesTheListUsable) {
    board.Faults().openBoard = DVB_ERR_BOARD;
    Settings().WriteInt("Settings", "UpdateNames", 1);
    bool checkedWhenShown = true;
    int columnsWhenShown = 0;
    ProgramListDialog* window = nullptr;
    host.OnMessage([&](const std::string&) {
        checkedWhenShown = window->IsDlgButtonChecked(res::IDC_UPDATE_NAMES);
        columnsWhenShown = window->ProgramList().GetColumnCount();
    });
    ProgramListDialog w(host);
    window = &w;
    host.Open(w);
    EXPECT_EQ(host.Messages(), Strings{"Error on DVB_OpenBoard: 7"});
    EXPECT_FALSE(checkedWhenShown);
    EXPECT_EQ(columnsWhenShown, kProgramListColumnCount);
    EXPECT_TRUE(w.IsDlgButtonChecked(res::IDC_UPDATE_NAMES));

    SeedBoard(Five());
    w.OnLoad();
    EXPECT_EQ(w.ProgramList().GetItemCount(), 5);
    RecordCalls();
    host.OnMessage({});
    host.Close(w);
    EXPECT_EQ(Calls(), Strings{"DVB_CloseBoard"});  // closed even though it never opened
}

TEST_F(ProgramListWindow, CloseWritesTheSettingsThenClosesTheBoard) {
    board.Faults().closeBoard = DVB_ERR_BOARD;
    std::string settingsWhenShown;
    host.OnMessage([&](const std::string&) { settingsWhenShown = programtest::ReadFile(SettingsFile()); });
    ProgramListDialog w(host);
    host.Open(w);
    host.Close(w);
    EXPECT_EQ(host.Messages(), Strings{"Error on DVB_CloseBoard: 7"});
    EXPECT_NE(settingsWhenShown.find("Col_24="), std::string::npos);
    EXPECT_NE(settingsWhenShown.find("UpdateNames=1"), std::string::npos);
    EXPECT_TRUE(w.IsDestroyed());
}

TEST_F(ProgramListWindow, LoadShowsEveryProgramInDatabaseOrder) {
    SeedBoard(Five());
    ProgramListDialog& w = OpenWindow();
    w.OnCommand(res::IDC_LOAD);
    EXPECT_EQ(Column(w, kColumnNr), (Strings{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(Column(w, kColumnName), (Strings{"Eins", "Zwei", "Drei", "Vier", "Fünf"}));
    EXPECT_EQ(w.RowToRecord(2), Five()[2]);
    // A second load replaces the rows.
    w.OnCommand(res::IDC_LOAD);
    EXPECT_EQ(w.ProgramList().GetItemCount(), 5);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(ProgramListWindow, LoadFailuresAreShownAndSkipWhatTheyMust) {
    struct Case {
        const char* what;
        std::function<void(cardlib::BoardFaults&)> fault;
        Strings messages;
        Strings names;
    };
    const Case cases[] = {
        {"empty database", [](cardlib::BoardFaults&) {}, {}, {}},
        {"position 3 of 5 fails",
         [](cardlib::BoardFaults& f) {
             f.getProgData = DVB_ERR_DB_IO;
             f.getProgDataPosition = 3;
         },
         {"Error on DVB_GetDBProgData(3): 2"},
         {"Eins", "Zwei", "Vier", "Fünf"}},
        {"load fails", [](cardlib::BoardFaults& f) { f.loadProgData = DVB_ERR_DB_CORRUPT; },
         {"Error on DVB_LoadDBProgData: 3"}, {}},
        {"count fails", [](cardlib::BoardFaults& f) { f.getProgCount = DVB_ERR_DB_IO; },
         {"Error on DVB_GetDBProgCount: 2"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        cardlib::Board caseBoard(BoardFile().string());
        std::filesystem::remove(BoardFile());
        if (!c.names.empty() || c.messages.size() == 1) SeedBoard(Five());
        ProgramListDialog w(host);
        host.Open(w);
        AddRows(w, {Program(9, "stale")});
        host.ClearMessages();
        c.fault(caseBoard.Faults());
        w.OnLoad();
        EXPECT_EQ(host.Messages(), c.messages);
        EXPECT_EQ(Column(w, kColumnName), c.names);
        host.Close(w);
    }
}

TEST_F(ProgramListWindow, SaveStoresTheListInItsOrderWhateverNrShows) {
    SeedBoard(Five());
    ProgramListDialog& w = OpenWindow();
    AddRows(w, {Program(7, "Sieben"), Program(7, "noch Sieben"), Program(1, "Eins")});
    w.ProgramList().SetItemText(0, kColumnState, "added");
    RecordCalls();
    // The stored list was never loaded here: the window asks before replacing it.
    host.ScriptAnswer(fw::Answer::Yes);
    w.OnCommand(res::IDC_SAVE);
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_EQ(host.Questions().size(), 1u);
    EXPECT_EQ(Calls(), (Strings{"DVB_LoadDBProgData", "DVB_GetDBRevision", "DVB_DelAllDBProgData",
                                "DVB_SetDBProgData", "DVB_SetDBProgData", "DVB_SetDBProgData",
                                "DVB_SaveDBProgData", "DVB_GetDBRevision"}));
    const auto stored = StoredPrograms();
    EXPECT_EQ(Names(stored), (Strings{"Sieben", "noch Sieben", "Eins"}));
    for (size_t i = 0; i < stored.size(); ++i) EXPECT_EQ(stored[i].index, i + 1);
    TunProgDataTag first = Program(7, "Sieben");
    first.index = 1;
    EXPECT_EQ(stored[0], first);
    // The list itself is not changed by a save.
    EXPECT_EQ(Column(w, kColumnNr), (Strings{"7", "7", "1"}));
}

TEST_F(ProgramListWindow, SaveFailuresAreShownAndTheRestGoesOnOrStops) {
    struct Case {
        const char* what;
        std::function<void(cardlib::BoardFaults&)> fault;
        Strings messages;
        Strings calls;
        Strings stored;
    };
    const Strings before = {"Eins", "Zwei", "Drei", "Vier", "Fünf"};
    const Case cases[] = {
        {"load fails: nothing deleted or written",
         [](cardlib::BoardFaults& f) { f.loadProgData = DVB_ERR_DB_CORRUPT; },
         {"Error on DVB_LoadDBProgData: 3"},
         {"DVB_LoadDBProgData"},
         before},
        {"delete fails: nothing written, no mix of old and new",
         [](cardlib::BoardFaults& f) { f.delAllProgData = DVB_ERR_DB_IO; },
         {"Error on DVB_DelAllDBProgData: 2"},
         {"DVB_LoadDBProgData", "DVB_GetDBRevision", "DVB_DelAllDBProgData"},
         before},
        {"one row fails: the next is written",
         [](cardlib::BoardFaults& f) {
             f.setProgData = DVB_ERR_DB_IO;
             f.setProgDataCall = 2;
         },
         {"Error on DVB_SetDBProgData: 2"},
         {"DVB_LoadDBProgData", "DVB_GetDBRevision", "DVB_DelAllDBProgData", "DVB_SetDBProgData",
          "DVB_SetDBProgData", "DVB_SetDBProgData", "DVB_SaveDBProgData", "DVB_GetDBRevision"},
         {"A", "C"}},
        {"every row fails: one message each",
         [](cardlib::BoardFaults& f) { f.setProgData = DVB_ERR_DB_IO; },
         {"Error on DVB_SetDBProgData: 2", "Error on DVB_SetDBProgData: 2", "Error on DVB_SetDBProgData: 2"},
         {"DVB_LoadDBProgData", "DVB_GetDBRevision", "DVB_DelAllDBProgData", "DVB_SetDBProgData",
          "DVB_SetDBProgData", "DVB_SetDBProgData", "DVB_SaveDBProgData", "DVB_GetDBRevision"},
         {}},
        {"the final save fails: the file keeps the old list",
         [](cardlib::BoardFaults& f) { f.saveProgData = DVB_ERR_DB_IO; },
         {"Error on DVB_SaveDBProgData: 2"},
         {"DVB_LoadDBProgData", "DVB_GetDBRevision", "DVB_DelAllDBProgData", "DVB_SetDBProgData",
          "DVB_SetDBProgData", "DVB_SetDBProgData", "DVB_SaveDBProgData"},
         before},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        cardlib::Board caseBoard(BoardFile().string());
        SeedBoard(Five());
        ProgramListDialog w(host);
        host.Open(w);
        AddRows(w, {Program(1, "A"), Program(2, "B"), Program(3, "C")});
        host.ClearMessages();
        RecordCalls();
        c.fault(caseBoard.Faults());
        // Past the load, the window asks before it replaces the five programs it never loaded.
        if (c.calls.size() > 1) host.ScriptAnswer(fw::Answer::Yes);
        w.OnSave();
        EXPECT_EQ(host.Messages(), c.messages);
        EXPECT_EQ(Calls(), c.calls);
        EXPECT_EQ(Names(StoredPrograms()), c.stored);
        host.Close(w);
    }
}

TEST_F(ProgramListWindow, DeleteRemovesTheSelectedRowAndSelectsTheOneBelow) {
    struct Case {
        const char* what;
        int rows;
        int selected;  // -1: none
        Strings names;
        int selectedAfter;
        int mark = -2;  // -2: the selected row
    };
    const Case cases[] = {
        {"middle row", 3, 1, {"Eins", "Drei"}, 1},
        // The user selected "Zwei" after the mark was last set on "Eins".
        {"selected row, not the selection mark", 3, 1, {"Eins", "Drei"}, 1, 0},
        {"first row", 3, 0, {"Zwei", "Drei"}, 0},
        {"last row", 3, 2, {"Eins", "Zwei"}, -1},
        {"only row", 1, 0, {}, -1},
        {"nothing selected", 3, -1, {"Eins", "Zwei", "Drei"}, -1},
        {"empty list", 0, -1, {}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramListDialog w(host);
        host.Open(w);
        const auto five = Five();
        AddRows(w, std::vector<TunProgDataTag>(five.begin(), five.begin() + c.rows));
        if (c.selected >= 0) {
            w.ProgramList().SetItemState(c.selected, fw::kItemSelected | fw::kItemFocused,
                                         fw::kItemSelected | fw::kItemFocused);
            w.ProgramList().SetSelectionMark(c.mark == -2 ? c.selected : c.mark);
        }
        RecordCalls();
        w.OnCommand(res::IDC_DELETE);
        EXPECT_EQ(Column(w, kColumnName), c.names);
        EXPECT_EQ(Selected(w), c.selectedAfter);
        EXPECT_EQ(Focused(w), c.selectedAfter);
        EXPECT_EQ(w.ProgramList().GetSelectionMark(), c.selectedAfter);
        EXPECT_TRUE(Calls().empty());  // the database is not touched
        EXPECT_TRUE(host.Messages().empty());
        host.Close(w);
    }
}

TEST_F(ProgramListWindow, MoveUpAndDownExchangeProgramsButNotTheirState) {
    struct Case {
        const char* what;
        int button;
        int mark;
        Strings names;
        Strings states;
        int markAfter;
    };
    const Strings states = {"added", "", "actual"};
    const Case cases[] = {
        {"up from the middle", res::IDC_MOVE_UP, 1, {"Zwei", "Eins", "Drei"}, states, 0},
        {"down from the middle", res::IDC_MOVE_DOWN, 1, {"Eins", "Drei", "Zwei"}, states, 2},
        {"up at the first row", res::IDC_MOVE_UP, 0, {"Eins", "Zwei", "Drei"}, states, 0},
        {"down at the last row", res::IDC_MOVE_DOWN, 2, {"Eins", "Zwei", "Drei"}, states, 2},
        {"no selection mark", res::IDC_MOVE_DOWN, -1, {"Eins", "Zwei", "Drei"}, states, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramListDialog w(host);
        host.Open(w);
        const auto five = Five();
        AddRows(w, {five[0], five[1], five[2]});
        for (int row = 0; row < 3; ++row) w.ProgramList().SetItemText(row, kColumnState, states[row]);
        w.ProgramList().SetSelectionMark(c.mark);
        w.OnCommand(c.button);
        EXPECT_EQ(Column(w, kColumnName), c.names);
        EXPECT_EQ(Column(w, kColumnState), c.states);
        EXPECT_EQ(w.ProgramList().GetSelectionMark(), c.markAfter);
        if (c.markAfter != c.mark) {
            EXPECT_EQ(Selected(w), c.markAfter);
            EXPECT_EQ(Focused(w), c.markAfter);
            EXPECT_EQ(w.ProgramList().LastEnsuredVisible(), c.markAfter);
            // Every field went with the program.
            EXPECT_EQ(w.RowToRecord(c.markAfter), five[static_cast<size_t>(c.mark)]);
        }
        host.Close(w);
    }
}

TEST_F(ProgramListWindow, SearchBlanksTheStateOfEveryRow) {
    ProgramListDialog& w = OpenWindow();
    const auto five = Five();
    AddRows(w, {five[0], five[1], five[2]});
    const Strings states = {"added", "updated", "actual"};
    for (int row = 0; row < 3; ++row) w.ProgramList().SetItemText(row, kColumnState, states[row]);
    Strings statesWhileScanning;
    host.ScriptModal(res::IDD_SCAN_CHANNELS, [&](fw::Dialog& scan) {
        statesWhileScanning = Column(w, kColumnState);
        scan.EndDialog(fw::IDCANCEL);
    });
    w.OnCommand(res::IDC_SEARCH);
    EXPECT_EQ(statesWhileScanning, Strings(3, ""));
    EXPECT_EQ(Column(w, kColumnState), Strings(3, ""));
    EXPECT_EQ(Column(w, kColumnName), (Strings{"Eins", "Zwei", "Drei"}));
}

TEST_F(ProgramListWindow, HeaderClickSortsAscendingByNumberOrByCaseFoldedText) {
    struct Case {
        const char* what;
        int column;
        Strings cells;
        Strings sorted;
    };
    const Case cases[] = {
        {"frequency by number", kColumnFrequency, {"10000", "9900", "0"}, {"0", "9900", "10000"}},
        {"a new program's Nr sorts last", kColumnNr, {"4294967295", "2", "10"}, {"2", "10", "4294967295"}},
        {"names ignore case", kColumnName, {"ABD", "abc", "Abb"}, {"Abb", "abc", "ABD"}},
        {"names ignore case outside ASCII", kColumnName, {"Öl", "öa", "OZ", "Βήτα", "άλφα"},
         {"OZ", "öa", "Öl", "άλφα", "Βήτα"}},
        {"equal names keep their order", kColumnName, {"ARD", "b", "ard", "Ard"}, {"ARD", "ard", "Ard", "b"}},
        {"state by text", kColumnState, {"updated", "", "Added", "actual"}, {"", "actual", "Added", "updated"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramListDialog w(host);
        host.Open(w);
        fw::ListView& list = w.ProgramList();
        for (size_t i = 0; i < c.cells.size(); ++i) {
            const int row = list.InsertItem(list.GetItemCount(), "");
            w.RecordToRow(Program(static_cast<uint32_t>(i), std::to_string(i)), row);
            list.SetItemText(row, c.column, c.cells[i]);
        }
        w.OnColumnClick(res::IDC_PROGRAM_LIST, c.column);
        EXPECT_EQ(Column(w, c.column), c.sorted);
        // A second click sorts ascending again.
        w.OnColumnClick(res::IDC_PROGRAM_LIST, c.column);
        EXPECT_EQ(Column(w, c.column), c.sorted);
        host.Close(w);
    }
}

TEST_F(ProgramListWindow, RowsMoveWholeWhenSortedAndASaveStoresTheSortedOrder) {
    ProgramListDialog& w = OpenWindow();
    AddRows(w, {Program(1, "Zwei"), Program(2, "eins"), Program(3, "Drei")});
    w.OnColumnClick(res::IDC_PROGRAM_LIST, kColumnName);
    EXPECT_EQ(Column(w, kColumnName), (Strings{"Drei", "eins", "Zwei"}));
    EXPECT_EQ(Column(w, kColumnNr), (Strings{"3", "2", "1"}));
    EXPECT_EQ(w.RowToRecord(0), Program(3, "Drei"));
    w.OnSave();
    EXPECT_EQ(Names(StoredPrograms()), (Strings{"Drei", "eins", "Zwei"}));
}

TEST_F(ProgramListWindow, ResizeMovesTheControlsByTheirFormulas) {
    ProgramListDialog& w = OpenWindow();
    const fw::Rect window = w.GetWindowRect();
    // Client 832 x 604: the frame adds 4 px at the sides and bottom and 23 px at the top.
    w.UserMoveWindow(fw::Rect{window.left, window.top, window.left + 840, window.top + 631});
    ASSERT_EQ(w.GetClientRect(), (fw::Rect{0, 0, 832, 604}));
    struct Case {
        int id;
        fw::Rect rect;
    };
    // L = T = 11; buttons 75 x 23, edit 1009 218 x 20, check box 137 x 23.
    const Case cases[] = {
        {res::IDC_PROGRAM_LIST, {11, 11, 821, 527}}, {res::IDC_ADD, {11, 542, 86, 565}},
        {res::IDC_DELETE, {11, 570, 86, 593}},       {res::IDC_MOVE_UP, {91, 542, 166, 565}},
        {res::IDC_MOVE_DOWN, {91, 570, 166, 593}},   {res::IDC_ABOUT, {307, 548, 525, 568}},
        {res::IDC_UPDATE_NAMES, {347, 570, 484, 593}}, {res::IDC_SAVE, {666, 542, 741, 565}},
        {res::IDC_LOAD, {666, 570, 741, 593}},       {res::IDC_SEARCH, {746, 542, 821, 565}},
        {fw::IDCANCEL, {746, 570, 821, 593}},
    };
    for (const Case& c : cases) EXPECT_EQ(w.GetControlRect(c.id), c.rect) << c.id;
    // After the first re-layout "Save" stands above "Load".
    EXPECT_LT(w.GetControlRect(res::IDC_SAVE).top, w.GetControlRect(res::IDC_LOAD).top);
    EXPECT_GE(w.InvalidateCount(), 1);
}

TEST_F(ProgramListWindow, SizeChangesBeforeStartUpMoveNothingButRepaint) {
    ProgramListDialog w(host);
    w.Create(host.DefaultWindowRect(w.TemplateWindowSize()));
    std::vector<fw::Rect> before;
    for (const auto& c : w.Controls()) before.push_back(c.rect);
    w.OnSize(900, 700);
    std::vector<fw::Rect> after;
    for (const auto& c : w.Controls()) after.push_back(c.rect);
    EXPECT_EQ(after, before);
    EXPECT_EQ(w.InvalidateCount(), 1);
}

}  // namespace
