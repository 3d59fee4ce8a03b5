#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "card/DBDVBX32.h"
#include "board/BoardDatabase.h"
#include "tests/ProgramTestSupport.h"

namespace {

using programtest::Program;
using programtest::ReadFile;
using programtest::WriteFile;

class BoardDatabase : public programtest::ProgramFixture {
public:
    // Runs SQL on the board database file behind the library's back.
    void Tamper(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(BoardFile().c_str(), &db), SQLITE_OK);
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
    }
    // Another program holds the file (an open exclusive transaction) until Release.
    void Hold() {
        ASSERT_EQ(sqlite3_open(BoardFile().c_str(), &m_Holder), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(m_Holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    void Release() {
        if (!m_Holder) return;
        sqlite3_exec(m_Holder, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(m_Holder);
        m_Holder = nullptr;
    }

private:
    sqlite3* m_Holder = nullptr;
};

TEST_F(BoardDatabase, MissingFileIsAnEmptyList) {
    uint32_t first = 99, count = 99;
    EXPECT_EQ(DVB_LoadDBProgData(), DVB_ERR_OK);
    EXPECT_EQ(DVB_GetDBProgCount(&first, &count), DVB_ERR_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(std::filesystem::exists(BoardFile()));
}

TEST_F(BoardDatabase, EveryFieldAndAnyUtf8NameSurviveSaveAndLoad) {
    std::vector<TunProgDataTag> records = {
        Program(1, "Das Erste HD"), Program(2, "Первый канал"), Program(3, "ΕΡΤ World"),
        Program(4, "日本テレビ"),     Program(5, "قناة الجزيرة"),  Program(6, "📺 Kanal 7 ✓"),
        Program(7, ""),             Program(8, std::string("nul\0inside", 10)),
    };
    TunProgDataTag widest;
    widest.name = "widest";
    widest.frequency = widest.standard = widest.extraInfo = widest.symbolRate = UINT32_MAX;
    widest.tone22kHz = widest.vertical = widest.reserved1 = widest.reserved2 = UINT32_MAX;
    widest.progId = widest.tsId = widest.nwId = widest.serviceId = 0xFFFF;
    widest.videoPid = widest.audioPid = widest.pmtPid = widest.txtPid = widest.subtitlePid = widest.dataPid = 0xFFFF;
    widest.modulation = widest.fec = widest.progType = widest.ipFilter = 0xFF;
    records.push_back(widest);
    SeedBoard(records);

    const std::vector<TunProgDataTag> stored = StoredPrograms();
    ASSERT_EQ(stored.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        TunProgDataTag expected = records[i];
        expected.index = static_cast<uint32_t>(i + 1);
        EXPECT_EQ(stored[i], expected) << "position " << i + 1;
    }
}

TEST_F(BoardDatabase, RecordsAreExchangedOnlyWithTheSize68) {
    SeedBoard({Program(1, "a")});
    ASSERT_EQ(DVB_LoadDBProgData(), DVB_ERR_OK);
    TunProgDataTag record = Program(1, "b");
    for (uint32_t size : {0u, 64u, 67u, 69u, 96u}) {
        uint32_t asked = size;
        EXPECT_EQ(DVB_GetDBProgData(1, &asked, &record), DVB_ERR_DB_BAD_SIZE) << size;
        EXPECT_EQ(DVB_SetDBProgData(size, &record), DVB_ERR_DB_BAD_SIZE) << size;
    }
    uint32_t size = kTunProgDataTagSize;
    EXPECT_EQ(DVB_GetDBProgData(1, nullptr, &record), DVB_ERR_DB_BAD_SIZE);
    EXPECT_EQ(DVB_GetDBProgData(1, &size, nullptr), DVB_ERR_DB_BAD_SIZE);
    EXPECT_EQ(DVB_GetDBProgData(0, &size, &record), DVB_ERR_DB_NO_SUCH_PROGRAM);
    EXPECT_EQ(DVB_GetDBProgData(2, &size, &record), DVB_ERR_DB_NO_SUCH_PROGRAM);
    EXPECT_EQ(DVB_GetDBProgData(1, &size, &record), DVB_ERR_OK);
    EXPECT_EQ(record.name, "a");
}

TEST_F(BoardDatabase, BadFilesFailToLoadAndAreNeverOverwritten) {
    struct Case {
        const char* what;
        std::function<void(BoardDatabase&)> spoil;
        DVBErrReturn expected;
    };
    const Case cases[] = {
        {"garbage bytes", [](BoardDatabase& t) { WriteFile(t.BoardFile(), std::string(4096, '\x5a')); },
         DVB_ERR_DB_CORRUPT},
        {"a truncated database",
         [](BoardDatabase& t) {
             SeedBoard({Program(1, "a"), Program(2, "b")});
             const std::string bytes = ReadFile(t.BoardFile());
             WriteFile(t.BoardFile(), bytes.substr(0, 100));
         },
         DVB_ERR_DB_CORRUPT},
        {"another program's database",
         [](BoardDatabase& t) { t.Tamper("CREATE TABLE notes (text TEXT); INSERT INTO notes VALUES ('mine')"); },
         DVB_ERR_DB_CORRUPT},
        {"a 16-bit field out of range",
         [](BoardDatabase& t) {
             SeedBoard({Program(1, "a")});
             t.Tamper("UPDATE programs SET ts_id = 70000");
         },
         DVB_ERR_DB_CORRUPT},
        {"a name that is not text",
         [](BoardDatabase& t) {
             SeedBoard({Program(1, "a")});
             t.Tamper("UPDATE programs SET name = x'00ff'");
         },
         DVB_ERR_DB_CORRUPT},
        {"a number stored as text",
         [](BoardDatabase& t) {
             SeedBoard({Program(1, "a")});
             t.Tamper("UPDATE programs SET frequency = 'fast'");
         },
         DVB_ERR_DB_CORRUPT},
        {"a folder in the file's place",
         [](BoardDatabase& t) { std::filesystem::create_directory(t.BoardFile()); }, DVB_ERR_DB_IO},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(BoardFile());
        c.spoil(*this);
        cardlib::Board caseBoard(BoardFile().string());
        const bool isFile = std::filesystem::is_regular_file(BoardFile());
        const std::string before = isFile ? ReadFile(BoardFile()) : std::string();

        EXPECT_EQ(DVB_LoadDBProgData(), c.expected);
        uint32_t first = 0, count = 0;
        EXPECT_EQ(DVB_GetDBProgCount(&first, &count), DVB_ERR_DB_NOT_LOADED);
        // Whoever goes on regardless cannot write over the file.
        EXPECT_NE(DVB_DelAllDBProgData(), DVB_ERR_OK);
        TunProgDataTag record = Program(1, "new");
        EXPECT_NE(DVB_SetDBProgData(kTunProgDataTagSize, &record), DVB_ERR_OK);
        EXPECT_NE(DVB_SaveDBProgData(), DVB_ERR_OK);
        if (isFile) {
            EXPECT_EQ(ReadFile(BoardFile()), before);
        }
    }
}

TEST_F(BoardDatabase, RecordsAreStoredAtTheirIndexAndPositionsCloseUpOnLoad) {
    ASSERT_EQ(DVB_LoadDBProgData(), DVB_ERR_OK);
    // Out of order, with a gap where a store failed, and one index stored twice.
    for (const auto& [index, name] : std::vector<std::pair<uint32_t, std::string>>{
             {4, "four"}, {1, "one"}, {2, "two-old"}, {2, "two"}}) {
        TunProgDataTag r = Program(index, name);
        ASSERT_EQ(DVB_SetDBProgData(kTunProgDataTagSize, &r), DVB_ERR_OK);
    }
    TunProgDataTag zero = Program(0, "zero");
    EXPECT_EQ(DVB_SetDBProgData(kTunProgDataTagSize, &zero), DVB_ERR_DB_NO_SUCH_PROGRAM);
    ASSERT_EQ(DVB_SaveDBProgData(), DVB_ERR_OK);

    const auto stored = StoredPrograms();
    EXPECT_EQ(Names(stored), (std::vector<std::string>{"one", "two", "four"}));
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[2].index, 3u);
}

// A save killed half-way leaves the list of the last complete save.
TEST_F(BoardDatabase, SaveKilledHalfWayLeavesThePreviousList) {
    const std::vector<TunProgDataTag> previous = {Program(1, "Eins"), Program(2, "Zwei"), Program(3, "Drei")};
    SeedBoard(previous);
    const std::string before = ReadFile(BoardFile());

    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeFds[0]);
        board.Faults().duringSave = [&](uint32_t written) {
            if (written == 5000) {
                const char ready = 'k';
                if (write(pipeFds[1], &ready, 1) != 1) _exit(3);
                for (;;) pause();
            }
        };
        if (DVB_LoadDBProgData() != DVB_ERR_OK || DVB_DelAllDBProgData() != DVB_ERR_OK) _exit(2);
        for (uint32_t i = 1; i <= 10000; ++i) {
            TunProgDataTag r = Program(i, "Programm " + std::to_string(i));
            if (DVB_SetDBProgData(kTunProgDataTagSize, &r) != DVB_ERR_OK) _exit(2);
        }
        DVB_SaveDBProgData();
        _exit(1);  // only reached if the save was not stopped half-way
    }
    close(pipeFds[1]);
    char ready = 0;
    const ssize_t got = read(pipeFds[0], &ready, 1);
    close(pipeFds[0]);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(got, 1) << "the child never reached the middle of its save";
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    // The save was interrupted inside its transaction: its journal is still there.
    EXPECT_TRUE(std::filesystem::exists(BoardFile().string() + "-journal"));

    std::vector<TunProgDataTag> expected = previous;
    EXPECT_EQ(StoredPrograms(), expected);
    EXPECT_EQ(ReadFile(BoardFile()), before);
}

TEST_F(BoardDatabase, DefaultFileFollowsXdgDataHome) {
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string restore = saved ? saved : "";
    setenv("XDG_DATA_HOME", "/srv/data", 1);
    EXPECT_EQ(cardlib::DefaultBoardDatabasePath(), "/srv/data/kelvane/board.db");
    setenv("XDG_DATA_HOME", "relative/ignored", 1);
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    if (!home.empty()) {
        EXPECT_EQ(cardlib::DefaultBoardDatabasePath(), home + "/.local/share/kelvane/board.db");
    }
    if (saved) setenv("XDG_DATA_HOME", restore.c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(board.Path(), BoardFile().string());
}

}  // namespace

namespace {

// The file an earlier Kelvane wrote, its columns in the record's order: the
// columns are read by name, so it loads field for field.
TEST_F(BoardDatabase, FileWithTheColumnsInTheRecordsOrderLoads) {
    Tamper(
        "CREATE TABLE programs (position INTEGER PRIMARY KEY, frequency INTEGER NOT NULL, name TEXT NOT NULL, "
        "standard INTEGER NOT NULL, extra_info INTEGER NOT NULL, prog_id INTEGER NOT NULL, ts_id INTEGER NOT NULL, "
        "nw_id INTEGER NOT NULL, service_id INTEGER NOT NULL, modulation INTEGER NOT NULL, fec INTEGER NOT NULL, "
        "symbol_rate INTEGER NOT NULL, tone_22khz INTEGER NOT NULL, vertical INTEGER NOT NULL, "
        "prog_type INTEGER NOT NULL, video_pid INTEGER NOT NULL, audio_pid INTEGER NOT NULL, "
        "pmt_pid INTEGER NOT NULL, txt_pid INTEGER NOT NULL, subtitle_pid INTEGER NOT NULL, "
        "data_pid INTEGER NOT NULL, ip_filter INTEGER NOT NULL, reserved1 INTEGER NOT NULL, "
        "reserved2 INTEGER NOT NULL);"
        "PRAGMA application_id = 1263294018; PRAGMA user_version = 1;"
        "INSERT INTO programs VALUES (1, 2, 'n', 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, "
        "21, 22, 23)");
    TunProgDataTag expected;
    expected.index = 1;
    expected.frequency = 2;
    expected.name = "n";
    expected.standard = 3;
    expected.extraInfo = 4;
    expected.progId = 5;
    expected.tsId = 6;
    expected.nwId = 7;
    expected.serviceId = 8;
    expected.modulation = 9;
    expected.fec = 10;
    expected.symbolRate = 11;
    expected.tone22kHz = 12;
    expected.vertical = 13;
    expected.progType = 14;
    expected.videoPid = 15;
    expected.audioPid = 16;
    expected.pmtPid = 17;
    expected.txtPid = 18;
    expected.subtitlePid = 19;
    expected.dataPid = 20;
    expected.ipFilter = 21;
    expected.reserved1 = 22;
    expected.reserved2 = 23;
    EXPECT_EQ(StoredPrograms(), std::vector<TunProgDataTag>{expected});
}

}  // namespace

namespace {

// Every failure names its file and reason, and a failed call creates nothing
// and takes nothing over.
TEST_F(BoardDatabase, FailuresNameTheFileAndTheReasonAndLeaveNothingBehind) {
    struct Case {
        const char* what;
        std::function<void(BoardDatabase&, cardlib::Board&)> setUp;
        bool saving;  // the call that fails: a save after a load, else the load
        DVBErrReturn expected;
        std::string reason;
    };
    const Case cases[] = {
        {"a folder in the file's place",
         [](BoardDatabase& t, cardlib::Board&) { std::filesystem::create_directory(t.BoardFile()); }, false,
         DVB_ERR_DB_IO, "this is a folder, not a board database file"},
        {"a file that is not SQLite", [](BoardDatabase& t, cardlib::Board&) { WriteFile(t.BoardFile(), std::string(4096, 'Z')); },
         false, DVB_ERR_DB_CORRUPT, "not a board database"},
        {"another program's database without tables",
         [](BoardDatabase& t, cardlib::Board&) { t.Tamper("PRAGMA user_version = 7"); }, false, DVB_ERR_DB_CORRUPT,
         "not a board database (another program's file)"},
        {"a damaged board database",
         [](BoardDatabase& t, cardlib::Board&) {
             SeedBoard({Program(1, "a")});
             t.Tamper("UPDATE programs SET ts_id = 70000");
         },
         false, DVB_ERR_DB_CORRUPT, "the file is damaged"},
        {"locked by another program",
         [](BoardDatabase& t, cardlib::Board& board) {
             SeedBoard({Program(1, "a")});
             board.SetBusyTimeoutMs(50);
             t.Hold();
         },
         false, DVB_ERR_DB_LOCKED, "locked by another program; try again when it is done"},
        {"a first save onto a full disk", [](BoardDatabase&, cardlib::Board& board) { board.Faults().maxPages = 1; },
         true, DVB_ERR_DB_IO, "no space left on the disk"},
        {"a read-only file",
         [](BoardDatabase&, cardlib::Board& board) {
             SeedBoard({Program(1, "a")});
             board.Faults().readOnly = true;
         },
         true, DVB_ERR_DB_IO, "the file is read-only"},
        {"another program saved since the load", [](BoardDatabase&, cardlib::Board&) {}, true, DVB_ERR_DB_CHANGED,
         "changed by another program since it was loaded; load it again"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(BoardFile());
        cardlib::Board caseBoard(BoardFile().string());
        c.setUp(*this, caseBoard);
        const bool existed = std::filesystem::exists(BoardFile());
        const std::string before = std::filesystem::is_regular_file(BoardFile()) ? ReadFile(BoardFile()) : "";
        DVBErrReturn result = DVB_LoadDBProgData();
        if (c.saving) {
            ASSERT_EQ(result, DVB_ERR_OK);
            if (c.expected == DVB_ERR_DB_CHANGED) SeedBoard({Program(2, "theirs")});
            TunProgDataTag record = Program(1, "mine");
            ASSERT_EQ(DVB_SetDBProgData(kTunProgDataTagSize, &record), DVB_ERR_OK);
            result = DVB_SaveDBProgData();
        }
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(std::string(DVB_GetLastErrorText()), BoardFile().string() + ": " + c.reason);
        Release();
        if (c.expected == DVB_ERR_DB_CHANGED) continue;
        EXPECT_EQ(std::filesystem::exists(BoardFile()), existed);
        EXPECT_FALSE(std::filesystem::exists(BoardFile().string() + "-journal"));
        if (std::filesystem::is_regular_file(BoardFile())) {
            EXPECT_EQ(ReadFile(BoardFile()), before);
        }
    }
}

// Every write moves the revision on, whoever writes; a load reads it.
TEST_F(BoardDatabase, EveryWriteChangesTheRevision) {
    uint64_t revision = 99;
    uint32_t count = 99;
    ASSERT_EQ(DVB_LoadDBProgData(), DVB_ERR_OK);
    ASSERT_EQ(DVB_GetDBRevision(&revision, &count), DVB_ERR_OK);
    EXPECT_EQ(revision, 0u);
    EXPECT_EQ(count, 0u);
    std::vector<uint64_t> seen;
    for (int write = 0; write < 3; ++write) {
        SeedBoard({Program(1, "a"), Program(2, "b")});
        ASSERT_EQ(DVB_LoadDBProgData(), DVB_ERR_OK);
        ASSERT_EQ(DVB_GetDBRevision(&revision, &count), DVB_ERR_OK);
        EXPECT_EQ(count, 2u);
        seen.push_back(revision);
    }
    EXPECT_TRUE(seen[0] != seen[1] && seen[1] != seen[2] && seen[0] != seen[2]);
}

}  // namespace
