// The program list window through an operator's re-shuffles: Order Like…
// from every kind of reference, Import and Update…, and the backups every
// Save keeps, with Restore….
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "card/ProgramFields.h"
#include "exchange/Exchange.h"
#include "programs/ListReshuffle.h"
#include "res/ResourceIds.h"
#include "tests/ProgramListWindowFixture.h"

namespace {

using programtest::Program;
using Strings = std::vector<std::string>;

class ProgramListReshuffle : public programtest::ProgramListWindow {
public:
    using ProgramFixture::Names;
    Strings Names() { return Column(*m_Window, kColumnName); }
    std::vector<uint32_t> ChannelNumbers() {
        std::vector<uint32_t> numbers;
        for (int row = 0; row < m_Window->ProgramList().GetItemCount(); ++row) numbers.push_back(m_Window->ChannelNumber(row));
        return numbers;
    }
    ProgramListDialog& Loaded(const std::vector<TunProgDataTag>& stored) {
        SeedBoard(stored);
        m_Window = &OpenWindow();
        EXPECT_TRUE(m_Window->OnLoad());
        return *m_Window;
    }
    uint32_t BackupCount() {
        uint32_t count = 0;
        EXPECT_EQ(DVB_GetDBBackupCount(&count), DVB_ERR_OK);
        return count;
    }

    ProgramListDialog* m_Window = nullptr;
};

TEST(OrderLike, MatchesByTransportThenNetworkThenNameEachEntryOnce) {
    const auto with = [](uint32_t n, const char* name, uint16_t nw, uint16_t ts) {
        TunProgDataTag p = Program(n, name);
        p.nwId = nw;
        p.tsId = ts;
        return p;
    };
    // Two "Drei" of one service on two transports: the one on the entry's
    // transport is its match, though the other comes first.
    const std::vector<TunProgDataTag> list = {with(1, "Eins", 1, 1), with(3, "Drei", 1, 9), with(3, "Drei", 1, 3),
                                              with(4, "Straße", 1, 4), with(5, "Fünf", 1, 5)};
    struct Case {
        const char* what;
        std::vector<TunProgDataTag> reference;
        std::vector<size_t> order;
        size_t matched;
    };
    const Case cases[] = {
        {"the same transport before another", {with(3, "x", 1, 3), with(1, "x", 1, 1)}, {2, 0, 1, 3, 4}, 2},
        {"moved to another transport", {with(5, "x", 1, 77), with(3, "x", 1, 77)}, {4, 1, 0, 2, 3}, 2},
        {"by name, case folded", {with(40, "STRASSE", 2, 2), with(41, "fünf", 2, 2)}, {3, 4, 0, 1, 2}, 2},
        {"each entry and each program once", {with(3, "Drei", 1, 3), with(3, "Drei", 1, 3), with(3, "Drei", 1, 3)},
         {2, 1, 0, 3, 4}, 2},
        {"no match keeps the order", {with(60, "Sechzig", 6, 6)}, {0, 1, 2, 3, 4}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const programs::ReferenceOrder ordered = programs::OrderLike(list, c.reference);
        EXPECT_EQ(ordered.order, c.order);
        EXPECT_EQ(ordered.matched, c.matched);
    }
}

TEST_F(ProgramListReshuffle, OrderLikeTakesTheOrderOfAChannelFileOfEveryFormatAndOfABackup) {
    // One service moved to another transport, one renamed in capitals with
    // other ids, one the list has not got.
    TunProgDataTag moved = Program(2, "Zwei");
    moved.tsId = 999;
    TunProgDataTag renamed = Program(50, "FÜNF");
    const std::vector<TunProgDataTag> reference = {Program(4, "Vier"), moved, renamed, Program(9, "Neun")};
    // The reference stored first: the next save keeps it as backup 1.
    SeedBoard(reference);
    ProgramListDialog& w = Loaded(Five());
    const Strings expected = {"Vier", "Zwei", "Fünf", "Eins", "Drei"};
    const std::vector<uint32_t> numbers = {11, 12, 13, 14, 15};
    for (int row = 0; row < 5; ++row) w.SetChannelNumber(row, numbers[static_cast<size_t>(row)]);

    struct Case {
        std::string path;
        int filter;
    };
    std::vector<Case> cases;
    int readable = 0;
    for (const exchange::FormatInfo& format : exchange::Formats()) {
        if (!format.read) continue;
        const std::filesystem::path path = Dir() / (std::string("reference.") + format.extensions.front());
        programtest::WriteFile(path, exchange::Export(format.format, reference));
        cases.push_back({path.string(), readable++});
    }
    ASSERT_GE(cases.size(), 5u);
    // The board databases' filter follows the formats'.
    cases.push_back({(Dir() / "board.db.backups" / "backup-1.db").string(), readable});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        host.ScriptFileChoice(fw::FileChoice{c.path, c.filter});
        ASSERT_TRUE(w.ChooseMenuCommand(res::IDM_ORDER_LIKE));
        EXPECT_EQ(Names(), expected);
        EXPECT_EQ(ChannelNumbers(), (std::vector<uint32_t>{14, 12, 15, 11, 13}));
        EXPECT_EQ(w.StatusText(), "3 of 5 programs matched " + c.path + "; the others follow in their order");
        EXPECT_TRUE(host.Messages().empty()) << host.Messages().front();
        // One step back to the list's own order.
        EXPECT_EQ(w.History().UndoName(), "Order Like");
        w.OnUndo();
        EXPECT_EQ(Names(), Names(Five()));
    }
    EXPECT_EQ(host.FileChoosers().back().filters[static_cast<size_t>(readable)], "Board databases (*.db)");
}

TEST_F(ProgramListReshuffle, ImportAndUpdateUpdatesTheProgramsTheListHasInPlace) {
    ProgramListDialog& w = Loaded(Five());
    TunProgDataTag zwei = w.RowToRecord(1);
    zwei.name = "Zwei HD";
    zwei.frequency += 8000;
    const std::string file = (Dir() / "update.csv").string();
    // Drei as the list has it, Zwei moved and renamed, Acht new.
    programtest::WriteFile(file, exchange::Export(exchange::Format::Csv, {w.RowToRecord(2), zwei, Program(8, "Acht")}));
    struct Case {
        bool updateNames;
        const char* zweiName;
    };
    for (const Case c : {Case{false, "Zwei"}, Case{true, "Zwei HD"}}) {
        w.CheckDlgButton(res::IDC_UPDATE_NAMES, c.updateNames);
        host.ScriptFileChoice(fw::FileChoice{file, 0});
        ASSERT_TRUE(w.ChooseMenuCommand(res::IDM_IMPORT_UPDATE));
        EXPECT_EQ(Names(), (Strings{"Eins", c.zweiName, "Drei", "Vier", "Fünf", "Acht"}));
        EXPECT_EQ(Column(w, kColumnState), (Strings{"", "updated", "actual", "", "", "added"}));
        EXPECT_EQ(w.RowToRecord(1).frequency, zwei.frequency);
        EXPECT_EQ(w.StatusText(), "3 programs imported from " + file + ": 1 added, 1 updated, 1 actual");
        EXPECT_EQ(w.History().UndoName(), "Import");
        w.OnUndo();
        EXPECT_EQ(Names(), Names(Five()));
    }
}

TEST_F(ProgramListReshuffle, EverySaveKeepsTheListItReplacesTheNewestTwentyAndRestoreBringsOneBack) {
    ProgramListDialog& w = OpenWindow();
    m_Window = &w;
    // Save k stores k programs, each with a channel number; from the second
    // on each keeps the one before as a backup.
    std::vector<std::vector<TunProgDataTag>> saved;
    for (uint32_t k = 1; k <= 22; ++k) {
        AddRows(w, {Program(k, "P" + std::to_string(k))});
        w.SetChannelNumber(static_cast<int>(k - 1), 100 + k);
        ASSERT_TRUE(w.OnSave());
        saved.push_back(StoredPrograms());
    }
    EXPECT_EQ(BackupCount(), 20u);
    DVBBackupInfo newest, oldest;
    ASSERT_EQ(DVB_GetDBBackupInfo(1, &newest), DVB_ERR_OK);
    ASSERT_EQ(DVB_GetDBBackupInfo(20, &oldest), DVB_ERR_OK);
    EXPECT_EQ(newest.number, 21u);
    EXPECT_EQ(newest.programs, 21u);
    EXPECT_EQ(newest.writer, "kelvane");
    EXPECT_EQ(oldest.number, 2u);

    // Restore… lists them newest first; the fifth is backup 17: the list of save 17.
    host.ScriptMenu(4);
    ASSERT_TRUE(w.ChooseMenuCommand(res::IDM_RESTORE));
    EXPECT_EQ(host.Menus().back().size(), 20u);
    EXPECT_EQ(host.Menus().back()[4].rfind("17   ", 0), 0u) << host.Menus().back()[4];
    EXPECT_EQ(Names(), Names(saved[16]));
    std::vector<uint32_t> numbers;
    for (uint32_t k = 1; k <= 17; ++k) numbers.push_back(100 + k);
    EXPECT_EQ(ChannelNumbers(), numbers);
    EXPECT_EQ(w.History().UndoName(), "Restore");
    EXPECT_TRUE(w.HasChanges());
    EXPECT_EQ(w.StatusText().rfind("Backup 17 of ", 0), 0u) << w.StatusText();

    // Save stores it as any change, exactly, and keeps the list of save 22.
    ASSERT_TRUE(w.OnSave());
    EXPECT_EQ(StoredPrograms(), saved[16]);
    ASSERT_EQ(DVB_GetDBBackupInfo(1, &newest), DVB_ERR_OK);
    EXPECT_EQ(newest.programs, 22u);
    EXPECT_EQ(BackupCount(), 20u);
}

TEST_F(ProgramListReshuffle, ABackupThatCannotBeWrittenStopsTheSave) {
    ProgramListDialog& w = Loaded(Five());
    // Something that is no folder where the backups go.
    programtest::WriteFile(Dir() / "board.db.backups", "not a folder");
    AddRows(w, {Program(8, "Acht")});
    EXPECT_FALSE(w.OnSave());
    ASSERT_EQ(host.Messages().size(), 1u);
    const std::string& message = host.Messages().front();
    EXPECT_NE(message.find("Error on DVB_SaveDBProgData"), std::string::npos) << message;
    EXPECT_NE(message.find("its backup " + (Dir() / "board.db.backups" / "backup-1.db").string() +
                           " could not be written ("),
              std::string::npos)
        << message;
    EXPECT_EQ(StoredPrograms(), Five());
}

}  // namespace
