// The board database as kelvane-cli reaches it: the window's load and save
// (programs/BoardGateway) on one file, each failure as one line. The only
// place in cli/ that knows how the library is given its file: while this
// object lives, its board is the installed one.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "card/DBDVBX32.h"
#include "board/BoardDatabase.h"
#include "programs/BoardGateway.h"

namespace cli {

class Board {
public:
    // The library on `path`; empty: the file the GUI uses.
    explicit Board(const std::string& path);
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    const std::string& Path() const { return m_Board.Path(); }
    bool Exists() const;
    // A message of the window ("Error on CALL: N", then "FILE: reason") as
    // the one line the command prints: "FILE: Error on CALL: N (reason)".
    std::string OneLine(const std::string& message) const;
    // The whole list, or false with `error`, one line: the file, the call
    // that failed and the reason. `beside`, where given, gets what is kept
    // beside each program.
    bool Load(std::vector<TunProgDataTag>& programs, std::string& error, std::vector<ProgramBeside>* beside = nullptr);
    // A read-modify-write in one transaction: the stored list and what is
    // beside it (empty with `replace`) go to `change`, what it leaves is saved
    // whole, positions 1 to n in order. No other program writes in between;
    // one that holds the file is waited for a few seconds, then named as the
    // reason.
    using Change = std::function<void(std::vector<TunProgDataTag>&, std::vector<ProgramBeside>&)>;
    bool Update(bool replace, const Change& change, std::string& error);

    // The programs of another board database file (a backup, another
    // board's), whole, or false with `error`.
    bool LoadFrom(const std::string& path, std::vector<TunProgDataTag>& programs, std::string& error);
    // The backups kept beside this board database, newest first.
    std::vector<DVBBackupInfo> Backups() { return m_Gateway.Backups(); }
    // Backup `number` back as the stored list, whole, in one held write
    // (which keeps the list it replaces as a backup first).
    bool Restore(uint32_t number, std::string& error);

private:
    cardlib::Board m_Board;
    // The first failure of the sequence running now, as one line.
    std::string m_Error;
    BoardGateway m_Gateway;
};

}  // namespace cli
