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
#include "cardlib/Installed.h"

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

private:
    friend struct BoardAccess;
    std::string m_Path;
    bool m_Open = false;
    bool m_Loaded = false;
    // Ascending by index; a record's position is its place in this list.
    std::vector<TunProgDataTag> m_Records;
    // The channel number beside each record, by the record's index.
    std::map<uint32_t, uint32_t> m_ChannelNumbers;
    BoardFaults m_Faults;
    BoardCalls m_Calls;
};

}  // namespace cardlib
