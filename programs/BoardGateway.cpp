#include "programs/BoardGateway.h"

#include <ctime>
#include <string>

#include "framework/Dialog.h"

namespace {

// The values beside a record, each with the library's calls for it.
struct BesideCall {
    uint32_t ProgramBeside::*value;
    DVBErrReturn (*get)(uint32_t position, uint32_t* value);
    DVBErrReturn (*set)(uint32_t index, uint32_t value);
    const char* getName;
    const char* setName;
};

constexpr BesideCall kBesideCalls[] = {
    {&ProgramBeside::channelNumber, DVB_GetDBProgChannelNumber, DVB_SetDBProgChannelNumber,
     "DVB_GetDBProgChannelNumber", "DVB_SetDBProgChannelNumber"},
    {&ProgramBeside::caSystems, DVB_GetDBProgCaSystems, DVB_SetDBProgCaSystems, "DVB_GetDBProgCaSystems",
     "DVB_SetDBProgCaSystems"},
    {&ProgramBeside::audioStreamType, DVB_GetDBProgAudioType, DVB_SetDBProgAudioType, "DVB_GetDBProgAudioType",
     "DVB_SetDBProgAudioType"},
};

}  // namespace

BoardGateway::BoardGateway(fw::Dialog& window)
    : m_Report([&window](const std::string& message) { window.MessageBox(message); }),
      m_After(AfterProgramFailure::GoOn),
      m_Window(&window) {}

std::string BoardGateway::FailureText(const std::string& call, DVBErrReturn result) {
    std::string text = "Error on " + call + ": " + std::to_string(static_cast<unsigned>(result));
    // Read at once: the library's next call forgets it.
    const char* why = DVB_GetLastErrorText();
    if (why && *why) text += std::string("\n") + why;
    return text;
}

bool BoardGateway::Check(DVBErrReturn result, const std::string& call) {
    if (result == DVB_ERR_OK) return true;
    m_Report(FailureText(call, result));
    return false;
}

bool BoardGateway::OpenBoard() { return Check(DVB_OpenBoard(m_Window), "DVB_OpenBoard"); }

bool BoardGateway::CloseBoard() { return Check(DVB_CloseBoard(m_Window), "DVB_CloseBoard"); }

bool BoardGateway::Load(BoardPrograms* programs, uint64_t* revision) {
    *programs = {};
    *revision = 0;
    uint32_t first = 0;
    uint32_t count = 0;
    if (!Check(DVB_LoadDBProgData(), "DVB_LoadDBProgData")) return false;
    if (!Check(DVB_GetDBProgCount(&first, &count), "DVB_GetDBProgCount")) return false;
    DVB_GetDBRevision(revision, nullptr);
    return ReadLoaded(count, programs);
}

bool BoardGateway::LoadFrom(const std::string& path, BoardPrograms* programs) {
    *programs = {};
    uint32_t first = 0;
    uint32_t count = 0;
    if (!Check(DVB_LoadDBProgDataFrom(path.c_str()), "DVB_LoadDBProgDataFrom")) return false;
    if (!Check(DVB_GetDBProgCount(&first, &count), "DVB_GetDBProgCount")) return false;
    return ReadLoaded(count, programs);
}

bool BoardGateway::Replace(const std::string& path, uint64_t* revision) {
    *revision = 0;
    if (!Check(DVB_LoadDBProgData(), "DVB_LoadDBProgData")) return false;
    if (!Check(DVB_LoadDBProgDataFrom(path.c_str()), "DVB_LoadDBProgDataFrom")) return false;
    if (!Check(DVB_SaveDBProgData(), "DVB_SaveDBProgData")) return false;
    DVB_GetDBRevision(revision, nullptr);
    return true;
}

std::vector<DVBBackupInfo> BoardGateway::Backups() {
    std::vector<DVBBackupInfo> backups;
    uint32_t count = 0;
    if (!Check(DVB_GetDBBackupCount(&count), "DVB_GetDBBackupCount")) return backups;
    for (uint32_t place = 1; place <= count; ++place) {
        DVBBackupInfo info;
        // One that went since it was counted is not there to go back to.
        if (DVB_GetDBBackupInfo(place, &info) == DVB_ERR_OK) backups.push_back(std::move(info));
    }
    return backups;
}

std::string BoardGateway::BackupTime(int64_t time) {
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm local{};
    char text[32] = "";
    if (localtime_r(&t, &local)) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

bool BoardGateway::ReadLoaded(uint32_t count, BoardPrograms* programs) {
    bool whole = true;
    for (uint32_t position = 1; position <= count; ++position) {
        TunProgDataTag record;
        uint32_t size = kTunProgDataTagSize;
        // A program that cannot be read is left out; the next one is read.
        if (!Check(DVB_GetDBProgData(position, &size, &record), "DVB_GetDBProgData(" + std::to_string(position) + ")")) {
            whole = false;
            if (GoOn()) continue;
            return false;
        }
        ProgramBeside beside;
        for (const BesideCall& call : kBesideCalls) {
            if (Check(call.get(position, &(beside.*call.value)), call.getName)) continue;
            // The program without its number is not what is stored.
            whole = false;
            if (!GoOn()) return false;
        }
        programs->records.push_back(std::move(record));
        programs->beside.push_back(beside);
    }
    return whole;
}

BoardGateway::Saved BoardGateway::Save(const BoardPrograms& programs, const MayReplace& mayReplace, uint64_t* revision) {
    *revision = 0;
    if (!Check(DVB_LoadDBProgData(), "DVB_LoadDBProgData")) return Saved::Nothing;
    uint64_t storedRevision = 0;
    uint32_t storedCount = 0;
    // Only to ask before replacing: a library that cannot say asks as a
    // changed list would.
    if (DVB_GetDBRevision(&storedRevision, &storedCount) != DVB_ERR_OK) {
        storedRevision = UINT64_MAX;
        storedCount = UINT32_MAX;
    }
    if (mayReplace && !mayReplace(storedCount, storedRevision)) return Saved::Nothing;
    // Writing over a list that was not cleared would store a mix of the old
    // and the new programs.
    if (!Check(DVB_DelAllDBProgData(), "DVB_DelAllDBProgData")) return Saved::Nothing;
    bool whole = true;
    for (size_t i = 0; i < programs.records.size(); ++i) {
        TunProgDataTag record = programs.records[i];
        record.index = static_cast<uint32_t>(i + 1);
        const ProgramBeside beside = i < programs.beside.size() ? programs.beside[i] : ProgramBeside{};
        bool stored = Check(DVB_SetDBProgData(kTunProgDataTagSize, &record), "DVB_SetDBProgData");
        // The list starts empty: a value of 0 needs no call.
        for (const BesideCall& call : kBesideCalls) {
            const uint32_t value = beside.*call.value;
            if (stored && value != 0) stored = Check(call.set(record.index, value), call.setName);
        }
        if (stored) continue;
        whole = false;
        if (!GoOn()) return Saved::Nothing;
    }
    if (!Check(DVB_SaveDBProgData(), "DVB_SaveDBProgData")) return Saved::Nothing;
    DVB_GetDBRevision(revision, nullptr);
    return whole ? Saved::Whole : Saved::Part;
}
