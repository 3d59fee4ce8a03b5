#include "cli/Board.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

namespace cli {

Board::Board(const std::string& path)
    : m_Board(path.empty() ? cardlib::DefaultBoardDatabasePath() : path),
      // A command stops at the first failure: it never saves a list with a
      // program missing.
      m_Gateway(
          [this](const std::string& message) {
              if (m_Error.empty()) m_Error = OneLine(message);
          },
          BoardGateway::AfterProgramFailure::Stop) {
    // The backups each write keeps name the program that wrote.
    m_Board.SetWriter("kelvane-cli");
}

std::string Board::OneLine(const std::string& message) const {
    const size_t end = message.find('\n');
    if (end == std::string::npos) return Path() + ": " + message;
    // The library's reason names the file first; the line names it once.
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

bool Board::Load(std::vector<TunProgDataTag>& programs, std::string& error, std::vector<ProgramBeside>* beside) {
    m_Error.clear();
    BoardPrograms stored;
    uint64_t revision = 0;
    const bool whole = m_Gateway.Load(&stored, &revision);
    programs = std::move(stored.records);
    if (beside) *beside = std::move(stored.beside);
    error = m_Error;
    return whole;
}

bool Board::Update(bool replace, const Change& change, std::string& error) {
    // The hold's failure is the first call's: the load that could not begin.
    if (const DVBErrReturn held = m_Board.BeginUpdate(); held != DVB_ERR_OK) {
        error = OneLine(BoardGateway::FailureText("DVB_LoadDBProgData", held));
        return false;
    }
    BoardPrograms programs;
    // Loaded even to replace it: the save checks the file is ours first.
    bool ok = Load(programs.records, error, &programs.beside);
    if (ok) {
        if (replace) programs = {};
        change(programs.records, programs.beside);
        m_Error.clear();
        uint64_t revision = 0;
        // Inside the hold nobody else wrote since the load: nothing to ask.
        ok = m_Gateway.Save(programs, nullptr, &revision) == BoardGateway::Saved::Whole;
        error = m_Error;
    }
    m_Board.EndUpdate();
    return ok;
}

bool Board::LoadFrom(const std::string& path, std::vector<TunProgDataTag>& programs, std::string& error) {
    m_Error.clear();
    BoardPrograms read;
    const bool whole = m_Gateway.LoadFrom(path, &read);
    programs = std::move(read.records);
    // The library names the file it could not read; the line need not name ours.
    error = m_Error.rfind(Path() + ": ", 0) == 0 ? m_Error.substr(Path().size() + 2) : m_Error;
    return whole;
}

bool Board::Restore(uint32_t number, std::string& error) {
    const std::vector<DVBBackupInfo> backups = Backups();
    const auto backup = std::find_if(backups.begin(), backups.end(),
                                     [number](const DVBBackupInfo& b) { return b.number == number; });
    if (backup == backups.end()) {
        error = Path() + ": no backup " + std::to_string(number) + " (see kelvane-cli backups)";
        return false;
    }
    // Never a part of one: a damaged backup is named, and nothing is written.
    if (!backup->damaged.empty()) {
        error = backup->path + ": damaged, not restored (" + backup->damaged + ")";
        return false;
    }
    if (const DVBErrReturn held = m_Board.BeginUpdate(); held != DVB_ERR_OK) {
        error = OneLine(BoardGateway::FailureText("DVB_LoadDBProgData", held));
        return false;
    }
    m_Error.clear();
    uint64_t revision = 0;
    const bool ok = m_Gateway.Replace(backup->path, &revision);
    error = m_Error;
    m_Board.EndUpdate();
    return ok;
}

}  // namespace cli
