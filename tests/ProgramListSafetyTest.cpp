// The program list window keeps what the user has not saved or not seen:
// it asks before a list is replaced or dropped, and names the file that failed.
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

using programtest::Program;
using programtest::ProgramListWindow;
using Strings = std::vector<std::string>;

namespace {

// Save never replaces a stored list the window has not seen: never loaded,
// a failed load, or another program's write since.
TEST_F(ProgramListWindow, SaveAsksBeforeReplacingAStoredListItHasNotSeen) {
    struct Case {
        const char* what;
        std::function<void(ProgramListWindow&, ProgramListDialog&)> before;
        std::string question;  // empty: none asked
    };
    const std::string unseen = "The board database holds 5 programs that this window has not loaded.";
    const Case cases[] = {
        {"never loaded", [](ProgramListWindow&, ProgramListDialog&) {}, unseen},
        {"the load failed (another program held the file)",
         [](ProgramListWindow& t, ProgramListDialog& w) {
             cardlib::Board::Current().Faults().loadProgData = DVB_ERR_DB_LOCKED;
             w.OnLoad();
             cardlib::Board::Current().Faults().loadProgData = DVB_ERR_OK;
             t.host.ClearMessages();
         },
         unseen},
        {"another program wrote since the load",
         [](ProgramListWindow&, ProgramListDialog& w) {
             SeedBoard({Program(1, "x")});
             w.OnLoad();
             SeedBoard(Five());
         },
         "The board database was changed by another program since this window loaded or saved it: it now holds 5 "
         "programs."},
        {"loaded, then saved: its own write", [](ProgramListWindow&, ProgramListDialog& w) {
             SeedBoard(Five());
             w.OnLoad();
             w.OnSave();
         },
         ""},
    };
    for (const Case& c : cases) {
        for (const fw::Answer answer : {fw::Answer::No, fw::Answer::Yes}) {
            SCOPED_TRACE(std::string(c.what) + (answer == fw::Answer::Yes ? ", Yes" : ", No"));
            cardlib::Board caseBoard(BoardFile().string());
            SeedBoard(Five());
            ProgramListDialog w(host);
            host.Open(w);
            c.before(*this, w);
            SeedBoard(Five());
            if (c.question.empty()) {
                // The window's own write: the stored list is the one it saved.
                w.OnLoad();
            }
            const size_t asked = host.Questions().size();
            AddRows(w, {Program(9, "mine"), Program(8, "also mine")});
            w.SortByColumn(kColumnNr);
            if (!c.question.empty()) host.ScriptAnswer(answer);
            w.OnSave();
            const bool questioned = host.Questions().size() > asked;
            EXPECT_EQ(questioned, !c.question.empty());
            if (questioned) {
                EXPECT_EQ(host.Questions().back().substr(0, c.question.size()), c.question);
            }
            const bool replaced = !questioned || answer == fw::Answer::Yes;
            EXPECT_EQ(StoredPrograms().size(), replaced ? w.ProgramList().GetItemCount() : 5u);
            EXPECT_TRUE(host.Messages().empty());
            // No: both lists stay as they are, the window's changes included.
            EXPECT_EQ(w.HasChanges(), !replaced);
            host.Close(w);
        }
    }
}

// Close, Escape and Load after changes ask: Save, Discard or Cancel.
TEST_F(ProgramListWindow, ChangesAreNeverDroppedWithoutAsking) {
    const struct {
        const char* what;
        std::function<void(ProgramListDialog&)> change;
    } changes[] = {
        {"a delete", [](ProgramListDialog& w) {
             w.ProgramList().SetItemState(0, fw::kItemSelected, fw::kItemSelected);
             w.OnDelete();
         }},
        {"a move", [](ProgramListDialog& w) {
             w.ProgramList().SetSelectionMark(0);
             w.OnMoveDown();
         }},
        {"a sort", [](ProgramListDialog& w) { w.SortByColumn(kColumnName); }},
    };
    const struct {
        const char* what;
        std::function<void(ProgramListDialog&)> leave;
        bool loads;  // Load rather than close
    } leaving[] = {
        {"Close", [](ProgramListDialog& w) { w.ClickButton(fw::IDCANCEL); }, false},
        {"Escape", [](ProgramListDialog& w) { w.OnCancel(); }, false},
        {"Load", [](ProgramListDialog& w) { w.OnLoad(); }, true},
    };
    std::vector<TunProgDataTag> five = Five();
    for (size_t i = 0; i < five.size(); ++i) five[i].index = static_cast<uint32_t>(i + 1);
    for (const auto& change : changes) {
        for (const auto& leave : leaving) {
            for (const fw::Answer answer : {fw::Answer::Cancel, fw::Answer::Discard, fw::Answer::Save}) {
                SCOPED_TRACE(std::string(change.what) + ", " + leave.what + ", answer " +
                             std::to_string(static_cast<int>(answer)));
                cardlib::Board caseBoard(BoardFile().string());
                SeedBoard(Five());
                ProgramListDialog w(host);
                host.Open(w);
                w.OnLoad();
                EXPECT_FALSE(w.HasChanges());
                change.change(w);
                EXPECT_TRUE(w.HasChanges());
                const size_t asked = host.Questions().size();
                host.ScriptAnswer(answer);
                leave.leave(w);
                ASSERT_EQ(host.Questions().size(), asked + 1);
                EXPECT_NE(host.Questions().back().find("has changes that are not saved"), std::string::npos);
                const bool goesOn = answer != fw::Answer::Cancel;
                EXPECT_EQ(leave.loads ? !w.HasChanges() : w.IsEnded(), goesOn);
                // Saved: the file holds the changed list; otherwise the five as they were.
                EXPECT_EQ(StoredPrograms() == five, answer != fw::Answer::Save);
                EXPECT_TRUE(host.Messages().empty());
                host.Close(w);
            }
        }
    }
}

// The window's message keeps the call's line and names the file and reason.
TEST_F(ProgramListWindow, FailureMessagesNameTheFileAndTheReason) {
    ProgramListDialog& w = OpenWindow();
    AddRows(w, {Program(1, "a")});
    cardlib::Board::Current().Faults().maxPages = 1;
    EXPECT_FALSE(w.OnSave());
    EXPECT_EQ(host.Messages(), Strings{"Error on DVB_SaveDBProgData: 2\n" + BoardFile().string() +
                                       ": no space left on the disk"});
    // A first save that fails leaves no empty database behind.
    EXPECT_FALSE(std::filesystem::exists(BoardFile()));
    host.ClearMessages();
    cardlib::Board::Current().Faults().maxPages = 0;
    std::filesystem::create_directory(BoardFile());
    EXPECT_FALSE(w.OnSave());
    EXPECT_EQ(host.Messages(), Strings{"Error on DVB_LoadDBProgData: 2\n" + BoardFile().string() +
                                       ": this is a folder, not a board database file"});
}

}  // namespace
