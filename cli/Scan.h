#pragma once

#include <ostream>
#include <string>

namespace cli {

class Board;

// The program list window's Search, without a screen: the window is built on
// a headless host that keeps real time, loads the board database, runs the
// scan window with the card configured from card.ini, and saves the merged
// list (with `dryRun`, prints it instead). Status lines go to `status` as the
// scan writes them. `guiSettings` is the GUI's settings file: the scan reads
// "Update Program Names" from a copy of it, so the GUI's own stays untouched.
// Returns false with `error` set when the board database fails.
bool RunScan(Board& board, const std::string& guiSettings, bool dryRun, std::ostream& out, std::ostream& status,
             std::string& error);

}  // namespace cli
