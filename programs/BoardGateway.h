#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "card/DBDVBX32.h"
#include "card/ProgramBeside.h"

namespace fw {
class Dialog;
}

// The programs a load gives and a save takes: the records in list order and
// what the board database keeps beside each.
struct BoardPrograms {
    std::vector<TunProgDataTag> records;
    std::vector<ProgramBeside> beside;  // one per record
};

// The system's calls into the board database library, in the only orders it
// makes them; the program list window and kelvane-cli both load and save
// through here. Each failing call is reported at once: the call's name and
// the returned value, then, on a second line, the file and the reason where
// the library says them.
class BoardGateway {
public:
    using Report = std::function<void(const std::string& message)>;
    // What a failure of one program's call does to the rest: the window
    // shows it and goes on with the next program; kelvane-cli stops there,
    // so that it never saves a list with a program missing.
    enum class AfterProgramFailure { GoOn, Stop };

    BoardGateway(Report report, AfterProgramFailure after) : m_Report(std::move(report)), m_After(after) {}
    // The window's: each failure in a message box of `window`, going on.
    explicit BoardGateway(fw::Dialog& window);

    // DVB_OpenBoard and DVB_CloseBoard with the window's handle.
    bool OpenBoard();
    bool CloseBoard();

    // DVB_LoadDBProgData, DVB_GetDBProgCount, then for positions 1 to the
    // count DVB_GetDBProgData and the DVB_GetDBProg… of each value beside the
    // record (channel number, CA systems, audio type). `programs` gets
    // each program that could be read; true when that is the whole stored
    // list, whose revision is `revision`. A failed load or count reads none.
    bool Load(BoardPrograms* programs, uint64_t* revision);

    // DVB_LoadDBProgDataFrom, then as Load: the programs of another board
    // database file (a backup, another board's), read only; the board's own
    // stays as it is. True when they could all be read.
    bool LoadFrom(const std::string& path, BoardPrograms* programs);
    // DVB_LoadDBProgData, DVB_LoadDBProgDataFrom and DVB_SaveDBProgData: the
    // stored list becomes that file's whole, every value the library keeps
    // beside the records included (the save keeps a backup first).
    bool Replace(const std::string& path, uint64_t* revision);
    // DVB_GetDBBackupCount and DVB_GetDBBackupInfo: the backups kept beside
    // the board database, newest first.
    std::vector<DVBBackupInfo> Backups();
    // A backup's time as the user reads it: "2024-05-01 18:03:09", local time.
    static std::string BackupTime(int64_t time);

    // Whether a save may replace what is stored now (how many programs,
    // which revision); asked after the save's load, before anything changes.
    using MayReplace = std::function<bool(uint32_t storedCount, uint64_t storedRevision)>;
    enum class Saved { Nothing, Part, Whole };
    // DVB_LoadDBProgData, then `mayReplace` (none: always), then
    // DVB_DelAllDBProgData, for each program DVB_SetDBProgData at its place
    // in the list (positions 1 to n, whatever its index said) and
    // the DVB_SetDBProg… of each value beside it that is not 0, and last
    // DVB_SaveDBProgData. Nothing is written where the load or the clearing
    // fails or `mayReplace` says no. `revision` is the stored list's after a
    // save. Part: saved, but without the programs whose calls failed.
    Saved Save(const BoardPrograms& programs, const MayReplace& mayReplace, uint64_t* revision);

    // "Error on CALL: RESULT", and on a second line the library's "FILE: reason".
    static std::string FailureText(const std::string& call, DVBErrReturn result);

private:
    bool Check(DVBErrReturn result, const std::string& call);
    // DVB_GetDBProgData and the values beside it for positions 1 to `count`
    // of what the library loaded; true when every one could be read.
    bool ReadLoaded(uint32_t count, BoardPrograms* programs);
    // A program's calls failed: whether the sequence goes on.
    bool GoOn() const { return m_After == AfterProgramFailure::GoOn; }

    Report m_Report;
    AfterProgramFailure m_After;
    fw::Dialog* m_Window = nullptr;
};
