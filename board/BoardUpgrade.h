// How a board database file of an earlier version becomes the current one
// (board/BoardSchema.h), and the copy of it that is kept first: the first
// save of a file of schema 1 leaves board.db.schema-1.bak beside it, which
// the Kelvane that wrote the file still reads.
#pragma once

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "board/BoardFile.h"
#include "board/BoardSchema.h"

namespace cardlib {

// Which beside columns the file's table of programs has. Kelvane added the
// channel number's column before the file's version counted columns, so a
// file of schema 1 may have it: what a file holds is read by its columns.
std::array<bool, kBesideColumnCount> BesideColumnsPresent(sqlite3* db);

// The upgrade steps, inside the caller's write transaction: each column a
// later version keeps beside the record and the table lacks is added, 0 in
// every row. An SQLite result.
int AddBesideColumns(sqlite3* db);

// "made by a newer Kelvane: schema 4, this one reads up to 3"
std::string NewerSchemaText(int64_t version);

// The copy of a file of `version` that its upgrade keeps: "board.db.schema-1.bak".
std::filesystem::path BackupPath(const std::filesystem::path& path, int64_t version);

// A copy of the database file `from` at `to`, through SQLite (an SQLite
// result). Inside a write transaction that has written nothing yet it copies
// the file as it stands.
int CopyDatabase(const std::filesystem::path& from, const std::string& to);

// Inside the caller's write transaction, before anything is written: a copy
// of the file of an earlier `version` as it is, at BackupPath (an older copy
// of that name is replaced, only once the new one is whole). A failure names
// the copy and why it could not be written.
std::optional<Failure> KeepBackup(const std::filesystem::path& path, int64_t version);

}  // namespace cardlib
