#pragma once

#include <cstdint>

#include "card/DBDVBX32.h"

namespace fw {
class Dialog;
}

// The system's calls into the board database library, each failure shown at
// once in a message box of the owning window with the call's name and the
// returned value. The sequences: Load is LoadCount, then ReadRecord for
// positions 1 to the count; Save is PrepareSave, StoreRecord for each row,
// CommitSave.
class BoardGateway {
public:
    explicit BoardGateway(fw::Dialog& window) : m_Window(window) {}

    bool OpenBoard();
    bool CloseBoard();

    // DVB_LoadDBProgData, then DVB_GetDBProgCount; false when either fails.
    bool LoadCount(uint32_t* count);
    // DVB_GetDBProgData for a 1-based position.
    bool ReadRecord(uint32_t position, TunProgDataTag* record);

    // DVB_LoadDBProgData, then DVB_DelAllDBProgData. False when either fails:
    // then nothing may be written.
    bool PrepareSave();
    // DVB_SetDBProgData; the library stores the record at its own index.
    bool StoreRecord(TunProgDataTag* record);
    // The operator's channel number kept beside a record (0: none): read by
    // position after ReadRecord, stored by index after StoreRecord.
    bool ReadChannelNumber(uint32_t position, uint32_t* channelNumber);
    bool StoreChannelNumber(uint32_t index, uint32_t channelNumber);
    // DVB_SaveDBProgData.
    bool CommitSave();

private:
    bool Check(DVBErrReturn result, const char* call);

    fw::Dialog& m_Window;
};
