// Remove…: the kinds of programs, each removed as one step.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "card/ProgramFields.h"
#include "programs/ProgramKinds.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "tests/ProgramTestSupport.h"

namespace {

using programtest::Program;
using Strings = std::vector<std::string>;

class ProgramKinds : public programtest::ProgramFixture {
public:
    void SetUp() override {
        host.Open(w);
        // Television, radio, data, nameless television, nameless radio, and
        // one the last scan marked missing.
        std::vector<TunProgDataTag> rows = {Program(1, "Eins"), Program(2, "Welle"), Program(3, "Daten"),
                                            Program(4, ""), Program(5, "  "), Program(6, "Weg")};
        rows[1].videoPid = 0;
        rows[2].videoPid = rows[2].audioPid = 0;
        rows[4].videoPid = 0;
        AddRows(w, rows);
        w.ProgramList().SetItemText(5, kColumnState, "missing");
        w.SetBeside(0, ProgramBeside{0, 0x0B00, 0});
    }
    void TearDown() override {
        host.Close(w);
        ProgramFixture::TearDown();
    }
    ProgramListDialog w{host};
};

TEST_F(ProgramKinds, EachKindRemovesItsProgramsAsOneStepThatUndoes) {
    const struct {
        const char* kind;
        Strings left;
        const char* status;
    } cases[] = {
        {"missing", {"Eins", "Welle", "Daten", "", "  "}, "1 missing program removed"},
        {"radio", {"Eins", "Daten", "", "Weg"}, "2 radio programs removed"},
        {"data", {"Eins", "Welle", "", "  ", "Weg"}, "1 data program removed"},
        {"encrypted", {"Welle", "Daten", "", "  ", "Weg"}, "1 encrypted program removed"},
        {"unnamed", {"Eins", "Welle", "Daten", "Weg"}, "2 programs without a name removed"},
    };
    const Strings all = Column(w, kColumnName);
    ASSERT_EQ(programs::ProgramKinds().size(), std::size(cases));
    for (const auto& c : cases) {
        const programs::ProgramKind* kind = programs::FindProgramKind(c.kind);
        ASSERT_NE(kind, nullptr) << c.kind;
        EXPECT_EQ(w.RemovePrograms(*kind), static_cast<int>(all.size() - c.left.size())) << c.kind;
        EXPECT_EQ(Column(w, kColumnName), c.left) << c.kind;
        EXPECT_EQ(w.StatusText(), c.status);
        EXPECT_EQ(w.History().UndoName(), std::string("Remove ") + kind->title);
        w.OnUndo();
        EXPECT_EQ(Column(w, kColumnName), all) << c.kind;
    }
    EXPECT_EQ(w.RemovePrograms(*programs::FindProgramKind("missing")), 1);
    EXPECT_EQ(w.RemovePrograms(*programs::FindProgramKind("missing")), 0);
    EXPECT_EQ(w.StatusText(), "No missing programs to remove");
    EXPECT_EQ(w.History().UndoName(), "Remove Missing Programs") << "nothing removed, no step";
    // Only a scan's mark says "missing": kelvane-cli cannot remove it.
    EXPECT_EQ(programs::StoredKindNames(), "radio, data, encrypted or unnamed");
}

TEST_F(ProgramKinds, RemoveInTheContextMenuOffersEachKindWithItsCount) {
    host.ScriptMenu(9);  // Remove…
    host.ScriptMenu(1);  // radio
    w.OnListContextMenu(res::IDC_PROGRAM_LIST);
    ASSERT_EQ(host.Menus().size(), 2u);
    EXPECT_EQ(host.Menus()[0][12], "Remove\u2026");
    EXPECT_EQ(host.Menus()[1], (Strings{"Missing Programs (1)", "Radio Programs (2)", "Data Programs (1)",
                                        "Encrypted Programs (1)", "Programs without a Name (2)"}));
    EXPECT_EQ(Column(w, kColumnName), (Strings{"Eins", "Daten", "", "Weg"}));
    EXPECT_EQ(w.FindMenuItem(res::IDM_UNDO)->text, "&Undo Remove Radio Programs");
}

}  // namespace
