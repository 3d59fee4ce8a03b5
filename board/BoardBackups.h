// The generations of backups kept beside a board database: before a save
// replaces a stored list, the whole file as it stood is copied into the
// folder "board.db.backups" beside it, as backup-N.db (N one above the
// newest), with when it was kept and by which program. A whole copy keeps
// every column, those beside the record too, whatever the schema.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "card/DBDVBX32.h"
#include "board/BoardFile.h"

namespace cardlib {

inline constexpr size_t kBackupGenerations = 20;

// "/home/me/.local/share/kelvane/board.db.backups"
std::filesystem::path BackupFolder(const std::filesystem::path& path);

// Inside the caller's write transaction, before anything is written: the
// file as it stands becomes the newest generation, at `kept` (a copy is
// renamed into place only once it is whole). A failure names the backup and
// why it could not be written.
std::optional<Failure> KeepGeneration(const std::filesystem::path& path, const std::string& writer, int64_t time,
                                      std::filesystem::path* kept);
// Once the save is stored: only the newest kBackupGenerations stay. (A save
// that fails removes the generation it kept instead, so failing saves never
// push out older lists.)
void PruneGenerations(const std::filesystem::path& path);

// Every generation beside the database, newest first; one that cannot be
// read says why in `damaged`.
std::vector<DVBBackupInfo> ListGenerations(const std::filesystem::path& path);

// Opens another board database file read only and reads its list, as a load
// reads the board's own; a failure says why (the file is not named).
std::optional<Failure> ReadOtherFile(const std::filesystem::path& path, std::vector<TunProgDataTag>* records,
                                     std::map<uint32_t, BesideValues>* beside);

}  // namespace cardlib
