#include "cli/Scan.h"

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "cardlib/Card.h"
#include "cardlib/Settings.h"
#include "cli/Board.h"
#include "cli/Table.h"
#include "framework/Clock.h"
#include "framework/Profile.h"
#include "framework/headless/HeadlessHost.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"
#include "scan/ScanChannelsDialog.h"

namespace cli {

namespace {

// Copies each line the scan adds to its status log to a stream.
class StatusEcho final : public fw::ListViewObserver {
public:
    explicit StatusEcho(std::ostream& out) : m_Out(out) {}
    void Watch(fw::ListView& log) {
        m_Log = &log;
        m_Shown = 0;
        log.SetObserver(this);
    }
    void EndInsertRows() override {
        for (; m_Shown < m_Log->GetItemCount(); ++m_Shown) m_Out << m_Log->GetItemText(m_Shown, 0) << std::endl;
    }
    void EndReset() override { m_Shown = m_Log->GetItemCount(); }
    void EndRemoveRows() override { m_Shown = std::min(m_Shown, m_Log->GetItemCount()); }

private:
    std::ostream& m_Out;
    fw::ListView* m_Log = nullptr;
    int m_Shown = 0;
};

// A folder of our own for the window's settings; gone with the object.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kelvane-cli-XXXXXX").string();
        if (mkdtemp(pattern.data())) m_Path = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!m_Path.empty()) std::filesystem::remove_all(m_Path, ec);
    }
    const std::filesystem::path& Path() const { return m_Path; }

private:
    std::filesystem::path m_Path;
};

}  // namespace

bool ScanInWindow(fw::HeadlessHost& host, bool dryRun, std::ostream& out, std::ostream& status, std::string& error) {
    res::RegisterResources(host);
    // What the window would show in a message box ends the run with it.
    std::vector<std::string> messages;
    host.OnMessage([&](const std::string& text) { messages.push_back(text); });
    StatusEcho echo(status);
    host.ScriptModal(res::IDD_SCAN_CHANNELS, [&](fw::Dialog& dialog) {
        if (auto* scan = dynamic_cast<ScanChannelsDialog*>(&dialog)) echo.Watch(scan->LogList());
    });
    bool ok = true;
    {
        ProgramListDialog window(host);
        host.Open(window);
        if (messages.empty()) window.OnLoad();
        if (messages.empty()) window.OnSearch();
        if (messages.empty()) {
            if (dryRun) out << ProgramTable(window.ProgramList(), true);
            else window.OnSave();
        }
        // A question here means the save would have replaced a list another
        // program stored during the scan: nothing was saved.
        ok = messages.empty() && host.Questions().empty();
        host.Close(window);
    }
    if (!ok) error = messages.empty() ? host.Questions().front() : messages.front();
    return ok;
}

bool RunScan(Board& board, const std::string& guiSettings, bool dryRun, std::ostream& out, std::ostream& status,
             std::string& error) {
    (void)board;  // installed: the window's DVB_* calls reach its file
    TempFolder folder;
    if (folder.Path().empty()) {
        error = "cannot make a temporary folder";
        return false;
    }
    const std::filesystem::path settings = folder.Path() / "kelvane.INI";
    std::error_code ec;
    if (std::filesystem::exists(guiSettings, ec)) std::filesystem::copy_file(guiSettings, settings, ec);

    fw::HeadlessHost host(fw::SystemClock().NowMs());
    host.SetRealTime([](int64_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
    fw::Profile profile(settings.string());
    host.SetProfile(&profile);
    // The card goes before the host, the window before the card.
    cardlib::Card card;
    const std::string problems = cardlib::ConfigureFromSettings(card, host);
    if (!problems.empty()) status << problems << (problems.back() == '\n' ? "" : "\n");
    return ScanInWindow(host, dryRun, out, status, error);
}

}  // namespace cli
