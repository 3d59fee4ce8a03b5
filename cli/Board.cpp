#include "cli/Board.h"

namespace cli {

namespace {

bool Check(DVBErrReturn result, const char* call, std::string& error) {
    if (result == DVB_ERR_OK) return true;
    error = std::string("Error on ") + call + ": " + std::to_string(static_cast<unsigned>(result));
    return false;
}

}  // namespace

Board::Board(const std::string& path) : m_Board(path.empty() ? cardlib::DefaultBoardDatabasePath() : path) {}

bool Board::Load(std::vector<TunProgDataTag>& programs, std::string& error, std::vector<uint32_t>* channelNumbers) {
    programs.clear();
    if (channelNumbers) channelNumbers->clear();
    uint32_t first = 0;
    uint32_t count = 0;
    if (!Check(DVB_LoadDBProgData(), "DVB_LoadDBProgData", error) ||
        !Check(DVB_GetDBProgCount(&first, &count), "DVB_GetDBProgCount", error)) {
        return false;
    }
    for (uint32_t position = 1; position <= count; ++position) {
        TunProgDataTag record;
        uint32_t size = kTunProgDataTagSize;
        if (!Check(DVB_GetDBProgData(position, &size, &record), "DVB_GetDBProgData", error)) return false;
        programs.push_back(std::move(record));
        if (!channelNumbers) continue;
        uint32_t number = 0;
        if (!Check(DVB_GetDBProgChannelNumber(position, &number), "DVB_GetDBProgChannelNumber", error)) return false;
        channelNumbers->push_back(number);
    }
    return true;
}

bool Board::Save(const std::vector<TunProgDataTag>& programs, std::string& error,
                 const std::vector<uint32_t>& channelNumbers) {
    if (!Check(DVB_LoadDBProgData(), "DVB_LoadDBProgData", error) ||
        !Check(DVB_DelAllDBProgData(), "DVB_DelAllDBProgData", error)) {
        return false;
    }
    for (size_t i = 0; i < programs.size(); ++i) {
        TunProgDataTag record = programs[i];
        record.index = static_cast<uint32_t>(i + 1);
        if (!Check(DVB_SetDBProgData(kTunProgDataTagSize, &record), "DVB_SetDBProgData", error)) return false;
        const uint32_t number = i < channelNumbers.size() ? channelNumbers[i] : 0;
        if (number != 0 &&
            !Check(DVB_SetDBProgChannelNumber(record.index, number), "DVB_SetDBProgChannelNumber", error))
            return false;
    }
    return Check(DVB_SaveDBProgData(), "DVB_SaveDBProgData", error);
}

}  // namespace cli
