#include "cli/Board.h"

#include <filesystem>
#include <system_error>

namespace cli {

namespace {

// One line: "FILE: Error on CALL: RESULT (reason)". The library's reason
// names the file first; the line names it once.
bool Check(const std::string& path, DVBErrReturn result, const char* call, std::string& error) {
    if (result == DVB_ERR_OK) return true;
    error = path + ": Error on " + call + ": " + std::to_string(static_cast<unsigned>(result));
    // Read at once: the library's next call forgets it.
    std::string why = DVB_GetLastErrorText() ? DVB_GetLastErrorText() : "";
    if (why.rfind(path + ": ", 0) == 0) why.erase(0, path.size() + 2);
    if (!why.empty()) error += " (" + why + ")";
    return false;
}

}  // namespace

Board::Board(const std::string& path) : m_Board(path.empty() ? cardlib::DefaultBoardDatabasePath() : path) {}

std::string Board::OneLine(const std::string& message) const {
    const size_t end = message.find('\n');
    if (end == std::string::npos) return Path() + ": " + message;
    std::string why = message.substr(end + 1);
    if (why.rfind(Path() + ": ", 0) == 0) why.erase(0, Path().size() + 2);
    for (char& c : why) {
        if (c == '\n') c = ' ';
    }
    return Path() + ": " + message.substr(0, end) + " (" + why + ")";
}

bool Board::Exists() const {
    std::error_code ec;
    return std::filesystem::symlink_status(m_Board.Path(), ec).type() != std::filesystem::file_type::not_found;
}

bool Board::Load(std::vector<TunProgDataTag>& programs, std::string& error, std::vector<uint32_t>* channelNumbers) {
    programs.clear();
    if (channelNumbers) channelNumbers->clear();
    uint32_t first = 0;
    uint32_t count = 0;
    if (!Check(m_Board.Path(), DVB_LoadDBProgData(), "DVB_LoadDBProgData", error) ||
        !Check(m_Board.Path(), DVB_GetDBProgCount(&first, &count), "DVB_GetDBProgCount", error)) {
        return false;
    }
    for (uint32_t position = 1; position <= count; ++position) {
        TunProgDataTag record;
        uint32_t size = kTunProgDataTagSize;
        if (!Check(m_Board.Path(), DVB_GetDBProgData(position, &size, &record), "DVB_GetDBProgData", error)) return false;
        programs.push_back(std::move(record));
        if (!channelNumbers) continue;
        uint32_t number = 0;
        if (!Check(m_Board.Path(), DVB_GetDBProgChannelNumber(position, &number), "DVB_GetDBProgChannelNumber", error))
            return false;
        channelNumbers->push_back(number);
    }
    return true;
}

bool Board::Save(const std::vector<TunProgDataTag>& programs, std::string& error,
                 const std::vector<uint32_t>& channelNumbers) {
    if (!Check(m_Board.Path(), DVB_LoadDBProgData(), "DVB_LoadDBProgData", error) ||
        !Check(m_Board.Path(), DVB_DelAllDBProgData(), "DVB_DelAllDBProgData", error)) {
        return false;
    }
    for (size_t i = 0; i < programs.size(); ++i) {
        TunProgDataTag record = programs[i];
        record.index = static_cast<uint32_t>(i + 1);
        if (!Check(m_Board.Path(), DVB_SetDBProgData(kTunProgDataTagSize, &record), "DVB_SetDBProgData", error)) return false;
        const uint32_t number = i < channelNumbers.size() ? channelNumbers[i] : 0;
        if (number != 0 && !Check(m_Board.Path(), DVB_SetDBProgChannelNumber(record.index, number),
                                  "DVB_SetDBProgChannelNumber", error))
            return false;
    }
    return Check(m_Board.Path(), DVB_SaveDBProgData(), "DVB_SaveDBProgData", error);
}

bool Board::Update(bool replace, const Change& change, std::string& error) {
    // The hold's failure is the first call's: the load that could not begin.
    if (!Check(m_Board.Path(), m_Board.BeginUpdate(), "DVB_LoadDBProgData", error)) return false;
    std::vector<TunProgDataTag> programs;
    std::vector<uint32_t> channelNumbers;
    // Loaded even to replace it: the save checks the file is ours first.
    bool ok = Load(programs, error, &channelNumbers);
    if (ok) {
        if (replace) {
            programs.clear();
            channelNumbers.clear();
        }
        change(programs, channelNumbers);
        ok = Save(programs, error, channelNumbers);
    }
    m_Board.EndUpdate();
    return ok;
}

}  // namespace cli
