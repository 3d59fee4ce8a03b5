// The board database's file: the SQLite file of records, its columns, its
// checks and what its failures mean to the user. BoardDatabase.cpp keeps the
// card library's calls over it.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "card/DBDVBX32.h"
#include "board/BoardDatabase.h"
#include "board/BoardSchema.h"

namespace cardlib {

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;

// A failed call's result, and why, for the user ("the file is read-only").
struct Failure {
    DVBErrReturn result;
    std::string reason;
};

// What an SQLite result means for the user of the file at `path`.
Failure FailureFor(int sqliteResult, const std::filesystem::path& path);
int Exec(sqlite3* db, const char* sql);
// What CheckFile found: `empty`, no tables yet; `version`, the file's
// schema (0 where it has none yet).
struct FileState {
    bool empty = false;
    int64_t version = 0;
};
// Whether the file is a board database of ours of a version this Kelvane
// reads, or one without anything in it yet (`blank`: no bytes before this call).
std::optional<Failure> CheckFile(sqlite3* db, const std::filesystem::path& path, bool blank, FileState* state);
// The revision every write changes; a file without its table has 0.
int ReadRevision(sqlite3* db, uint64_t* revision);
// The records in their order, and the values kept beside them by index
// (only records with a value other than 0); a column the file has not got
// yet reads as 0.
std::optional<Failure> ReadRecords(sqlite3* db, const std::filesystem::path& path,
                                   std::vector<TunProgDataTag>* records, std::map<uint32_t, BesideValues>* beside);
// Inside the caller's transaction: the list replaces the stored one, if the
// stored one is still the revision that was loaded, and the revision moves
// on. A file of an earlier schema is copied beside itself and upgraded first.
// The list it replaces is kept as the newest backup generation
// (board/BoardBackups.h), stamped with `writer` and `time`.
struct BackupStamp {
    std::string writer;
    int64_t time = 0;
    // The generation kept, where one was: PruneGenerations after the commit,
    // removed where the save fails.
    std::filesystem::path kept;
};
std::optional<Failure> WriteRecords(sqlite3* db, const std::filesystem::path& path, bool blank,
                                    const std::vector<TunProgDataTag>& records,
                                    const std::map<uint32_t, BesideValues>& beside, const BoardFaults& faults,
                                    BackupStamp& stamp, uint64_t* revision);
// Removes what a failed first save left: the file it created and its journal.
void RemoveCreated(const std::filesystem::path& path);
// Opens the file with the board's busy timeout and the faults a test set.
int OpenDb(const std::string& path, bool create, const BoardFaults& faults, int busyTimeoutMs, Db* db);
// What stands at the path: nothing (`missing`), a file (`blank` when it has
// no bytes), or something no database can be.
std::optional<Failure> CheckPath(const std::filesystem::path& path, bool* missing, bool* blank);

}  // namespace cardlib
