#include "programs/BoardGateway.h"

#include <string>

#include "framework/Dialog.h"

bool BoardGateway::Check(DVBErrReturn result, const char* call) {
    if (result == DVB_ERR_OK) return true;
    m_Window.MessageBox(std::string("Error on ") + call + ": " + std::to_string(static_cast<unsigned>(result)));
    return false;
}

bool BoardGateway::OpenBoard() { return Check(DVB_OpenBoard(&m_Window), "DVB_OpenBoard"); }

bool BoardGateway::CloseBoard() { return Check(DVB_CloseBoard(&m_Window), "DVB_CloseBoard"); }

bool BoardGateway::LoadCount(uint32_t* count) {
    *count = 0;
    if (!Check(DVB_LoadDBProgData(), "DVB_LoadDBProgData")) return false;
    uint32_t first = 0;
    uint32_t programs = 0;
    if (!Check(DVB_GetDBProgCount(&first, &programs), "DVB_GetDBProgCount")) return false;
    *count = programs;
    return true;
}

bool BoardGateway::ReadRecord(uint32_t position, TunProgDataTag* record) {
    uint32_t size = kTunProgDataTagSize;
    const DVBErrReturn result = DVB_GetDBProgData(position, &size, record);
    if (result == DVB_ERR_OK) return true;
    m_Window.MessageBox("Error on DVB_GetDBProgData(" + std::to_string(position) +
                        "): " + std::to_string(static_cast<unsigned>(result)));
    return false;
}

bool BoardGateway::PrepareSave() {
    if (!Check(DVB_LoadDBProgData(), "DVB_LoadDBProgData")) return false;
    // Writing over a list that was not cleared would store a mix of the old
    // and the new programs.
    return Check(DVB_DelAllDBProgData(), "DVB_DelAllDBProgData");
}

bool BoardGateway::StoreRecord(TunProgDataTag* record) {
    return Check(DVB_SetDBProgData(kTunProgDataTagSize, record), "DVB_SetDBProgData");
}

bool BoardGateway::ReadChannelNumber(uint32_t position, uint32_t* channelNumber) {
    *channelNumber = 0;
    return Check(DVB_GetDBProgChannelNumber(position, channelNumber), "DVB_GetDBProgChannelNumber");
}

bool BoardGateway::StoreChannelNumber(uint32_t index, uint32_t channelNumber) {
    return Check(DVB_SetDBProgChannelNumber(index, channelNumber), "DVB_SetDBProgChannelNumber");
}

bool BoardGateway::CommitSave() { return Check(DVB_SaveDBProgData(), "DVB_SaveDBProgData"); }
