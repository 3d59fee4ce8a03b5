#include "programs/BoardGateway.h"

#include <string>

#include "framework/Dialog.h"

std::string BoardGateway::FailureText(const std::string& call, DVBErrReturn result) {
    std::string text = "Error on " + call + ": " + std::to_string(static_cast<unsigned>(result));
    // Read at once: the library's next call forgets it.
    const char* why = DVB_GetLastErrorText();
    if (why && *why) text += std::string("\n") + why;
    return text;
}

bool BoardGateway::Check(DVBErrReturn result, const char* call) {
    if (result == DVB_ERR_OK) return true;
    m_Window.MessageBox(FailureText(call, result));
    return false;
}

bool BoardGateway::OpenBoard() { return Check(DVB_OpenBoard(&m_Window), "DVB_OpenBoard"); }

bool BoardGateway::CloseBoard() { return Check(DVB_CloseBoard(&m_Window), "DVB_CloseBoard"); }

bool BoardGateway::LoadCount(uint32_t* count, uint64_t* revision) {
    *count = 0;
    *revision = 0;
    if (!Check(DVB_LoadDBProgData(), "DVB_LoadDBProgData")) return false;
    uint32_t first = 0;
    uint32_t programs = 0;
    if (!Check(DVB_GetDBProgCount(&first, &programs), "DVB_GetDBProgCount")) return false;
    *count = programs;
    DVB_GetDBRevision(revision, nullptr);
    return true;
}

bool BoardGateway::ReadRecord(uint32_t position, TunProgDataTag* record) {
    uint32_t size = kTunProgDataTagSize;
    const DVBErrReturn result = DVB_GetDBProgData(position, &size, record);
    if (result == DVB_ERR_OK) return true;
    m_Window.MessageBox(FailureText("DVB_GetDBProgData(" + std::to_string(position) + ")", result));
    return false;
}

bool BoardGateway::LoadForSave(uint32_t* storedCount, uint64_t* revision) {
    *storedCount = 0;
    *revision = 0;
    if (!Check(DVB_LoadDBProgData(), "DVB_LoadDBProgData")) return false;
    // Only to ask before replacing: a library that cannot say asks as a
    // changed list would.
    if (DVB_GetDBRevision(revision, storedCount) != DVB_ERR_OK) {
        *revision = UINT64_MAX;
        *storedCount = UINT32_MAX;
    }
    return true;
}

bool BoardGateway::ClearForSave() {
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

bool BoardGateway::CommitSave(uint64_t* revision) {
    if (!Check(DVB_SaveDBProgData(), "DVB_SaveDBProgData")) return false;
    DVB_GetDBRevision(revision, nullptr);
    return true;
}
