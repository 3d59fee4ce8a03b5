// The board database of the stand-in card library: the DVB_* functions of
// card/DBDVBX32.h over an SQLite file, one row per program. A load reads the
// whole file into the library's list; a save writes the whole list in one
// transaction, so a crash or kill leaves the previous list in the file.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "card/DBDVBX32.h"
#include "board/BoardSchema.h"
#include "cardlib/Installed.h"

struct sqlite3;

namespace cardlib {

// $XDG_DATA_HOME/kelvane/board.db, else ~/.local/share/kelvane/board.db.
std::string DefaultBoardDatabasePath();

// Faults a test injects. DVB_ERR_OK means none; any other value is what the
// call returns, without doing its work. Faults stay until changed.
struct BoardFaults {
    DVBErrReturn openBoard = DVB_ERR_OK;
    DVBErrReturn closeBoard = DVB_ERR_OK;
    DVBErrReturn loadProgData = DVB_ERR_OK;
    DVBErrReturn getProgCount = DVB_ERR_OK;
    DVBErrReturn getProgData = DVB_ERR_OK;
    uint32_t getProgDataPosition = 0;  // the position that fails; 0: every one
    DVBErrReturn delAllProgData = DVB_ERR_OK;
    DVBErrReturn setProgData = DVB_ERR_OK;
    uint32_t setProgDataCall = 0;  // the k-th call (1-based, BoardCalls::setProgData) that fails; 0: every one
    DVBErrReturn saveProgData = DVB_ERR_OK;

    // A disk with room for this many database pages (SQLite's page count
    // limit); 0: no limit. A save that needs more fails as on a full disk.
    int maxPages = 0;
    // Opens the file as one that cannot be written (what a read-only file
    // gives, also to a test that runs as root).
    bool readOnly = false;

    // Runs inside the save's transaction after each row is written, with the
    // number of rows written so far (a test stops or kills the process there).
    std::function<void(uint32_t rowsWritten)> duringSave;
};

// What the library was asked to do.
struct BoardCalls {
    uint32_t setProgData = 0;
    // With recordNames set, the name of every DVB_* call, in order.
    bool recordNames = false;
    std::vector<std::string> names;
};

// The board database library's state: its file, whether the board is open,
// the list it has loaded. The program and each test make one and keep it for
// as long as they call the DVB_* functions; while it lives it is the
// installed board, the one those functions reach:
//
//     cardlib::Board board(dir / "board.db");    // installed until it goes out of scope
//     board.Faults().saveProgData = DVB_ERR_DB_IO;
//     board.Calls().recordNames = true;
//     ...
//     EXPECT_FALSE(board.IsOpen());
//
// A new board starts as a freshly loaded library would: closed, nothing
// loaded, no faults, nothing counted. A board made while another lives
// takes over until it goes; then the earlier one is installed again (a test
// reads a file "as a fresh library would" that way).
class Board : public Installed<Board> {
public:
    // `path` is the database file; the default is DefaultBoardDatabasePath().
    explicit Board(std::string path = DefaultBoardDatabasePath());
    ~Board();
    // The installed board; the program stops with a message if there is none.
    static Board& Current();

    const std::string& Path() const { return m_Path; }
    BoardFaults& Faults() { return m_Faults; }
    BoardCalls& Calls() { return m_Calls; }
    bool IsOpen() const { return m_Open; }

    // A read-modify-write of a program that is not the window (kelvane-cli):
    // from here to the next DVB_SaveDBProgData the file is held by this board
    // alone, so nothing another program writes can fall between its load and
    // its save. Waits while another program holds it, up to the busy timeout,
    // then fails with DVB_ERR_DB_LOCKED.
    DVBErrReturn BeginUpdate();
    // Gives up a hold that no save ended: nothing is written, and a file
    // that BeginUpdate created goes again.
    void EndUpdate();
    // Why the last failing call failed: "PATH: reason"; empty after a success.
    const std::string& LastErrorText() const { return m_LastError; }
    bool Holding() const { return m_Held != nullptr; }
    // How long a call waits for another program's hold; 3 s unless set.
    void SetBusyTimeoutMs(int ms) { m_BusyTimeoutMs = ms; }
    int BusyTimeoutMs() const { return m_BusyTimeoutMs; }
    // The program whose saves this board makes, named in the backups they
    // keep; "kelvane" unless set.
    void SetWriter(std::string writer) { m_Writer = std::move(writer); }
    // When a backup is kept, in seconds since 1970; the system's clock unless set.
    void SetClock(std::function<int64_t()> now) { m_Now = std::move(now); }

private:
    friend struct BoardAccess;
    std::string m_Path;
    bool m_Open = false;
    bool m_Loaded = false;
    // The stored list's revision as the last load found it (0: none stored).
    uint64_t m_Revision = 0;
    uint32_t m_StoredCount = 0;
    std::string m_LastError;
    int m_BusyTimeoutMs = 3000;
    std::string m_Writer = "kelvane";
    std::function<int64_t()> m_Now;
    // The connection of an update (BeginUpdate), inside its transaction.
    sqlite3* m_Held = nullptr;
    bool m_HeldCreatedFile = false;
    bool m_HeldBlank = false;
    // Ascending by index; a record's position is its place in this list.
    std::vector<TunProgDataTag> m_Records;
    // The values kept beside a record (board/BoardSchema.h), by the
    // record's index; a record without an entry has 0 in each.
    std::map<uint32_t, BesideValues> m_Beside;
    BoardFaults m_Faults;
    BoardCalls m_Calls;
};

}  // namespace cardlib
