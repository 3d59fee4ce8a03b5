#include "board/BoardBackups.h"

#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <system_error>

#include "board/BoardUpgrade.h"

namespace cardlib {

namespace {

// When and by whom a generation was kept, in a table of the copy itself, so
// that a copy and what is said of it cannot part.
constexpr const char* kStampTable = "kelvane_backup";

constexpr const char* kPrefix = "backup-";
constexpr const char* kSuffix = ".db";

std::filesystem::path GenerationPath(const std::filesystem::path& folder, uint32_t number) {
    return folder / (kPrefix + std::to_string(number) + kSuffix);
}

// The generations' numbers in the folder, ascending; other files are not ours.
std::vector<uint32_t> GenerationNumbers(const std::filesystem::path& folder) {
    std::vector<uint32_t> numbers;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string prefix = kPrefix, suffix = kSuffix;
        if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
            continue;
        }
        const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        numbers.push_back(static_cast<uint32_t>(std::stoul(digits)));
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

using Connection = std::unique_ptr<sqlite3, int (*)(sqlite3*)>;
using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

int Stamp(const std::string& copy, const std::string& writer, int64_t time) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(copy.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    Connection db(raw, sqlite3_close_v2);
    if (rc != SQLITE_OK) return rc;
    rc = Exec(db.get(), (std::string("CREATE TABLE IF NOT EXISTS ") + kStampTable +
                         " (time INTEGER NOT NULL, writer TEXT NOT NULL); DELETE FROM " + kStampTable)
                            .c_str());
    if (rc != SQLITE_OK) return rc;
    sqlite3_stmt* stmt = nullptr;
    rc = sqlite3_prepare_v2(db.get(), (std::string("INSERT INTO ") + kStampTable + " VALUES (?, ?)").c_str(), -1, &stmt,
                            nullptr);
    Statement insert(stmt, sqlite3_finalize);
    if (rc != SQLITE_OK) return rc;
    sqlite3_bind_int64(stmt, 1, time);
    sqlite3_bind_text(stmt, 2, writer.data(), static_cast<int>(writer.size()), SQLITE_TRANSIENT);
    rc = sqlite3_step(stmt);
    if (rc != SQLITE_DONE) return rc;
    insert.reset();
    return sqlite3_close_v2(db.release());
}

// A copy's stamp; false where it has none.
bool ReadStamp(sqlite3* db, int64_t* time, std::string* writer) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, (std::string("SELECT time, writer FROM ") + kStampTable).c_str(), -1, &stmt, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(stmt);
        return false;
    }
    Statement select(stmt, sqlite3_finalize);
    if (sqlite3_step(stmt) != SQLITE_ROW || sqlite3_column_type(stmt, 0) != SQLITE_INTEGER ||
        sqlite3_column_type(stmt, 1) != SQLITE_TEXT) {
        return false;
    }
    *time = sqlite3_column_int64(stmt, 0);
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
    writer->assign(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(stmt, 1)));
    return true;
}

}  // namespace

std::filesystem::path BackupFolder(const std::filesystem::path& path) { return path.string() + ".backups"; }

std::optional<Failure> KeepGeneration(const std::filesystem::path& path, const std::string& writer, int64_t time,
                                      std::filesystem::path* kept) {
    const std::filesystem::path folder = BackupFolder(path);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::vector<uint32_t> numbers = GenerationNumbers(folder);
    const std::filesystem::path backup = GenerationPath(folder, numbers.empty() ? 1 : numbers.back() + 1);
    const std::filesystem::path partial = backup.string() + ".part";
    auto fail = [&](const std::string& why) {
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        std::filesystem::remove(partial.string() + "-journal", ignored);
        return Failure{DVB_ERR_DB_IO, "its backup " + backup.string() + " could not be written (" + why +
                                          "); nothing was changed"};
    };
    if (ec) return fail(ec.message());
    if (!std::filesystem::is_directory(folder, ec)) return fail(folder.string() + " is not a folder");
    std::filesystem::remove(partial, ec);
    if (const int rc = CopyDatabase(path, partial.string()); rc != SQLITE_OK) return fail(FailureFor(rc, partial).reason);
    if (const int rc = Stamp(partial.string(), writer, time); rc != SQLITE_OK) return fail(FailureFor(rc, partial).reason);
    std::filesystem::rename(partial, backup, ec);
    if (ec) return fail(ec.message());
    *kept = backup;
    return std::nullopt;
}

void PruneGenerations(const std::filesystem::path& path) {
    const std::filesystem::path folder = BackupFolder(path);
    std::vector<uint32_t> numbers = GenerationNumbers(folder);
    // One that will not go leaves an extra generation, no harm.
    std::error_code ec;
    for (size_t i = 0; i + kBackupGenerations < numbers.size(); ++i) std::filesystem::remove(GenerationPath(folder, numbers[i]), ec);
}

std::optional<Failure> ReadOtherFile(const std::filesystem::path& path, std::vector<TunProgDataTag>* records,
                                     std::map<uint32_t, BesideValues>* beside) {
    bool missing = false, blank = false;
    if (auto failure = CheckPath(path, &missing, &blank)) return failure;
    if (missing) return Failure{DVB_ERR_DB_IO, "no such file"};
    if (blank) return Failure{DVB_ERR_DB_CORRUPT, "the file is empty"};
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    Connection db(raw, sqlite3_close_v2);
    if (rc != SQLITE_OK) return FailureFor(rc, path);
    FileState state;
    if (auto failure = CheckFile(db.get(), path, false, &state)) return failure;
    if (state.empty) return Failure{DVB_ERR_DB_CORRUPT, "holds no program list"};
    return ReadRecords(db.get(), path, records, beside);
}

std::vector<DVBBackupInfo> ListGenerations(const std::filesystem::path& path) {
    const std::filesystem::path folder = BackupFolder(path);
    std::vector<uint32_t> numbers = GenerationNumbers(folder);
    std::vector<DVBBackupInfo> generations;
    for (auto number = numbers.rbegin(); number != numbers.rend(); ++number) {
        DVBBackupInfo info;
        info.number = *number;
        info.path = GenerationPath(folder, *number).string();
        std::vector<TunProgDataTag> records;
        std::map<uint32_t, BesideValues> beside;
        if (auto failure = ReadOtherFile(info.path, &records, &beside)) {
            info.damaged = failure->reason;
        } else {
            info.programs = static_cast<uint32_t>(records.size());
            sqlite3* raw = nullptr;
            sqlite3_open_v2(info.path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
            Connection db(raw, sqlite3_close_v2);
            if (!db || !ReadStamp(db.get(), &info.time, &info.writer)) info.damaged = "it says not when it was kept";
        }
        generations.push_back(std::move(info));
    }
    return generations;
}

}  // namespace cardlib
