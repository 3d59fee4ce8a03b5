// The board database of the stand-in card library: the DVB_* functions of
// card/DBDVBX32.h over an SQLite file, one row per program. A load reads the
// whole file into the library's list; a save writes the whole list in one
// transaction, so a crash or kill leaves the previous list in the file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "card/DBDVBX32.h"

namespace cardlib {

// $XDG_DATA_HOME/kelvane/board.db, else ~/.local/share/kelvane/board.db.
std::string DefaultBoardDatabasePath();
// The file the board database uses from now on; an empty path goes back to
// the default. Tests point it into a directory of their own.
void SetBoardDatabasePath(std::string path);
std::string BoardDatabasePath();

// Faults a test injects, and what the stand-in counts. A fault of DVB_ERR_OK
// means none; any other value is what the call returns, without doing its
// work. Faults stay until changed or reset.
struct BoardFaults {
    DVBErrReturn openBoard = DVB_ERR_OK;
    DVBErrReturn closeBoard = DVB_ERR_OK;
    DVBErrReturn loadProgData = DVB_ERR_OK;
    DVBErrReturn getProgCount = DVB_ERR_OK;
    DVBErrReturn getProgData = DVB_ERR_OK;
    uint32_t getProgDataPosition = 0;  // the position that fails; 0: every one
    DVBErrReturn delAllProgData = DVB_ERR_OK;
    DVBErrReturn setProgData = DVB_ERR_OK;
    uint32_t setProgDataCall = 0;  // the k-th call (1-based, counted below) that fails; 0: every one
    DVBErrReturn saveProgData = DVB_ERR_OK;

    // Runs inside the save's transaction after each row is written, with the
    // number of rows written so far (a test stops or kills the process there).
    std::function<void(uint32_t rowsWritten)> duringSave;

    // Counted since the last reset.
    uint32_t setProgDataCalls = 0;
    // With recordCalls set, the name of every DVB_* call, in order.
    bool recordCalls = false;
    std::vector<std::string> calls;
};

BoardFaults& GetBoardFaults();
// Back to a fresh library: no faults, board closed, nothing loaded. The
// database path stays.
void ResetBoard();
bool IsBoardOpen();

}  // namespace cardlib
