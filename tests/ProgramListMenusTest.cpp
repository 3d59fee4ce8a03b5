#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "card/ProgramFields.h"
#include "framework/Menu.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "tests/ProgramTestSupport.h"

namespace {

using programtest::Program;
using Strings = std::vector<std::string>;

class ProgramListMenus : public programtest::ProgramFixture {
public:
    void SetUp() override { host.Open(w); }
    void TearDown() override {
        host.Close(w);
        ProgramFixture::TearDown();
    }
    void Mark(int row) {
        w.ProgramList().SetItemState(row, fw::kItemSelected | fw::kItemFocused, fw::kItemSelected | fw::kItemFocused);
        w.ProgramList().SetSelectionMark(row);
    }
    Strings Names() { return Column(w, kColumnName); }
    using ProgramFixture::Names;
    ProgramListDialog w{host};
};

TEST_F(ProgramListMenus, MenuBarHoldsEveryButtonAndContextCommandWithItsKeys) {
    Strings titles;
    std::vector<int> commands;
    for (const fw::Menu& menu : w.MenuBar()) {
        titles.push_back(menu.title);
        for (const fw::MenuItem& item : menu.items) commands.push_back(item.command);
    }
    EXPECT_EQ(titles, (Strings{"&File", "&Edit", "&Programs", "&Help"}));
    for (int id : {res::IDC_LOAD, res::IDC_SAVE, res::IDC_ADD, res::IDC_DELETE, res::IDC_MOVE_UP, res::IDC_MOVE_DOWN,
                   res::IDC_SEARCH, int(fw::IDCANCEL), res::IDM_DETAILS, res::IDM_EXPORT, res::IDM_IMPORT,
                   res::IDM_ORDER_BY_CHANNEL, res::IDM_MOVE_TO_TOP, res::IDM_MOVE_TO_BOTTOM, res::IDM_MOVE_TO_POSITION,
                   res::IDM_FIND, res::IDM_REMOVE_DUPLICATES, res::IDM_UNDO, res::IDM_REDO, res::IDM_ABOUT}) {
        EXPECT_NE(std::find(commands.begin(), commands.end(), id), commands.end()) << id;
    }
    const struct {
        int command;
        Strings keys;
    } shortcuts[] = {
        {res::IDC_SAVE, {"Ctrl+S"}},       {res::IDC_LOAD, {"Ctrl+O"}},         {res::IDC_ADD, {"Ins"}},
        {res::IDM_DETAILS, {"F2", "Ctrl+E"}}, {int(fw::IDCANCEL), {"Ctrl+Q", "Ctrl+W"}}, {res::IDM_FIND, {"Ctrl+F"}},
    };
    for (const auto& s : shortcuts) {
        ASSERT_NE(w.FindMenuItem(s.command), nullptr);
        EXPECT_EQ(w.FindMenuItem(s.command)->shortcuts, s.keys) << s.command;
    }
}

TEST_F(ProgramListMenus, KeysRunTheirCommandsAndTheStatusLineSaysWhatHappened) {
    AddRows(w, {Program(1, "Eins"), Program(2, "Zwei")});
    ASSERT_TRUE(w.PressShortcut("Ctrl+S"));
    EXPECT_EQ(w.StatusText(), "2 programs saved");
    EXPECT_EQ(Names(StoredPrograms()), (Strings{"Eins", "Zwei"}));
    EXPECT_EQ(w.GetWindowText(), "Kelvane 2.3");

    // Insert opens the details of a new program; cancelled, nothing changes.
    ASSERT_TRUE(w.PressShortcut("Ins"));
    EXPECT_EQ(w.ProgramList().GetItemCount(), 2);

    Mark(1);
    w.OnMoveUp();
    EXPECT_EQ(w.GetWindowText(), "*Kelvane 2.3");
    EXPECT_EQ(w.FindMenuItem(res::IDM_UNDO)->text, "&Undo Move Up");
    EXPECT_TRUE(w.FindMenuItem(res::IDM_UNDO)->enabled);
    EXPECT_FALSE(w.FindMenuItem(res::IDM_REDO)->enabled);
    EXPECT_FALSE(w.PressShortcut("Ctrl+Y")) << "nothing to redo";
    ASSERT_TRUE(w.PressShortcut("Ctrl+Z"));
    EXPECT_EQ(Names(), (Strings{"Eins", "Zwei"}));
    EXPECT_EQ(w.GetWindowText(), "Kelvane 2.3");
    EXPECT_FALSE(w.FindMenuItem(res::IDM_UNDO)->enabled);
    EXPECT_TRUE(w.FindMenuItem(res::IDM_REDO)->enabled);

    // Load after a change asks, as the button does; the user discards.
    Mark(0);
    w.OnMoveDown();
    ASSERT_TRUE(w.HasChanges());
    host.ScriptAnswer(fw::Answer::Discard);
    ASSERT_TRUE(w.PressShortcut("Ctrl+O"));
    EXPECT_EQ(w.StatusText(), "2 programs loaded");
    EXPECT_FALSE(w.FindMenuItem(res::IDM_UNDO)->enabled);

    // Ctrl+W closes as Close does: with changes it asks, Cancel keeps it open.
    Mark(0);
    w.OnMoveDown();
    ASSERT_TRUE(w.HasChanges());
    host.ScriptAnswer(fw::Answer::Cancel);
    ASSERT_TRUE(w.PressShortcut("Ctrl+W"));
    EXPECT_FALSE(w.IsEnded());
    host.ScriptAnswer(fw::Answer::Discard);
    ASSERT_TRUE(w.PressShortcut("Ctrl+Q"));
    EXPECT_TRUE(w.IsEnded());
}

TEST_F(ProgramListMenus, OneProgramIsNotPluralAndAboutNamesVersionAndLicence) {
    EXPECT_EQ(ProgramListDialog::ProgramsText(1), "1 program");
    EXPECT_EQ(ProgramListDialog::ProgramsText(66), "66 programs");
    SeedBoard({Program(1, "Eins"), Program(2, "Zwei")});
    AddRows(w, {Program(3, "Drei")});
    host.ScriptAnswer(fw::Answer::No);
    EXPECT_FALSE(w.OnSave());
    ASSERT_FALSE(host.Questions().empty());
    EXPECT_NE(host.Questions().back().find("Replace them with the 1 program of this window?"), std::string::npos)
        << host.Questions().back();

    ASSERT_TRUE(w.ChooseMenuCommand(res::IDM_ABOUT));
    ASSERT_FALSE(host.Messages().empty());
    EXPECT_EQ(host.Messages().back().rfind("Kelvane 2.3\n", 0), 0u) << host.Messages().back();
    EXPECT_NE(host.Messages().back().find("GPL-2.0-or-later"), std::string::npos);
    EXPECT_EQ(w.GetDlgItemText(res::IDC_ABOUT), ProgramListDialog::AboutText());
}

TEST_F(ProgramListMenus, OutOfRangePositionAsksAgainWithWhatWasTyped) {
    AddRows(w, {Program(1, "Eins"), Program(2, "Zwei"), Program(3, "Drei")});
    Mark(0);
    host.ScriptText("9");
    host.ScriptText("3");
    w.ChooseMenuCommand(res::IDM_MOVE_TO_POSITION);
    EXPECT_EQ(Names(), (Strings{"Zwei", "Drei", "Eins"}));
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0], "Enter a position from 1 to 3.");
    ASSERT_EQ(host.TextInitials().size(), 2u);
    EXPECT_EQ(host.TextInitials()[1], "9");
}

}  // namespace
