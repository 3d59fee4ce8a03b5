#include "cardlib/BoardDatabase.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>

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

// Every field in a column of its own; `position` is the 1-based place in
// the list and the record's index.
constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS programs ("
    "position INTEGER PRIMARY KEY, frequency INTEGER NOT NULL, name TEXT NOT NULL, "
    "standard INTEGER NOT NULL, extra_info INTEGER NOT NULL, prog_id INTEGER NOT NULL, "
    "ts_id INTEGER NOT NULL, nw_id INTEGER NOT NULL, service_id INTEGER NOT NULL, "
    "modulation INTEGER NOT NULL, fec INTEGER NOT NULL, symbol_rate INTEGER NOT NULL, "
    "tone_22khz INTEGER NOT NULL, vertical INTEGER NOT NULL, prog_type INTEGER NOT NULL, "
    "video_pid INTEGER NOT NULL, audio_pid INTEGER NOT NULL, pmt_pid INTEGER NOT NULL, "
    "txt_pid INTEGER NOT NULL, subtitle_pid INTEGER NOT NULL, data_pid INTEGER NOT NULL, "
    "ip_filter INTEGER NOT NULL, reserved1 INTEGER NOT NULL, reserved2 INTEGER NOT NULL)";

constexpr const char* kColumns =
    "position, frequency, name, standard, extra_info, prog_id, ts_id, nw_id, service_id, modulation, fec, "
    "symbol_rate, tone_22khz, vertical, prog_type, video_pid, audio_pid, pmt_pid, txt_pid, subtitle_pid, "
    "data_pid, ip_filter, reserved1, reserved2";

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

DVBErrReturn ReadRecords(sqlite3* db, std::vector<TunProgDataTag>* records) {
    const std::string sql = std::string("SELECT ") + kColumns + " FROM programs ORDER BY position";
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr);
    Stmt stmt(raw);
    if (rc != SQLITE_OK) return ErrorFor(rc);
    constexpr int64_t k32 = UINT32_MAX, k16 = UINT16_MAX, k8 = UINT8_MAX;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        sqlite3_stmt* s = stmt.get();
        TunProgDataTag r;
        int64_t v[24] = {};
        // The widths of the record's fields, in the order of kColumns.
        static constexpr int64_t kMax[24] = {k32, k32, 0,   k32, k32, k16, k16, k16, k16, k8,  k8,  k32,
                                             k32, k32, k8,  k16, k16, k16, k16, k16, k16, k8,  k32, k32};
        for (int c = 0; c < 24; ++c) {
            if (c == 2) continue;
            if (!ReadField(s, c, kMax[c], &v[c])) return DVB_ERR_DB_CORRUPT;
        }
        if (v[0] == 0 || sqlite3_column_type(s, 2) != SQLITE_TEXT) return DVB_ERR_DB_CORRUPT;
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, 2));
        r.name.assign(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(s, 2)));
        r.index = static_cast<uint32_t>(records->size() + 1);
        r.frequency = static_cast<uint32_t>(v[1]);
        r.standard = static_cast<uint32_t>(v[3]);
        r.extraInfo = static_cast<uint32_t>(v[4]);
        r.progId = static_cast<uint16_t>(v[5]);
        r.tsId = static_cast<uint16_t>(v[6]);
        r.nwId = static_cast<uint16_t>(v[7]);
        r.serviceId = static_cast<uint16_t>(v[8]);
        r.modulation = static_cast<uint8_t>(v[9]);
        r.fec = static_cast<uint8_t>(v[10]);
        r.symbolRate = static_cast<uint32_t>(v[11]);
        r.tone22kHz = static_cast<uint32_t>(v[12]);
        r.vertical = static_cast<uint32_t>(v[13]);
        r.progType = static_cast<uint8_t>(v[14]);
        r.videoPid = static_cast<uint16_t>(v[15]);
        r.audioPid = static_cast<uint16_t>(v[16]);
        r.pmtPid = static_cast<uint16_t>(v[17]);
        r.txtPid = static_cast<uint16_t>(v[18]);
        r.subtitlePid = static_cast<uint16_t>(v[19]);
        r.dataPid = static_cast<uint16_t>(v[20]);
        r.ipFilter = static_cast<uint8_t>(v[21]);
        r.reserved1 = static_cast<uint32_t>(v[22]);
        r.reserved2 = static_cast<uint32_t>(v[23]);
        records->push_back(std::move(r));
    }
    return rc == SQLITE_DONE ? DVB_ERR_OK : ErrorFor(rc);
}

DVBErrReturn WriteRecords(sqlite3* db, const std::vector<TunProgDataTag>& records, const BoardFaults& faults) {
    bool empty = false;
    DVBErrReturn result = CheckFile(db, &empty);
    if (result != DVB_ERR_OK) return result;
    const std::string stamp = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                              "; PRAGMA user_version = " + std::to_string(kSchemaVersion);
    int rc = Exec(db, kCreateTable);
    if (rc == SQLITE_OK) rc = Exec(db, stamp.c_str());
    if (rc == SQLITE_OK) rc = Exec(db, "DELETE FROM programs");
    if (rc != SQLITE_OK) return ErrorFor(rc);

    const std::string sql = std::string("INSERT INTO programs (") + kColumns +
                            ") VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
    sqlite3_stmt* raw = nullptr;
    rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr);
    Stmt stmt(raw);
    if (rc != SQLITE_OK) return ErrorFor(rc);
    uint32_t written = 0;
    for (const TunProgDataTag& r : records) {
        sqlite3_stmt* s = stmt.get();
        const int64_t v[24] = {written + 1,  r.frequency, 0,          r.standard,   r.extraInfo, r.progId,
                               r.tsId,       r.nwId,      r.serviceId, r.modulation, r.fec,       r.symbolRate,
                               r.tone22kHz,  r.vertical,  r.progType, r.videoPid,   r.audioPid,  r.pmtPid,
                               r.txtPid,     r.subtitlePid, r.dataPid, r.ipFilter,  r.reserved1, r.reserved2};
        for (int c = 0; c < 24; ++c) {
            rc = c == 2 ? sqlite3_bind_text(s, c + 1, r.name.data(), static_cast<int>(r.name.size()), SQLITE_TRANSIENT)
                        : sqlite3_bind_int64(s, c + 1, v[c]);
            if (rc != SQLITE_OK) return ErrorFor(rc);
        }
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
    if (!empty && (result = cardlib::ReadRecords(db.get(), &records)) != DVB_ERR_OK) return result;
    board.records() = std::move(records);
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
    DVBErrReturn result = cardlib::WriteRecords(db.get(), board.records(), board.faults());
    if (result == DVB_ERR_OK) {
        if (const int commit = cardlib::Exec(db.get(), "COMMIT"); commit != SQLITE_OK) {
            result = cardlib::ErrorFor(commit);
        }
    }
    if (result != DVB_ERR_OK) cardlib::Exec(db.get(), "ROLLBACK");
    return result;
}
