#include "board/BoardFile.h"

#include <unistd.h>

#include <algorithm>
#include <system_error>

#include "card/ProgramFields.h"
#include "board/BoardBackups.h"
#include "board/BoardUpgrade.h"

namespace cardlib {

namespace {

// Marks the file as a board database ("KLVB"), so a save never writes into
// some other SQLite file that happens to sit at the path.
constexpr int kApplicationId = 0x4B4C5642;
// Each connection lives inside one call on the GUI thread: no locking needed.
constexpr int kOpenFlags = SQLITE_OPEN_NOMUTEX;


struct StmtFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// Every field of the record in a column of its own, named as the field
// table names it; `position` is the 1-based place in the list and the
// record's index. Files read by column name, so any order of columns reads.
std::vector<const ProgramField*> StoredFields() {
    std::vector<const ProgramField*> fields;
    for (const ProgramField& field : kProgramFields) {
        if (field.dbColumn) fields.push_back(&field);
    }
    return fields;
}

std::string ColumnList() {
    std::string columns;
    for (const ProgramField* field : StoredFields()) {
        if (!columns.empty()) columns += ", ";
        columns += field->dbColumn;
    }
    return columns;
}

// A new file gets every column at once; the beside columns come last, as
// the upgrades of an earlier file add them.
std::string CreateTable() {
    std::string sql = "CREATE TABLE IF NOT EXISTS programs (";
    const char* separator = "";
    for (const ProgramField* field : StoredFields()) {
        sql += separator;
        separator = ", ";
        sql += field->dbColumn;
        if (field->column == kColumnNr) sql += " INTEGER PRIMARY KEY";
        else if (field->kind == FieldKind::Name) sql += " TEXT NOT NULL";
        else sql += " INTEGER NOT NULL";
    }
    for (size_t slot = 0; slot < kBesideColumnCount; ++slot) {
        sql += std::string(", ") + BesideColumn(slot).besideColumn + " INTEGER NOT NULL DEFAULT 0";
    }
    return sql + ")";
}

bool Writable(const std::filesystem::path& path) { return ::access(path.c_str(), W_OK) == 0; }

std::filesystem::path FolderOf(const std::filesystem::path& path) {
    return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

}  // namespace

// What an SQLite result means for the user of the file at `path`.
Failure FailureFor(int sqliteResult, const std::filesystem::path& path) {
    std::error_code ec;
    switch (sqliteResult & 0xFF) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return {DVB_ERR_DB_LOCKED, "locked by another program; try again when it is done"};
        case SQLITE_FULL:
            return {DVB_ERR_DB_IO, "no space left on the disk"};
        case SQLITE_READONLY:
            if (std::filesystem::exists(path, ec) && Writable(path) && !Writable(FolderOf(path))) {
                return {DVB_ERR_DB_IO, "its folder is read-only"};
            }
            return {DVB_ERR_DB_IO, "the file is read-only"};
        case SQLITE_CANTOPEN:
            if (!std::filesystem::exists(FolderOf(path), ec)) return {DVB_ERR_DB_IO, "its folder does not exist"};
            if (!Writable(FolderOf(path))) return {DVB_ERR_DB_IO, "its folder is read-only"};
            if (std::filesystem::exists(path, ec) && !Writable(path)) return {DVB_ERR_DB_IO, "the file is read-only"};
            return {DVB_ERR_DB_IO, "the file cannot be opened"};
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return {DVB_ERR_DB_IO, "permission denied"};
        case SQLITE_NOTADB:
            return {DVB_ERR_DB_CORRUPT, "not a board database"};
        case SQLITE_CORRUPT:
        case SQLITE_FORMAT:
        case SQLITE_SCHEMA:
        case SQLITE_MISMATCH:
            return {DVB_ERR_DB_CORRUPT, "the file is damaged"};
        default:
            return {DVB_ERR_DB_IO, std::string("the file cannot be read or written (") + sqlite3_errstr(sqliteResult) + ")"};
    }
}

namespace {

const char* const kNotABoard = "not a board database (another program's file)";
const char* const kDamaged = "the file is damaged";

// Runs a statement that returns at most one integer; 0 when it returns none.
int QueryInt(sqlite3* db, const char* sql, int64_t* value) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    Stmt stmt(raw);
    if (rc != SQLITE_OK) return rc;
    rc = sqlite3_step(stmt.get());
    *value = 0;
    if (rc == SQLITE_ROW) {
        *value = sqlite3_column_int64(stmt.get(), 0);
        return SQLITE_OK;
    }
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

}  // namespace

int Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

// Whether the file is a board database of ours, or one without anything in
// it yet: `blank` (no bytes before this call, and no tables now: a write
// transaction on it already shows a first page), or one that our own first
// save stamped. A database of another program, even one without tables, is
// never taken over; nor one that another program wrote while this call
// waited for it, though it had no bytes before.
std::optional<Failure> CheckFile(sqlite3* db, const std::filesystem::path& path, bool blank, FileState* state) {
    int64_t tables = 0, pages = 0, applicationId = 0, version = 0;
    int rc = QueryInt(db, "SELECT count(*) FROM sqlite_master", &tables);
    if (rc == SQLITE_OK) rc = QueryInt(db, "PRAGMA page_count", &pages);
    if (rc == SQLITE_OK) rc = QueryInt(db, "PRAGMA application_id", &applicationId);
    if (rc == SQLITE_OK) rc = QueryInt(db, "PRAGMA user_version", &version);
    if (rc != SQLITE_OK) return FailureFor(rc, path);
    state->empty = tables == 0;
    state->version = 0;
    if ((blank && tables == 0) || pages == 0) return std::nullopt;
    if (applicationId != kApplicationId) return Failure{DVB_ERR_DB_CORRUPT, kNotABoard};
    // Its columns may hold what this Kelvane would drop on its next save.
    if (version > kSchemaVersion) return Failure{DVB_ERR_DB_CORRUPT, NewerSchemaText(version)};
    if (version < 1) return Failure{DVB_ERR_DB_CORRUPT, "written by another version of Kelvane"};
    state->version = version;
    return std::nullopt;
}

// The revision every write changes; a file without its table has 0.
int ReadRevision(sqlite3* db, uint64_t* revision) {
    int64_t tables = 0;
    *revision = 0;
    int rc = QueryInt(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'board_revision'", &tables);
    if (rc != SQLITE_OK || tables == 0) return rc;
    int64_t value = 0;
    rc = QueryInt(db, "SELECT max(revision) FROM board_revision", &value);
    *revision = value > 0 ? static_cast<uint64_t>(value) : 0;
    return rc;
}

namespace {

// Reads an integer column that must fit `max`; false for anything else.
bool ReadField(sqlite3_stmt* stmt, int column, int64_t max, int64_t* value) {
    if (sqlite3_column_type(stmt, column) != SQLITE_INTEGER) return false;
    *value = sqlite3_column_int64(stmt, column);
    return *value >= 0 && *value <= max;
}

}  // namespace

std::optional<Failure> ReadRecords(sqlite3* db, const std::filesystem::path& path,
                                   std::vector<TunProgDataTag>* records, std::map<uint32_t, BesideValues>* beside) {
    const std::vector<const ProgramField*> fields = StoredFields();
    // The beside columns the file has, and where each is in the result.
    const std::array<bool, kBesideColumnCount> present = BesideColumnsPresent(db);
    std::string sql = "SELECT " + ColumnList();
    std::vector<size_t> slots;
    for (size_t slot = 0; slot < kBesideColumnCount; ++slot) {
        if (!present[slot]) continue;
        sql += std::string(", ") + BesideColumn(slot).besideColumn;
        slots.push_back(slot);
    }
    sql += " FROM programs ORDER BY position";
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr);
    Stmt stmt(raw);
    if (rc != SQLITE_OK) return (rc & 0xFF) == SQLITE_ERROR ? Failure{DVB_ERR_DB_CORRUPT, kDamaged} : FailureFor(rc, path);
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        sqlite3_stmt* s = stmt.get();
        TunProgDataTag r;
        for (int c = 0; c < static_cast<int>(fields.size()); ++c) {
            const ProgramField& field = *fields[static_cast<size_t>(c)];
            if (field.kind == FieldKind::Name) {
                if (sqlite3_column_type(s, c) != SQLITE_TEXT) return Failure{DVB_ERR_DB_CORRUPT, kDamaged};
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
                r.name.assign(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(s, c)));
                continue;
            }
            int64_t value = 0;
            if (!ReadField(s, c, field.member.max, &value)) return Failure{DVB_ERR_DB_CORRUPT, kDamaged};
            // Positions start at 1; the list's order gives the index.
            if (field.column == kColumnNr && value == 0) return Failure{DVB_ERR_DB_CORRUPT, kDamaged};
            field.member.set(r, static_cast<uint32_t>(value));
        }
        r.index = static_cast<uint32_t>(records->size() + 1);
        BesideValues values{};
        bool any = false;
        for (size_t i = 0; i < slots.size(); ++i) {
            int64_t value = 0;
            const int column = static_cast<int>(fields.size() + i);
            if (!ReadField(s, column, BesideColumn(slots[i]).max, &value)) return Failure{DVB_ERR_DB_CORRUPT, kDamaged};
            values[slots[i]] = static_cast<uint32_t>(value);
            any = any || value != 0;
        }
        if (any) (*beside)[r.index] = values;
        records->push_back(std::move(r));
    }
    if (rc == SQLITE_DONE) return std::nullopt;
    return FailureFor(rc, path);
}

// Inside the caller's transaction: the list replaces the stored one, if the
// stored one is still the revision that was loaded, and the revision moves on.
std::optional<Failure> WriteRecords(sqlite3* db, const std::filesystem::path& path, bool blank,
                                    const std::vector<TunProgDataTag>& records,
                                    const std::map<uint32_t, BesideValues>& beside, const BoardFaults& faults,
                                    BackupStamp& backupStamp, uint64_t* revision) {
    FileState state;
    if (auto failure = CheckFile(db, path, blank, &state)) return failure;
    uint64_t stored = 0;
    if (const int rc = ReadRevision(db, &stored); rc != SQLITE_OK) return FailureFor(rc, path);
    if (stored != *revision) {
        return Failure{DVB_ERR_DB_CHANGED, "changed by another program since it was loaded; load it again"};
    }
    // The Kelvane that wrote it keeps a copy it can read.
    if (!state.empty && state.version < kSchemaVersion) {
        if (auto failure = KeepBackup(path, state.version)) return failure;
    }
    // The list this save replaces, to go back to.
    if (!state.empty) {
        if (auto failure = KeepGeneration(path, backupStamp.writer, backupStamp.time, &backupStamp.kept)) return failure;
    }
    const std::string stamp = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                              "; PRAGMA user_version = " + std::to_string(kSchemaVersion);
    const std::string next = std::to_string(stored + 1);
    int rc = Exec(db, CreateTable().c_str());
    if (rc == SQLITE_OK) rc = AddBesideColumns(db);
    if (rc == SQLITE_OK) rc = Exec(db, stamp.c_str());
    if (rc == SQLITE_OK) rc = Exec(db, "CREATE TABLE IF NOT EXISTS board_revision (revision INTEGER NOT NULL)");
    if (rc == SQLITE_OK) rc = Exec(db, ("DELETE FROM board_revision; INSERT INTO board_revision VALUES (" + next + ")").c_str());
    if (rc == SQLITE_OK) rc = Exec(db, "DELETE FROM programs");
    if (rc != SQLITE_OK) return FailureFor(rc, path);

    const std::vector<const ProgramField*> fields = StoredFields();
    std::string sql = "INSERT INTO programs (" + ColumnList();
    for (size_t slot = 0; slot < kBesideColumnCount; ++slot) sql += std::string(", ") + BesideColumn(slot).besideColumn;
    sql += ") VALUES (";
    for (size_t c = 0; c < fields.size() + kBesideColumnCount; ++c) sql += c == 0 ? "?" : ",?";
    sql += ")";
    sqlite3_stmt* raw = nullptr;
    rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr);
    Stmt stmt(raw);
    if (rc != SQLITE_OK) return FailureFor(rc, path);
    uint32_t written = 0;
    const BesideValues none{};
    for (const TunProgDataTag& r : records) {
        sqlite3_stmt* s = stmt.get();
        for (int c = 0; c < static_cast<int>(fields.size()); ++c) {
            const ProgramField& field = *fields[static_cast<size_t>(c)];
            if (field.kind == FieldKind::Name) {
                rc = sqlite3_bind_text(s, c + 1, r.name.data(), static_cast<int>(r.name.size()), SQLITE_TRANSIENT);
            } else {
                // A save stores positions 1 to n in the list's order, whatever the index says.
                const int64_t value = field.column == kColumnNr ? written + 1 : field.member.get(r);
                rc = sqlite3_bind_int64(s, c + 1, value);
            }
            if (rc != SQLITE_OK) return FailureFor(rc, path);
        }
        const auto found = beside.find(r.index);
        const BesideValues& values = found != beside.end() ? found->second : none;
        for (size_t slot = 0; slot < kBesideColumnCount && rc == SQLITE_OK; ++slot) {
            rc = sqlite3_bind_int64(s, static_cast<int>(fields.size() + slot) + 1, values[slot]);
        }
        if (rc != SQLITE_OK) return FailureFor(rc, path);
        rc = sqlite3_step(s);
        if (rc != SQLITE_DONE) return FailureFor(rc, path);
        sqlite3_reset(s);
        ++written;
        if (faults.duringSave) faults.duringSave(written);
    }
    *revision = stored + 1;
    return std::nullopt;
}

// A file whose only content is what a failed first save left: SQLite's
// journal beside it, and the file, when this call created it.
void RemoveCreated(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    std::filesystem::remove(path.string() + "-journal", ec);
}

// Opens the file for reading and writing (read-only where the file cannot be
// written, or where `create` is false and it is not writable), with the
// board's busy timeout and the faults a test set.
int OpenDb(const std::string& path, bool create, const BoardFaults& faults, int busyTimeoutMs, Db* db) {
    sqlite3* raw = nullptr;
    int flags = faults.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (create && !faults.readOnly) flags |= SQLITE_OPEN_CREATE;
    int rc = sqlite3_open_v2(path.c_str(), &raw, flags | kOpenFlags, nullptr);
    db->reset(raw);
    if (rc != SQLITE_OK && !create && !faults.readOnly) {
        raw = nullptr;
        rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | kOpenFlags, nullptr);
        db->reset(raw);
    }
    if (rc != SQLITE_OK) return rc;
    sqlite3_busy_timeout(db->get(), busyTimeoutMs);
    if (faults.maxPages > 0) rc = Exec(db->get(), ("PRAGMA max_page_count = " + std::to_string(faults.maxPages)).c_str());
    return rc;
}

// What stands at the path: nothing (the list is empty), a file (`blank`
// when it has no bytes), or something no database can be.
std::optional<Failure> CheckPath(const std::filesystem::path& path, bool* missing, bool* blank) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    *missing = status.type() == std::filesystem::file_type::not_found;
    *blank = *missing;
    if (*missing) return std::nullopt;
    if (status.type() == std::filesystem::file_type::directory) {
        return Failure{DVB_ERR_DB_IO, "this is a folder, not a board database file"};
    }
    if (ec) return Failure{DVB_ERR_DB_IO, ec.message()};
    if (status.type() != std::filesystem::file_type::regular) return Failure{DVB_ERR_DB_IO, "not a regular file"};
    if (::access(path.c_str(), R_OK) != 0) return Failure{DVB_ERR_DB_IO, "the file cannot be read (permission denied)"};
    *blank = std::filesystem::file_size(path, ec) == 0 && !ec;
    return std::nullopt;
}


}  // namespace cardlib
