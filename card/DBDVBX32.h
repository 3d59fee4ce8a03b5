// The card maker's board database library, declared exactly as our program
// calls it. Our stand-in in cardlib/ implements it; nothing here holds logic.
#pragma once

#include <cstdint>
#include <string>

namespace fw {
class Dialog;
}

// The handle of the window that opens and closes the board.
using BoardWindow = fw::Dialog*;

// 0 is success; any other value is a failure we only print.
enum DVBErrReturn : unsigned {
    DVB_ERR_OK = 0,
    DVB_ERR_DB_NOT_OPEN = 1,
    DVB_ERR_DB_IO = 2,
    DVB_ERR_DB_CORRUPT = 3,
    DVB_ERR_DB_BAD_SIZE = 4,
    DVB_ERR_DB_NO_SUCH_PROGRAM = 5,
    DVB_ERR_DB_NOT_LOADED = 6,
    DVB_ERR_BOARD = 7,
    DVB_ERR_DB_LOCKED = 8,   // another program holds the board database
    DVB_ERR_DB_CHANGED = 9,  // another program wrote it since it was loaded
};

// One program as the board database exchanges it. The library's record is 68
// bytes in its 32-bit layout; we still pass that number as the size on every
// read and write, and the stand-in refuses any other. Field order and
// widths are the library's.
struct TunProgDataTag {
    uint32_t index = 0;        // 1-based position in the board database
    uint32_t frequency = 0;    // kHz
    std::string name;          // owns its text (UTF-8)
    uint32_t standard = 0;
    uint32_t extraInfo = 0;
    uint16_t progId = 0;
    uint16_t tsId = 0;
    uint16_t nwId = 0;
    uint16_t serviceId = 0;
    uint8_t modulation = 0;
    uint8_t fec = 0;
    uint32_t symbolRate = 0;
    uint32_t tone22kHz = 0;
    uint32_t vertical = 0;
    uint8_t progType = 0;
    uint16_t videoPid = 0;
    uint16_t audioPid = 0;
    uint16_t pmtPid = 0;
    uint16_t txtPid = 0;
    uint16_t subtitlePid = 0;
    uint16_t dataPid = 0;
    uint8_t ipFilter = 0;
    uint32_t reserved1 = 0;
    uint32_t reserved2 = 0;

    bool operator==(const TunProgDataTag&) const = default;
};

// The size we pass for a TunProgDataTag.
inline constexpr uint32_t kTunProgDataTagSize = 68;

DVBErrReturn DVB_OpenBoard(BoardWindow window);
DVBErrReturn DVB_CloseBoard(BoardWindow window);
DVBErrReturn DVB_LoadDBProgData();
DVBErrReturn DVB_GetDBProgCount(uint32_t* first, uint32_t* count);
DVBErrReturn DVB_GetDBProgData(uint32_t position, uint32_t* size, TunProgDataTag* record);
DVBErrReturn DVB_DelAllDBProgData();
DVBErrReturn DVB_SetDBProgData(uint32_t size, TunProgDataTag* record);
DVBErrReturn DVB_SaveDBProgData();

// Kept by our stand-in beside each record, which keeps its 68 bytes: the
// operator's channel number of a program (0: none). Read by 1-based
// position once loaded; set by the index of a record set before.
DVBErrReturn DVB_GetDBProgChannelNumber(uint32_t position, uint32_t* channelNumber);
DVBErrReturn DVB_SetDBProgChannelNumber(uint32_t index, uint32_t channelNumber);
// The same for the CA systems the network names for the program (two 16-bit
// CA_system_ids, card/ProgramBeside.h) and its audio PID's stream type.
DVBErrReturn DVB_GetDBProgCaSystems(uint32_t position, uint32_t* caSystems);
DVBErrReturn DVB_SetDBProgCaSystems(uint32_t index, uint32_t caSystems);
DVBErrReturn DVB_GetDBProgAudioType(uint32_t position, uint32_t* audioStreamType);
DVBErrReturn DVB_SetDBProgAudioType(uint32_t index, uint32_t audioStreamType);

// Our stand-in's own calls beside the maker's: what the system needs to keep
// a user's list from being replaced unseen, and to say why a call failed.
//
// The revision of the stored list as the last DVB_LoadDBProgData found it or
// the last DVB_SaveDBProgData left it, and how many programs it held then;
// every write of the board database changes the revision, whoever writes.
// 0: no list has been stored yet. `storedCount` may be null.
DVBErrReturn DVB_GetDBRevision(uint64_t* revision, uint32_t* storedCount);
// Why the last failing call failed, naming the file and the reason
// ("/home/me/board.db: the file is read-only"); empty after a call that
// succeeded or where nothing more is known.
const char* DVB_GetLastErrorText();

// Our stand-in keeps the list a write replaces: before each DVB_SaveDBProgData
// over a stored list, a copy of the whole file as it stood (every value kept
// beside the records included) becomes the newest backup generation, beside
// the database; the newest 20 are kept. A copy that cannot be written fails
// the save, and nothing is written.
struct DVBBackupInfo {
    uint32_t number = 0;   // the generation; a newer one has a higher number
    int64_t time = 0;      // when it was kept, seconds since 1970 (UTC)
    uint32_t programs = 0;
    std::string writer;    // the program whose save replaced it: "kelvane", "kelvane-cli"
    std::string path;      // the backup's file
    std::string damaged;   // why it cannot be read; empty for a whole one
};
// How many backups there are, and each by its place, newest first (1-based).
DVBErrReturn DVB_GetDBBackupCount(uint32_t* count);
DVBErrReturn DVB_GetDBBackupInfo(uint32_t place, DVBBackupInfo* info);
// Loads the list of another board database file (a backup, another board's
// database) as DVB_LoadDBProgData loads the board's own, read only; the
// revision stays the one of the board's own list. A save after it writes
// that list, every value beside the records included.
DVBErrReturn DVB_LoadDBProgDataFrom(const char* path);
