#include "board/BoardDatabase.h"
#include "board/BoardFile.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "board/BoardBackups.h"
#include "card/ProgramFields.h"
#include "framework/XdgDirs.h"

namespace cardlib {

// The DVB_* functions reach the installed board's state through here.
struct BoardAccess {
    Board& board;
    explicit BoardAccess(const char* call) : board(Board::Current()) {
        if (board.m_Calls.recordNames) board.m_Calls.names.emplace_back(call);
        board.m_LastError.clear();
    }
    std::string& path() { return board.m_Path; }
    bool& open() { return board.m_Open; }
    bool& loaded() { return board.m_Loaded; }
    std::vector<TunProgDataTag>& records() { return board.m_Records; }
    std::map<uint32_t, BesideValues>& beside() { return board.m_Beside; }
    BoardFaults& faults() { return board.m_Faults; }
    BoardCalls& calls() { return board.m_Calls; }
    uint64_t& revision() { return board.m_Revision; }
    uint32_t& storedCount() { return board.m_StoredCount; }
    sqlite3*& held() { return board.m_Held; }
    bool& heldCreatedFile() { return board.m_HeldCreatedFile; }
    bool& heldBlank() { return board.m_HeldBlank; }
    int busyTimeoutMs() const { return board.m_BusyTimeoutMs; }
    const std::string& writer() const { return board.m_Writer; }
    int64_t now() const { return board.m_Now ? board.m_Now() : static_cast<int64_t>(std::time(nullptr)); }
    // The result, and the file and reason where it is a failure.
    DVBErrReturn Fail(DVBErrReturn result, const std::string& reason) {
        board.m_LastError = board.m_Path + ": " + reason;
        return result;
    }
    // A failure of another file than the board's own.
    DVBErrReturn FailAt(const std::string& path, DVBErrReturn result, const std::string& reason) {
        board.m_LastError = path + ": " + reason;
        return result;
    }
};


std::string DefaultBoardDatabasePath() {
    return (std::filesystem::path(fw::XdgDataHome()) / "kelvane" / "board.db").string();
}

Board::Board(std::string path) : m_Path(std::move(path)) {}

Board::~Board() { EndUpdate(); }

Board& Board::Current() { return CurrentOrDie("Board"); }

DVBErrReturn Board::BeginUpdate() {
    EndUpdate();
    m_LastError.clear();
    const std::filesystem::path path = m_Path;
    bool missing = false;
    bool blank = false;
    auto fail = [this](const Failure& f) {
        m_LastError = m_Path + ": " + f.reason;
        return f.result;
    };
    if (auto failure = CheckPath(path, &missing, &blank)) return fail(*failure);
    std::error_code ec;
    if (missing && path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    Db db;
    int rc = OpenDb(m_Path, true, m_Faults, m_BusyTimeoutMs, &db);
    if (rc == SQLITE_OK) rc = Exec(db.get(), "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) {
        const Failure failure = FailureFor(rc, path);
        db.reset();
        if (missing) RemoveCreated(path);
        return fail(failure);
    }
    m_Held = db.release();
    m_HeldCreatedFile = missing;
    m_HeldBlank = blank;
    return DVB_ERR_OK;
}

void Board::EndUpdate() {
    if (!m_Held) return;
    Exec(m_Held, "ROLLBACK");
    sqlite3_close_v2(m_Held);
    m_Held = nullptr;
    if (m_HeldCreatedFile) RemoveCreated(m_Path);
    m_HeldCreatedFile = false;
    m_HeldBlank = false;
}

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
    board.beside().clear();
    board.revision() = 0;
    board.storedCount() = 0;
    const std::filesystem::path path = board.path();
    cardlib::Db opened;
    sqlite3* db = board.held();
    bool blank = board.heldBlank();
    if (!db) {
        bool missing = false;
        if (auto failure = cardlib::CheckPath(path, &missing, &blank)) return board.Fail(failure->result, failure->reason);
        if (missing) {
            board.loaded() = true;  // no file yet: an empty list
            return DVB_ERR_OK;
        }
        // Read-write, so that a journal left by an interrupted save is rolled
        // back; read-only where the file cannot be written.
        const int rc = cardlib::OpenDb(board.path(), false, board.faults(), board.busyTimeoutMs(), &opened);
        if (rc != SQLITE_OK) {
            const cardlib::Failure failure = cardlib::FailureFor(rc, path);
            return board.Fail(failure.result, failure.reason);
        }
        db = opened.get();
    }
    cardlib::FileState state;
    if (auto failure = cardlib::CheckFile(db, path, blank, &state)) return board.Fail(failure->result, failure->reason);
    std::vector<TunProgDataTag> records;
    std::map<uint32_t, cardlib::BesideValues> beside;
    uint64_t revision = 0;
    if (!state.empty) {
        if (auto failure = cardlib::ReadRecords(db, path, &records, &beside)) return board.Fail(failure->result, failure->reason);
        if (const int rc = cardlib::ReadRevision(db, &revision); rc != SQLITE_OK) {
            const cardlib::Failure failure = cardlib::FailureFor(rc, path);
            return board.Fail(failure.result, failure.reason);
        }
    }
    board.records() = std::move(records);
    board.beside() = std::move(beside);
    board.revision() = revision;
    board.storedCount() = static_cast<uint32_t>(board.records().size());
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
    board.beside().clear();
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

    // An update's transaction is already open (and held since its load);
    // otherwise this save opens its own.
    cardlib::Db own;
    sqlite3* db = board.held();
    bool created = board.heldCreatedFile();
    bool blank = board.heldBlank();
    if (db) {
        board.held() = nullptr;
        board.heldCreatedFile() = false;
        board.heldBlank() = false;
        own.reset(db);
    } else {
        bool missing = false;
        if (auto failure = cardlib::CheckPath(path, &missing, &blank)) return board.Fail(failure->result, failure->reason);
        created = missing;
        std::error_code ec;
        if (missing && path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
        int rc = cardlib::OpenDb(board.path(), true, board.faults(), board.busyTimeoutMs(), &own);
        if (rc == SQLITE_OK) rc = cardlib::Exec(own.get(), "BEGIN IMMEDIATE");
        if (rc != SQLITE_OK) {
            const cardlib::Failure failure = cardlib::FailureFor(rc, path);
            own.reset();
            if (created) cardlib::RemoveCreated(path);
            return board.Fail(failure.result, failure.reason);
        }
        db = own.get();
    }
    uint64_t revision = board.revision();
    cardlib::BackupStamp backup{board.writer(), board.now(), {}};
    std::optional<cardlib::Failure> failure =
        cardlib::WriteRecords(db, path, blank, board.records(), board.beside(), board.faults(), backup, &revision);
    if (!failure) {
        if (const int commit = cardlib::Exec(db, "COMMIT"); commit != SQLITE_OK) failure = cardlib::FailureFor(commit, path);
    }
    std::error_code ec;
    if (failure && !backup.kept.empty()) std::filesystem::remove(backup.kept, ec);
    if (!failure) {
        cardlib::PruneGenerations(path);
        board.revision() = revision;
        board.storedCount() = static_cast<uint32_t>(board.records().size());
        return DVB_ERR_OK;
    }
    cardlib::Exec(db, "ROLLBACK");
    own.reset();
    // A failed first save leaves no file behind that looks like a board database.
    if (created) cardlib::RemoveCreated(path);
    return board.Fail(failure->result, failure->reason);
}

namespace {

// A value kept beside the record at a 1-based position of the loaded list.
DVBErrReturn GetBeside(cardlib::BoardAccess& board, uint32_t position, size_t slot, uint32_t* value) {
    if (!value) return DVB_ERR_DB_BAD_SIZE;
    if (!board.loaded()) return DVB_ERR_DB_NOT_LOADED;
    if (position == 0 || position > board.records().size()) return DVB_ERR_DB_NO_SUCH_PROGRAM;
    const auto found = board.beside().find(board.records()[position - 1].index);
    *value = found != board.beside().end() ? found->second[slot] : 0;
    return DVB_ERR_OK;
}

// Sets a value beside the record of `index`, set before; 0 is none.
DVBErrReturn SetBeside(cardlib::BoardAccess& board, uint32_t index, size_t slot, uint32_t value) {
    if (!board.loaded()) return DVB_ERR_DB_NOT_LOADED;
    const auto& records = board.records();
    const bool there = std::any_of(records.begin(), records.end(), [&](const TunProgDataTag& r) { return r.index == index; });
    if (!there) return DVB_ERR_DB_NO_SUCH_PROGRAM;
    if (value > cardlib::BesideColumn(slot).max) return DVB_ERR_DB_BAD_SIZE;
    auto found = board.beside().find(index);
    if (found == board.beside().end()) {
        if (value == 0) return DVB_ERR_OK;
        found = board.beside().emplace(index, cardlib::BesideValues{}).first;
    }
    found->second[slot] = value;
    if (found->second == cardlib::BesideValues{}) board.beside().erase(found);
    return DVB_ERR_OK;
}

}  // namespace

DVBErrReturn DVB_GetDBProgChannelNumber(uint32_t position, uint32_t* channelNumber) {
    cardlib::BoardAccess board("DVB_GetDBProgChannelNumber");
    return GetBeside(board, position, cardlib::kChannelNumberSlot, channelNumber);
}

DVBErrReturn DVB_SetDBProgChannelNumber(uint32_t index, uint32_t channelNumber) {
    cardlib::BoardAccess board("DVB_SetDBProgChannelNumber");
    return SetBeside(board, index, cardlib::kChannelNumberSlot, channelNumber);
}

DVBErrReturn DVB_GetDBProgCaSystems(uint32_t position, uint32_t* caSystems) {
    cardlib::BoardAccess board("DVB_GetDBProgCaSystems");
    return GetBeside(board, position, cardlib::kCaSystemsSlot, caSystems);
}

DVBErrReturn DVB_SetDBProgCaSystems(uint32_t index, uint32_t caSystems) {
    cardlib::BoardAccess board("DVB_SetDBProgCaSystems");
    return SetBeside(board, index, cardlib::kCaSystemsSlot, caSystems);
}

DVBErrReturn DVB_GetDBProgAudioType(uint32_t position, uint32_t* audioStreamType) {
    cardlib::BoardAccess board("DVB_GetDBProgAudioType");
    return GetBeside(board, position, cardlib::kAudioStreamTypeSlot, audioStreamType);
}

DVBErrReturn DVB_SetDBProgAudioType(uint32_t index, uint32_t audioStreamType) {
    cardlib::BoardAccess board("DVB_SetDBProgAudioType");
    return SetBeside(board, index, cardlib::kAudioStreamTypeSlot, audioStreamType);
}

DVBErrReturn DVB_GetDBRevision(uint64_t* revision, uint32_t* storedCount) {
    cardlib::BoardAccess board("DVB_GetDBRevision");
    if (!revision) return DVB_ERR_DB_BAD_SIZE;
    if (!board.loaded()) return DVB_ERR_DB_NOT_LOADED;
    *revision = board.revision();
    if (storedCount) *storedCount = board.storedCount();
    return DVB_ERR_OK;
}

const char* DVB_GetLastErrorText() { return cardlib::Board::Current().LastErrorText().c_str(); }

DVBErrReturn DVB_GetDBBackupCount(uint32_t* count) {
    cardlib::BoardAccess board("DVB_GetDBBackupCount");
    if (!count) return DVB_ERR_DB_BAD_SIZE;
    *count = static_cast<uint32_t>(cardlib::ListGenerations(board.path()).size());
    return DVB_ERR_OK;
}

DVBErrReturn DVB_GetDBBackupInfo(uint32_t place, DVBBackupInfo* info) {
    cardlib::BoardAccess board("DVB_GetDBBackupInfo");
    if (!info) return DVB_ERR_DB_BAD_SIZE;
    const std::vector<DVBBackupInfo> generations = cardlib::ListGenerations(board.path());
    if (place == 0 || place > generations.size()) return DVB_ERR_DB_NO_SUCH_PROGRAM;
    *info = generations[place - 1];
    return DVB_ERR_OK;
}

DVBErrReturn DVB_LoadDBProgDataFrom(const char* path) {
    cardlib::BoardAccess board("DVB_LoadDBProgDataFrom");
    if (board.faults().loadProgData != DVB_ERR_OK) return board.faults().loadProgData;
    if (!path) return DVB_ERR_DB_BAD_SIZE;
    // As a failed load: nothing left that a save could write.
    board.loaded() = false;
    board.records().clear();
    board.beside().clear();
    std::vector<TunProgDataTag> records;
    std::map<uint32_t, cardlib::BesideValues> beside;
    if (auto failure = cardlib::ReadOtherFile(path, &records, &beside)) return board.FailAt(path, failure->result, failure->reason);
    board.records() = std::move(records);
    board.beside() = std::move(beside);
    board.loaded() = true;
    return DVB_ERR_OK;
}
