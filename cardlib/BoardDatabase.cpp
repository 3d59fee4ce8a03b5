#include "cardlib/BoardDatabase.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>

#include "card/ProgramFields.h"
#include "framework/XdgDirs.h"

namespace cardlib {

namespace {

// Marks the file as a board database ("KLVB"), so a save never writes into
// some other SQLite file that happens to sit at the path.
constexpr int kApplicationId = 0x4B4C5642;
constexpr int kSchemaVersion = 1;
// Each connection lives inside one call on the GUI thread: no locking needed.
constexpr int kOpenFlags = SQLITE_OPEN_NOMUTEX;

}  // namespace

// The DVB_* functions reach the installed board's state through here.
struct BoardAccess {
    Board& board;
    explicit BoardAccess(const char* call) : board(Board::Current()) {
        if (board.m_Calls.recordNames) board.m_Calls.names.emplace_back(call);
    }
    std::string& path() { return board.m_Path; }
    bool& open() { return board.m_Open; }
    bool& loaded() { return board.m_Loaded; }
    std::vector<TunProgDataTag>& records() { return board.m_Records; }
    std::map<uint32_t, uint32_t>& channelNumbers() { return board.m_ChannelNumbers; }
    BoardFaults& faults() { return board.m_Faults; }
    BoardCalls& calls() { return board.m_Calls; }
};

namespace {

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;
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
    return sql + ")";
}

// The stand-in's own column beside the record's fields. Files written before
// it have none: they read as programs without numbers, and the first save
// adds it, so earlier versions still read the file by their columns.
constexpr const char* kChannelNumberColumn = "channel_number";

bool HasChannelNumberColumn(sqlite3* db) {
    int64_t count = 0;
    const std::string sql =
        std::string("SELECT count(*) FROM pragma_table_info('programs') WHERE name = '") + kChannelNumberColumn + "'";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) return false;
    Stmt stmt(raw);
    if (sqlite3_step(stmt.get()) == SQLITE_ROW) count = sqlite3_column_int64(stmt.get(), 0);
    return count > 0;
}

DVBErrReturn ErrorFor(int sqliteResult) {
    switch (sqliteResult & 0xFF) {
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_FORMAT:
        case SQLITE_SCHEMA:
        case SQLITE_MISMATCH:
            return DVB_ERR_DB_CORRUPT;
        default:
            return DVB_ERR_DB_IO;
    }
}

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

int Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

// Whether the file is a board database of ours, or an empty one.
DVBErrReturn CheckFile(sqlite3* db, bool* empty) {
    int64_t tables = 0, applicationId = 0, version = 0;
    int rc = QueryInt(db, "SELECT count(*) FROM sqlite_master", &tables);
    if (rc != SQLITE_OK) return ErrorFor(rc);
    *empty = tables == 0;
    if (*empty) return DVB_ERR_OK;
    if ((rc = QueryInt(db, "PRAGMA application_id", &applicationId)) != SQLITE_OK) return ErrorFor(rc);
    if ((rc = QueryInt(db, "PRAGMA user_version", &version)) != SQLITE_OK) return ErrorFor(rc);
    if (applicationId != kApplicationId || version != kSchemaVersion) return DVB_ERR_DB_CORRUPT;
    return DVB_ERR_OK;
}

// Reads an integer column that must fit `max`; false for anything else.
bool ReadField(sqlite3_stmt* stmt, int column, int64_t max, int64_t* value) {
    if (sqlite3_column_type(stmt, column) != SQLITE_INTEGER) return false;
    *value = sqlite3_column_int64(stmt, column);
    return *value >= 0 && *value <= max;
}

DVBErrReturn ReadRecords(sqlite3* db, std::vector<TunProgDataTag>* records, std::map<uint32_t, uint32_t>* numbers) {
    const std::vector<const ProgramField*> fields = StoredFields();
    const bool withNumbers = HasChannelNumberColumn(db);
    const std::string sql = "SELECT " + ColumnList() + (withNumbers ? std::string(", ") + kChannelNumberColumn : "") +
                            " FROM programs ORDER BY position";
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr);
    Stmt stmt(raw);
    if (rc != SQLITE_OK) return ErrorFor(rc);
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        sqlite3_stmt* s = stmt.get();
        TunProgDataTag r;
        for (int c = 0; c < static_cast<int>(fields.size()); ++c) {
            const ProgramField& field = *fields[static_cast<size_t>(c)];
            if (field.kind == FieldKind::Name) {
                if (sqlite3_column_type(s, c) != SQLITE_TEXT) return DVB_ERR_DB_CORRUPT;
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
                r.name.assign(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(s, c)));
                continue;
            }
            int64_t value = 0;
            if (!ReadField(s, c, field.member.max, &value)) return DVB_ERR_DB_CORRUPT;
            // Positions start at 1; the list's order gives the index.
            if (field.column == kColumnNr && value == 0) return DVB_ERR_DB_CORRUPT;
            field.member.set(r, static_cast<uint32_t>(value));
        }
        r.index = static_cast<uint32_t>(records->size() + 1);
        if (withNumbers) {
            int64_t number = 0;
            if (!ReadField(s, static_cast<int>(fields.size()), UINT16_MAX, &number)) return DVB_ERR_DB_CORRUPT;
            if (number != 0) (*numbers)[r.index] = static_cast<uint32_t>(number);
        }
        records->push_back(std::move(r));
    }
    return rc == SQLITE_DONE ? DVB_ERR_OK : ErrorFor(rc);
}

DVBErrReturn WriteRecords(sqlite3* db, const std::vector<TunProgDataTag>& records,
                          const std::map<uint32_t, uint32_t>& numbers, const BoardFaults& faults) {
    bool empty = false;
    DVBErrReturn result = CheckFile(db, &empty);
    if (result != DVB_ERR_OK) return result;
    const std::string stamp = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                              "; PRAGMA user_version = " + std::to_string(kSchemaVersion);
    int rc = Exec(db, CreateTable().c_str());
    if (rc == SQLITE_OK && !HasChannelNumberColumn(db)) {
        const std::string add =
            std::string("ALTER TABLE programs ADD COLUMN ") + kChannelNumberColumn + " INTEGER NOT NULL DEFAULT 0";
        rc = Exec(db, add.c_str());
    }
    if (rc == SQLITE_OK) rc = Exec(db, stamp.c_str());
    if (rc == SQLITE_OK) rc = Exec(db, "DELETE FROM programs");
    if (rc != SQLITE_OK) return ErrorFor(rc);

    const std::vector<const ProgramField*> fields = StoredFields();
    std::string sql = "INSERT INTO programs (" + ColumnList() + ", " + kChannelNumberColumn + ") VALUES (";
    for (size_t c = 0; c < fields.size(); ++c) sql += c == 0 ? "?" : ",?";
    sql += ",?)";
    sqlite3_stmt* raw = nullptr;
    rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr);
    Stmt stmt(raw);
    if (rc != SQLITE_OK) return ErrorFor(rc);
    uint32_t written = 0;
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
            if (rc != SQLITE_OK) return ErrorFor(rc);
        }
        const auto number = numbers.find(r.index);
        rc = sqlite3_bind_int64(s, static_cast<int>(fields.size()) + 1, number != numbers.end() ? number->second : 0);
        if (rc != SQLITE_OK) return ErrorFor(rc);
        rc = sqlite3_step(s);
        if (rc != SQLITE_DONE) return ErrorFor(rc);
        sqlite3_reset(s);
        ++written;
        if (faults.duringSave) faults.duringSave(written);
    }
    return DVB_ERR_OK;
}

}  // namespace

std::string DefaultBoardDatabasePath() {
    return (std::filesystem::path(fw::XdgDataHome()) / "kelvane" / "board.db").string();
}

Board::Board(std::string path) : m_Path(std::move(path)) {}

Board::~Board() = default;

Board& Board::Current() { return CurrentOrDie("Board"); }

}  // namespace cardlib


DVBErrReturn DVB_OpenBoard(BoardWindow) {
    cardlib::BoardAccess board("DVB_OpenBoard");
    if (board.faults().openBoard != DVB_ERR_OK) return board.faults().openBoard;
    board.open() = true;
    return DVB_ERR_OK;
}

DVBErrReturn DVB_CloseBoard(BoardWindow) {
    cardlib::BoardAccess board("DVB_CloseBoard");
    if (board.faults().closeBoard != DVB_ERR_OK) return board.faults().closeBoard;
    board.open() = false;
    return DVB_ERR_OK;
}

DVBErrReturn DVB_LoadDBProgData() {
    cardlib::BoardAccess board("DVB_LoadDBProgData");
    if (board.faults().loadProgData != DVB_ERR_OK) return board.faults().loadProgData;
    // Whatever happens below, a failed load leaves nothing that a save could
    // write over the file with.
    board.loaded() = false;
    board.records().clear();
    board.channelNumbers().clear();
    const std::string path = board.path();
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) {
        board.loaded() = true;  // no file yet: an empty list
        return DVB_ERR_OK;
    }
    if (ec) return DVB_ERR_DB_IO;
    if (status.type() != std::filesystem::file_type::regular) return DVB_ERR_DB_IO;

    // Read-write, so that a journal left by an interrupted save is rolled
    // back; read-only where the file cannot be written.
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | cardlib::kOpenFlags, nullptr);
    cardlib::Db db(raw);
    if (rc != SQLITE_OK) {
        raw = nullptr;
        rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | cardlib::kOpenFlags, nullptr);
        db.reset(raw);
        if (rc != SQLITE_OK) return cardlib::ErrorFor(rc);
    }
    sqlite3_busy_timeout(db.get(), 2000);
    bool empty = false;
    DVBErrReturn result = cardlib::CheckFile(db.get(), &empty);
    if (result != DVB_ERR_OK) return result;
    std::vector<TunProgDataTag> records;
    std::map<uint32_t, uint32_t> numbers;
    if (!empty && (result = cardlib::ReadRecords(db.get(), &records, &numbers)) != DVB_ERR_OK) return result;
    board.records() = std::move(records);
    board.channelNumbers() = std::move(numbers);
    board.loaded() = true;
    return DVB_ERR_OK;
}

DVBErrReturn DVB_GetDBProgCount(uint32_t* first, uint32_t* count) {
    cardlib::BoardAccess board("DVB_GetDBProgCount");
    if (board.faults().getProgCount != DVB_ERR_OK) return board.faults().getProgCount;
    if (!count) return DVB_ERR_DB_BAD_SIZE;
    if (!board.loaded()) return DVB_ERR_DB_NOT_LOADED;
    const auto n = static_cast<uint32_t>(board.records().size());
    if (first) *first = n;
    *count = n;
    return DVB_ERR_OK;
}

DVBErrReturn DVB_GetDBProgData(uint32_t position, uint32_t* size, TunProgDataTag* record) {
    cardlib::BoardAccess board("DVB_GetDBProgData");
    const auto& f = board.faults();
    if (f.getProgData != DVB_ERR_OK && (f.getProgDataPosition == 0 || f.getProgDataPosition == position)) {
        return f.getProgData;
    }
    if (!size || *size != kTunProgDataTagSize || !record) return DVB_ERR_DB_BAD_SIZE;
    if (!board.loaded()) return DVB_ERR_DB_NOT_LOADED;
    if (position == 0 || position > board.records().size()) return DVB_ERR_DB_NO_SUCH_PROGRAM;
    *record = board.records()[position - 1];
    record->index = position;
    return DVB_ERR_OK;
}

DVBErrReturn DVB_DelAllDBProgData() {
    cardlib::BoardAccess board("DVB_DelAllDBProgData");
    if (board.faults().delAllProgData != DVB_ERR_OK) return board.faults().delAllProgData;
    if (!board.loaded()) return DVB_ERR_DB_NOT_LOADED;
    board.records().clear();
    board.channelNumbers().clear();
    return DVB_ERR_OK;
}

DVBErrReturn DVB_SetDBProgData(uint32_t size, TunProgDataTag* record) {
    cardlib::BoardAccess board("DVB_SetDBProgData");
    auto& f = board.faults();
    ++board.calls().setProgData;
    if (f.setProgData != DVB_ERR_OK && (f.setProgDataCall == 0 || f.setProgDataCall == board.calls().setProgData)) {
        return f.setProgData;
    }
    if (size != kTunProgDataTagSize || !record) return DVB_ERR_DB_BAD_SIZE;
    if (!board.loaded()) return DVB_ERR_DB_NOT_LOADED;
    if (record->index == 0) return DVB_ERR_DB_NO_SUCH_PROGRAM;
    auto& records = board.records();
    // A save stores positions 1 to n in order: appending is the common case.
    if (records.empty() || records.back().index < record->index) {
        records.push_back(*record);
        return DVB_ERR_OK;
    }
    auto it = std::lower_bound(records.begin(), records.end(), record->index,
                               [](const TunProgDataTag& r, uint32_t index) { return r.index < index; });
    if (it != records.end() && it->index == record->index) *it = *record;
    else records.insert(it, *record);
    return DVB_ERR_OK;
}

DVBErrReturn DVB_SaveDBProgData() {
    cardlib::BoardAccess board("DVB_SaveDBProgData");
    if (board.faults().saveProgData != DVB_ERR_OK) return board.faults().saveProgData;
    if (!board.loaded()) return DVB_ERR_DB_NOT_LOADED;
    const std::filesystem::path path = board.path();
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);

    sqlite3* raw = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | cardlib::kOpenFlags;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    cardlib::Db db(raw);
    if (rc != SQLITE_OK) return cardlib::ErrorFor(rc);
    sqlite3_busy_timeout(db.get(), 2000);
    if (const int begin = cardlib::Exec(db.get(), "BEGIN IMMEDIATE"); begin != SQLITE_OK) {
        return cardlib::ErrorFor(begin);
    }
    DVBErrReturn result = cardlib::WriteRecords(db.get(), board.records(), board.channelNumbers(), board.faults());
    if (result == DVB_ERR_OK) {
        if (const int commit = cardlib::Exec(db.get(), "COMMIT"); commit != SQLITE_OK) {
            result = cardlib::ErrorFor(commit);
        }
    }
    if (result != DVB_ERR_OK) cardlib::Exec(db.get(), "ROLLBACK");
    return result;
}

DVBErrReturn DVB_GetDBProgChannelNumber(uint32_t position, uint32_t* channelNumber) {
    cardlib::BoardAccess board("DVB_GetDBProgChannelNumber");
    if (!channelNumber) return DVB_ERR_DB_BAD_SIZE;
    if (!board.loaded()) return DVB_ERR_DB_NOT_LOADED;
    if (position == 0 || position > board.records().size()) return DVB_ERR_DB_NO_SUCH_PROGRAM;
    const auto number = board.channelNumbers().find(board.records()[position - 1].index);
    *channelNumber = number != board.channelNumbers().end() ? number->second : 0;
    return DVB_ERR_OK;
}

DVBErrReturn DVB_SetDBProgChannelNumber(uint32_t index, uint32_t channelNumber) {
    cardlib::BoardAccess board("DVB_SetDBProgChannelNumber");
    if (!board.loaded()) return DVB_ERR_DB_NOT_LOADED;
    const auto& records = board.records();
    const bool there = std::any_of(records.begin(), records.end(), [&](const TunProgDataTag& r) { return r.index == index; });
    if (!there) return DVB_ERR_DB_NO_SUCH_PROGRAM;
    if (channelNumber > UINT16_MAX) return DVB_ERR_DB_BAD_SIZE;
    if (channelNumber == 0) board.channelNumbers().erase(index);
    else board.channelNumbers()[index] = channelNumber;
    return DVB_ERR_OK;
}
