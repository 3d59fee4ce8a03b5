#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "card/ProgramFields.h"
#include "framework/ListView.h"
#include "programs/ListHistory.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "tests/ProgramTestSupport.h"

namespace {

using programtest::Program;
using Strings = std::vector<std::string>;

class ProgramListEditing : public programtest::ProgramFixture {
public:
    void SetUp() override {
        ProgramFixture::SetUp();
        host.Open(w);
        AddRows(w, Programs());
        for (int row = 0; row < w.ProgramList().GetItemCount(); ++row)
            w.ProgramList().SetItemText(row, kColumnState, "s" + std::to_string(row));
    }
    void TearDown() override {
        host.Close(w);
        ProgramFixture::TearDown();
    }
    static std::vector<TunProgDataTag> Programs() {
        return {Program(1, "Eins"), Program(2, "Zwei"), Program(3, "Drei"), Program(4, "Über Land"),
                Program(5, "über See"), Program(6, "ΕΡΤ World"), Program(7, "Straße")};
    }
    static fw::KeyPress Named(fw::Key key, bool ctrl = false, bool shift = false) {
        fw::KeyPress press;
        press.key = key;
        press.ctrl = ctrl;
        press.shift = shift;
        return press;
    }
    static fw::KeyPress Typed(const std::string& text) {
        fw::KeyPress press = Named(fw::Key::Text);
        press.text = text;
        return press;
    }
    static fw::KeyPress CtrlF() {
        fw::KeyPress press = Named(fw::Key::CtrlLetter, true);
        press.letter = 'F';
        return press;
    }
    bool Press(const fw::KeyPress& key) { return w.PressListKey(res::IDC_PROGRAM_LIST, key); }
    Strings Names() { return Column(w, kColumnName); }
    int Selected() { return w.ProgramList().GetNextItem(-1, fw::kItemSelected); }
    void Mark(int row) {
        w.ProgramList().SetItemState(row, fw::kItemSelected | fw::kItemFocused, fw::kItemSelected | fw::kItemFocused);
        w.ProgramList().SetSelectionMark(row);
    }

    ProgramListDialog w{host};
};

TEST_F(ProgramListEditing, ADraggedRowMovesWithItsCellsAndTheStateStaysWithThePosition) {
    w.DragListRow(res::IDC_PROGRAM_LIST, 0, 3);
    EXPECT_EQ(Names(), (Strings{"Zwei", "Drei", "Über Land", "Eins", "über See", "ΕΡΤ World", "Straße"}));
    EXPECT_EQ(w.RowToRecord(3), Programs()[0]);
    EXPECT_EQ(Column(w, kColumnState), (Strings{"s0", "s1", "s2", "s3", "s4", "s5", "s6"}));
    EXPECT_EQ(Selected(), 3);
    EXPECT_EQ(w.ProgramList().GetSelectionMark(), 3);
    EXPECT_EQ(w.ProgramList().LastEnsuredVisible(), 3);

    w.DragListRow(res::IDC_PROGRAM_LIST, 6, 0);
    EXPECT_EQ(Names(), (Strings{"Straße", "Zwei", "Drei", "Über Land", "Eins", "über See", "ΕΡΤ World"}));
    EXPECT_EQ(Selected(), 0);
    // Off the list or onto itself: nothing moves.
    w.DragListRow(res::IDC_PROGRAM_LIST, 2, 7);
    w.DragListRow(res::IDC_PROGRAM_LIST, 2, 2);
    EXPECT_EQ(Names()[2], "Drei");
    EXPECT_EQ(Selected(), 0);
}

TEST_F(ProgramListEditing, DeleteAndCtrlArrowsActAsTheButtons) {
    Mark(1);
    EXPECT_TRUE(Press(Named(fw::Key::Down, true)));
    EXPECT_EQ(Names()[2], "Zwei");
    EXPECT_TRUE(Press(Named(fw::Key::Up, true)));
    EXPECT_TRUE(Press(Named(fw::Key::Up, true)));
    EXPECT_EQ(Names()[0], "Zwei");
    // Plain arrows stay the list's own.
    EXPECT_FALSE(Press(Named(fw::Key::Up)));
    EXPECT_FALSE(Press(Named(fw::Key::Other)));
    EXPECT_TRUE(Press(Named(fw::Key::Delete)));
    EXPECT_EQ(Names(), (Strings{"Eins", "Drei", "Über Land", "über See", "ΕΡΤ World", "Straße"}));
    EXPECT_EQ(Selected(), 0);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(ProgramListEditing, MoveToTopBottomAndPositionFromTheContextMenu) {
    const auto menu = [&](int item) {
        host.ScriptMenu(item);
        w.OnListContextMenu(res::IDC_PROGRAM_LIST);
    };
    Mark(2);
    menu(4);
    EXPECT_EQ(Names()[0], "Drei");
    menu(5);
    EXPECT_EQ(Names()[6], "Drei");
    EXPECT_EQ(Selected(), 6);
    EXPECT_EQ(host.Menus().back(), (Strings{"Export\u2026", "Import\u2026", "-", "Order by Channel Number", "Order Like\u2026", "-",
                                            "Move to Top", "Move to Bottom", "Move to Position\u2026", "-",
                                            "Find\u2026\tCtrl+F", "Remove Duplicates", "Remove\u2026", "-",
                                            "Undo Move\tCtrl+Z", "Redo\tCtrl+Y", "-", "Scan Transport\u2026"}));

    host.ScriptText(" 2 ");
    menu(6);
    EXPECT_EQ(host.TextPrompts().back(), "Position (1 to 7):");
    EXPECT_EQ(Names(), (Strings{"Eins", "Drei", "Zwei", "Über Land", "über See", "ΕΡΤ World", "Straße"}));
    EXPECT_EQ(w.ProgramList().GetSelectionMark(), 1);
    // Cancelled, or no position of the list: nothing moves.
    for (const char* answer : {"0", "8", "x1", ""}) {
        host.ScriptText(answer);
        menu(6);
    }
    menu(6);
    EXPECT_EQ(Names()[1], "Drei");
    EXPECT_EQ(host.Messages(), Strings(4, "Enter a position from 1 to 7."));
}

TEST_F(ProgramListEditing, TypingSelectsTheNextNameThatBeginsWithItInAnyCase) {
    // A pause starts a new text; "ü" finds "Über" and "über" alike.
    const auto type = [&](const std::string& text, int64_t pauseMs = 100) {
        host.Time().Set(host.Time().NowMs() + pauseMs);
        EXPECT_TRUE(Press(Typed(text)));
        return Selected();
    };
    EXPECT_EQ(type("ü", 5000), 3);
    EXPECT_EQ(type("b"), 3);
    EXPECT_EQ(type("e"), 3);
    EXPECT_EQ(type("r"), 3);
    EXPECT_EQ(type(" "), 3);
    EXPECT_EQ(type("s"), 4);
    // One key again and again steps through the names it begins.
    EXPECT_EQ(type("ü", 5000), 3);
    EXPECT_EQ(type("ü"), 4);
    EXPECT_EQ(type("ü"), 3);
    EXPECT_EQ(type("ε", 5000), 5);
    EXPECT_EQ(type("STRASSE", 5000), 6);
    // Nothing begins so: the selection stays.
    EXPECT_EQ(type("q", 5000), 6);
}

TEST_F(ProgramListEditing, FindSelectsNamesThatContainTheTextAndF3GoesOnBothWays) {
    // Nothing to find yet: F3 asks, as Find… does.
    host.ScriptText("EI");
    EXPECT_TRUE(Press(Named(fw::Key::F3)));
    EXPECT_EQ(host.TextPrompts(), Strings{"Find programs whose name contains:"});
    EXPECT_EQ(Selected(), 0);
    EXPECT_TRUE(Press(Named(fw::Key::F3)));
    EXPECT_EQ(Selected(), 1);
    EXPECT_TRUE(Press(Named(fw::Key::F3)));
    EXPECT_TRUE(Press(Named(fw::Key::F3)));
    EXPECT_EQ(Selected(), 0);  // round from the last match to the first
    EXPECT_TRUE(Press(Named(fw::Key::F3, false, true)));
    EXPECT_EQ(Selected(), 2);

    host.ScriptText("world");
    EXPECT_TRUE(Press(CtrlF()));
    EXPECT_EQ(Selected(), 5);
    host.ScriptText("Kanal");
    host.ScriptMenu(7);
    w.OnListContextMenu(res::IDC_PROGRAM_LIST);
    EXPECT_EQ(Selected(), 5);
    EXPECT_EQ(host.Messages(), Strings{"No program name contains \"Kanal\"."});
    // A cancelled Find… keeps the text F3 looks for.
    EXPECT_TRUE(Press(CtrlF()));
    EXPECT_TRUE(Press(Named(fw::Key::F3)));
    EXPECT_EQ(host.Messages().size(), 2u);
}

// Everything a row holds: its cells and its channel number.
Strings Whole(ProgramListDialog& w) {
    Strings rows;
    for (int row = 0; row < w.ProgramList().GetItemCount(); ++row) {
        std::string text = std::to_string(w.ChannelNumber(row));
        for (int column = 0; column < kProgramListColumnCount; ++column) text += "|" + w.ProgramList().ItemText(row, column);
        rows.push_back(text);
    }
    return rows;
}

TEST_F(ProgramListEditing, EveryChangeIsOneStepThatUndoAndRedoTakeBackAndMakeAgain) {
    for (int row = 0; row < w.ProgramList().GetItemCount(); ++row)
        w.SetChannelNumber(row, static_cast<uint32_t>(70 - row));
    fw::KeyPress undo = CtrlF(), redo = CtrlF(), redoToo = CtrlF();
    undo.letter = 'Z';
    redo.letter = 'Z';
    redo.shift = true;
    redoToo.letter = 'Y';
    host.ScriptModal(res::IDD_PROGRAM_DETAILS, [](fw::Dialog& d) {
        d.SetDlgItemText(res::IDC_NAME, "Neu");
        d.ClickButton(fw::IDOK);
    });
    host.ScriptModal(res::IDD_PROGRAM_DETAILS, [](fw::Dialog& d) {
        d.SetDlgItemText(res::IDC_NAME, "Drei bearbeitet");
        d.ClickButton(fw::IDOK);
    });
    // Each change, and what the list looked like after it.
    std::vector<Strings> states{Whole(w)};
    const std::vector<std::pair<const char*, std::function<void()>>> changes{
        {"Add", [&] { w.OnAdd(); }},
        {"Edit", [&] { Mark(2), w.OnEditProgram(); }},
        {"Delete", [&] { Mark(0), Press(Named(fw::Key::Delete)); }},
        {"Move Down", [&] { Mark(1), Press(Named(fw::Key::Down, true)); }},
        {"Move", [&] { w.OnListDrop(res::IDC_PROGRAM_LIST, 0, 4); }},
        {"Sort", [&] { w.SortByColumn(kColumnName); }},
        {"Order by Channel Number", [&] { w.SortByChannelNumber(); }},
    };
    for (const auto& [what, change] : changes) {
        change();
        EXPECT_EQ(w.History().UndoName(), what);
        states.push_back(Whole(w));
        EXPECT_NE(states.back(), states[states.size() - 2]) << what;
    }
    // A change that changes nothing is no step.
    w.SortByChannelNumber();
    EXPECT_EQ(w.History().UndoName(), "Order by Channel Number");

    for (size_t i = states.size() - 1; i > 0; --i) {
        EXPECT_TRUE(Press(undo));
        EXPECT_EQ(Whole(w), states[i - 1]) << changes[i - 1].first;
    }
    EXPECT_FALSE(w.History().CanUndo());
    for (size_t i = 1; i < states.size(); ++i) {
        EXPECT_TRUE(Press(i % 2 ? redo : redoToo));
        EXPECT_EQ(Whole(w), states[i]) << changes[i - 1].first;
    }
    EXPECT_FALSE(w.History().CanRedo());

    // A new change after an undo drops what could be redone.
    Press(undo);
    Mark(0);
    w.OnMoveDown();
    EXPECT_FALSE(w.History().CanRedo());
    EXPECT_EQ(w.History().UndoName(), "Move Down");
    host.ScriptMenu(11);
    w.OnListContextMenu(res::IDC_PROGRAM_LIST);
    EXPECT_EQ(host.Menus().back()[14], "Undo Move Down\tCtrl+Z");
    EXPECT_EQ(host.Menus().back()[15], "Redo\tCtrl+Y");
    host.ScriptMenu(10);
    w.OnListContextMenu(res::IDC_PROGRAM_LIST);
    EXPECT_EQ(Whole(w), states[states.size() - 2]);
    EXPECT_EQ(w.History().RedoName(), "Move Down");

    // Save keeps the history, and an undo after it is a change to save;
    // Load starts the history anew.
    ASSERT_TRUE(w.OnSave());
    EXPECT_FALSE(w.HasChanges());
    EXPECT_TRUE(w.History().CanUndo());
    w.OnUndo();
    EXPECT_TRUE(w.HasChanges());
    w.OnRedo();
    EXPECT_FALSE(w.HasChanges());
    w.OnUndo();
    host.ScriptAnswer(fw::Answer::Discard);
    ASSERT_TRUE(w.OnLoad());
    EXPECT_EQ(Whole(w).size(), states[states.size() - 2].size());
    EXPECT_FALSE(w.History().CanUndo());
    EXPECT_FALSE(w.History().CanRedo());
}

TEST(ListHistory, KeepsItsLimitsByDroppingTheOldestSteps) {
    fw::ListView list;
    list.InsertColumn(0, "Name", fw::Align::Left, 10);
    programs::ListHistory history;
    for (size_t i = 0; i < programs::ListHistory::kMaxSteps + 5; ++i) {
        fw::ListView::Snapshot before = list.TakeSnapshot();
        list.InsertItem(list.GetItemCount(), std::to_string(i));
        history.Record(std::move(before), "Add");
    }
    int undone = 0;
    while (history.Undo(list)) ++undone;
    EXPECT_EQ(undone, static_cast<int>(programs::ListHistory::kMaxSteps));
    EXPECT_EQ(list.GetItemCount(), 5);

    // One step larger than the limit of bytes is kept alone.
    history.Clear();
    list.SetItemText(0, 0, std::string(programs::ListHistory::kMaxBytes, 'x'));
    history.Record(list.TakeSnapshot(), "Edit");
    history.Record(list.TakeSnapshot(), "Edit");
    EXPECT_LE(history.Bytes(), programs::ListHistory::kMaxBytes + 4096);
    EXPECT_TRUE(history.Undo(list));
    EXPECT_FALSE(history.Undo(list));
}

}  // namespace
