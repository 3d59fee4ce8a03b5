#include "board/BoardUpgrade.h"

#include <memory>
#include <system_error>

namespace cardlib {

std::array<bool, kBesideColumnCount> BesideColumnsPresent(sqlite3* db) {
    std::array<bool, kBesideColumnCount> present{};
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT name FROM pragma_table_info('programs')", -1, &raw, nullptr) != SQLITE_OK) {
        return present;
    }
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, sqlite3_finalize);
    while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
        const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0));
        const size_t slot = name ? BesideSlot(name) : kBesideColumnCount;
        if (slot < kBesideColumnCount) present[slot] = true;
    }
    return present;
}

int AddBesideColumns(sqlite3* db) {
    const std::array<bool, kBesideColumnCount> present = BesideColumnsPresent(db);
    for (size_t slot = 0; slot < kBesideColumnCount; ++slot) {
        if (present[slot]) continue;
        const std::string add = std::string("ALTER TABLE programs ADD COLUMN ") + BesideColumn(slot).besideColumn +
                                " INTEGER NOT NULL DEFAULT 0";
        if (const int rc = Exec(db, add.c_str()); rc != SQLITE_OK) return rc;
    }
    return SQLITE_OK;
}

std::string NewerSchemaText(int64_t version) {
    return "made by a newer Kelvane: schema " + std::to_string(version) + ", this one reads up to " +
           std::to_string(kSchemaVersion);
}

std::filesystem::path BackupPath(const std::filesystem::path& path, int64_t version) {
    return path.string() + ".schema-" + std::to_string(version) + ".bak";
}

namespace {

using Connection = std::unique_ptr<sqlite3, int (*)(sqlite3*)>;

}  // namespace

// Copies the file through SQLite, from a connection of its own: SQLite
// copies nothing from a connection inside a write transaction, and a
// descriptor of our own on the file would drop this process's locks on it
// when closed. The caller's transaction has written nothing yet and keeps
// every other writer out, so the copy is the file as it stands (and the
// copy's read lock goes with that transaction's: it never waits).
int CopyDatabase(const std::filesystem::path& from, const std::string& to) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(from.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    Connection source(raw, sqlite3_close_v2);
    if (rc != SQLITE_OK) return rc;
    raw = nullptr;
    rc = sqlite3_open_v2(to.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    Connection copy(raw, sqlite3_close_v2);
    if (rc != SQLITE_OK) return rc;
    sqlite3_backup* backup = sqlite3_backup_init(copy.get(), "main", source.get(), "main");
    if (!backup) return sqlite3_errcode(copy.get());
    rc = sqlite3_backup_step(backup, -1);
    const int finished = sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) return rc == SQLITE_OK ? SQLITE_ERROR : rc;
    if (finished != SQLITE_OK) return finished;
    return sqlite3_close_v2(copy.release());
}

std::optional<Failure> KeepBackup(const std::filesystem::path& path, int64_t version) {
    const std::filesystem::path backup = BackupPath(path, version);
    const std::filesystem::path partial = backup.string() + ".part";
    auto fail = [&](const std::string& why) {
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        std::filesystem::remove(partial.string() + "-journal", ignored);
        return Failure{DVB_ERR_DB_IO, "its copy " + backup.string() + " could not be written before the upgrade to schema " +
                                          std::to_string(kSchemaVersion) + " (" + why + "); nothing was changed"};
    };
    std::error_code ec;
    // What an interrupted copy left.
    std::filesystem::remove(partial, ec);
    if (const int rc = CopyDatabase(path, partial.string()); rc != SQLITE_OK) return fail(FailureFor(rc, partial).reason);
    std::filesystem::rename(partial, backup, ec);
    if (ec) return fail(ec.message());
    return std::nullopt;
}

}  // namespace cardlib
