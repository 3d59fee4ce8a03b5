#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

#include "card/DBDVBX32.h"
#include "board/BoardDatabase.h"
#include "board/BoardSchema.h"
#include "programs/BoardGateway.h"
#include "tests/ProgramTestSupport.h"

namespace {

using programtest::Program;
using programtest::ReadFile;

// Written by the Kelvane before the schema had a table of versions (tests/data/README.md).
const std::string kEarlierFile = std::string(KELVANE_TEST_DATA) + "/board-schema1.db";

// What that file was made from: before the CA systems and the audio type.
BoardPrograms EarlierPrograms() {
    BoardPrograms programs;
    const char* names[] = {"Das Erste HD", "Первый канал", "日本テレビ", "Süd Kanal", "📺 Kanal 7 ✓"};
    for (uint32_t n = 1; n <= 5; ++n) programs.records.push_back(Program(n, names[n - 1]));
    for (const uint32_t number : {1, 0, 12, 0, 999}) programs.beside.push_back({number, 0, 0});
    return programs;
}

class BoardSchema : public programtest::ProgramFixture {
public:
    BoardSchema() { std::filesystem::copy_file(kEarlierFile, BoardFile()); }

    std::string Backup() const { return BoardFile().string() + ".schema-1.bak"; }

    // The file's list as a fresh library loads it for the window; failures in `messages`.
    BoardPrograms Load(const std::string& path) {
        cardlib::Board reading(path);
        BoardPrograms programs;
        uint64_t revision = 0;
        Gateway().Load(&programs, &revision);
        return programs;
    }
    BoardGateway::Saved Save(const BoardPrograms& programs) {
        uint64_t revision = 0;
        return Gateway().Save(programs, nullptr, &revision);
    }
    BoardGateway Gateway() {
        return BoardGateway([this](const std::string& m) { messages.push_back(m); }, BoardGateway::AfterProgramFailure::Stop);
    }

    static int64_t Pragma(const std::string& path, const std::string& sql) {
        sqlite3* db = nullptr;
        sqlite3_stmt* stmt = nullptr;
        int64_t value = -1;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
            value = sqlite3_column_int64(stmt, 0);
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return value;
    }
    static void Exec(const std::string& path, const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    }

    std::vector<std::string> messages;
};

TEST_F(BoardSchema, AnEarlierFileReadsAsItIsAndStaysUnchanged) {
    const BoardPrograms earlier = EarlierPrograms();
    struct Case {
        const char* what;
        const char* sql;
        std::vector<ProgramBeside> beside;
    };
    const Case cases[] = {
        {"as Kelvane wrote it", "", earlier.beside},
        // An earlier Kelvane had no channel numbers: its programs have none.
        {"without the channel number's column", "ALTER TABLE programs DROP COLUMN channel_number",
         std::vector<ProgramBeside>(5)},
        // The schema that had channel numbers but no CA systems or audio type.
        {"of schema 2", "PRAGMA user_version = 2", earlier.beside},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::copy_file(kEarlierFile, BoardFile(), std::filesystem::copy_options::overwrite_existing);
        if (*c.sql) Exec(BoardFile(), c.sql);
        const std::string before = ReadFile(BoardFile());
        const BoardPrograms loaded = Load(BoardFile());
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(loaded.records, earlier.records);
        EXPECT_EQ(loaded.beside, c.beside);
        EXPECT_EQ(ReadFile(BoardFile()), before);
        EXPECT_FALSE(std::filesystem::exists(Backup()));
    }
}

// The upgrade is part of the save's transaction, and the copy is the file as
// the Kelvane that wrote it reads it.
TEST_F(BoardSchema, TheFirstSaveKeepsACopyAndUpgradesTheFile) {
    const std::string before = ReadFile(BoardFile());
    BoardPrograms more = EarlierPrograms();
    // Each value beside the record at its widest, and none.
    const ProgramBeside values[] = {{65535, 0xFFFFFFFF, 0xFFFF}, {7, 0x17020B00, 0x7A06}, {0, 0x0D05, 0x03}, {}};
    for (uint32_t n = 6; n <= 400; ++n) {
        more.records.push_back(Program(n, "Programm " + std::to_string(n)));
        more.beside.push_back(values[n % std::size(values)]);
    }
    // A save that fails after the copy leaves the file at its schema.
    board.Faults().maxPages = 4;
    EXPECT_EQ(Save(more), BoardGateway::Saved::Nothing);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("Error on DVB_SaveDBProgData: 2\n", 0), 0u) << messages[0];
    EXPECT_EQ(ReadFile(BoardFile()), before);
    board.Faults().maxPages = 0;
    messages.clear();

    ASSERT_EQ(Save(more), BoardGateway::Saved::Whole);
    EXPECT_EQ(Pragma(BoardFile(), "PRAGMA user_version"), cardlib::kSchemaVersion);
    EXPECT_EQ(Load(BoardFile()).beside, more.beside);
    EXPECT_EQ(Pragma(Backup(), "PRAGMA user_version"), 1);
    const BoardPrograms kept = Load(Backup());
    EXPECT_EQ(kept.records, EarlierPrograms().records);
    EXPECT_EQ(kept.beside, EarlierPrograms().beside);
    EXPECT_TRUE(messages.empty());

    // A file of this schema is saved without a copy.
    std::filesystem::remove(Backup());
    ASSERT_EQ(Save(EarlierPrograms()), BoardGateway::Saved::Whole);
    EXPECT_FALSE(std::filesystem::exists(Backup()));
    int files = 0;
    // Beside the file only the folder of the backups every save keeps.
    for (const auto& entry : std::filesystem::directory_iterator(Dir())) {
        const std::string name = entry.path().filename().string();
        files += name.rfind("board.db", 0) == 0 && name != "board.db.backups";
    }
    EXPECT_EQ(files, 1);
}

TEST_F(BoardSchema, AFileOfSchema2IsUpgradedByItsFirstSave) {
    Exec(BoardFile(), "PRAGMA user_version = 2");
    const std::string backup = BoardFile().string() + ".schema-2.bak";
    BoardPrograms programs = EarlierPrograms();
    programs.beside[1] = {3, 0x0B00, 0x6A06};
    ASSERT_EQ(Save(programs), BoardGateway::Saved::Whole);
    EXPECT_EQ(Pragma(BoardFile(), "PRAGMA user_version"), cardlib::kSchemaVersion);
    EXPECT_EQ(Load(BoardFile()).beside, programs.beside);
    EXPECT_EQ(Pragma(backup, "PRAGMA user_version"), 2);
    EXPECT_EQ(Load(backup).beside, EarlierPrograms().beside);
    EXPECT_TRUE(messages.empty());
}

TEST_F(BoardSchema, ACopyThatCannotBeWrittenStopsTheSaveBeforeAnyChange) {
    std::filesystem::create_directory(Backup());
    const std::string before = ReadFile(BoardFile());
    ASSERT_EQ(DVB_LoadDBProgData(), DVB_ERR_OK);
    EXPECT_EQ(DVB_SaveDBProgData(), DVB_ERR_DB_IO);
    EXPECT_EQ(std::string(DVB_GetLastErrorText()),
              BoardFile().string() + ": its copy " + Backup() + " could not be written before the upgrade to schema " +
                  std::to_string(cardlib::kSchemaVersion) + " (Is a directory); nothing was changed");
    EXPECT_EQ(ReadFile(BoardFile()), before);
    EXPECT_FALSE(std::filesystem::exists(Backup() + ".part"));
}

TEST_F(BoardSchema, AFileOfALaterSchemaIsRefusedForReadAndWrite) {
    ProgramListDialog w(host);
    host.Open(w);
    ASSERT_TRUE(w.OnLoad());
    const std::string later = std::to_string(cardlib::kSchemaVersion + 1);
    Exec(BoardFile(), "PRAGMA user_version = " + later);
    const std::string before = ReadFile(BoardFile());
    const std::string refused = "Error on DVB_LoadDBProgData: 3\n" + BoardFile().string() +
                                ": made by a newer Kelvane: schema " + later + ", this one reads up to " +
                                std::to_string(cardlib::kSchemaVersion);
    // The window's list, loaded before, is not saved over it.
    EXPECT_FALSE(w.OnSave());
    EXPECT_FALSE(w.OnLoad());
    EXPECT_EQ(host.Messages(), (std::vector<std::string>{refused, refused}));
    EXPECT_EQ(w.ProgramList().GetItemCount(), 0);
    EXPECT_EQ(ReadFile(BoardFile()), before);
    EXPECT_FALSE(std::filesystem::exists(Backup()));
    host.Close(w);
}

}  // namespace
