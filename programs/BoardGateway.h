#pragma once

#include <cstdint>
#include <string>

#include "card/DBDVBX32.h"

namespace fw {
class Dialog;
}

// The system's calls into the board database library, each failure shown at
// once in a message box of the owning window: the call's name and the
// returned value, then the file and the reason where the library says them.
// The sequences: Load is LoadCount, then ReadRecord for positions 1 to the
// count; Save is LoadForSave, ClearForSave, StoreRecord for each row,
// CommitSave.
class BoardGateway {
public:
    explicit BoardGateway(fw::Dialog& window) : m_Window(window) {}

    bool OpenBoard();
    bool CloseBoard();

    // DVB_LoadDBProgData, then DVB_GetDBProgCount; false when either fails.
    // `revision` is that of the list the library loaded.
    bool LoadCount(uint32_t* count, uint64_t* revision);
    // DVB_GetDBProgData for a 1-based position.
    bool ReadRecord(uint32_t position, TunProgDataTag* record);

    // The first step of a save: DVB_LoadDBProgData, and what is stored now
    // (how many programs, which revision), for the window to decide whether
    // it may replace them. False when the load fails: then nothing may be
    // written.
    bool LoadForSave(uint32_t* storedCount, uint64_t* revision);
    // DVB_DelAllDBProgData. False when it fails: then nothing may be written.
    bool ClearForSave();
    // DVB_SetDBProgData; the library stores the record at its own index.
    bool StoreRecord(TunProgDataTag* record);
    // The operator's channel number kept beside a record (0: none): read by
    // position after ReadRecord, stored by index after StoreRecord.
    bool ReadChannelNumber(uint32_t position, uint32_t* channelNumber);
    bool StoreChannelNumber(uint32_t index, uint32_t channelNumber);
    // DVB_SaveDBProgData; `revision` is the one the stored list has now.
    bool CommitSave(uint64_t* revision);

    // "Error on CALL: RESULT", and on a second line the library's "FILE: reason".
    static std::string FailureText(const std::string& call, DVBErrReturn result);

private:
    bool Check(DVBErrReturn result, const char* call);

    fw::Dialog& m_Window;
};
