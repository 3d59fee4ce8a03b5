#include "cli/Scan.h"

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/CardStatus.h"
#include "card/ProgramFields.h"
#include "cardlib/Card.h"
#include "cardsetup/CardSettings.h"
#include "cli/Board.h"
#include "cli/Console.h"
#include "cli/Table.h"
#include "framework/Clock.h"
#include "framework/Profile.h"
#include "framework/headless/HeadlessHost.h"
#include "programs/ProgramKinds.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"
#include "scan/ScanChannelsDialog.h"

namespace cli {

namespace {

// How soon a Ctrl+C ends the scan.
constexpr int64_t kInterruptPollMs = 50;

// The scan window's progress line on a stream: on a terminal one line that
// is rewritten in place; else (a log file) plain lines, at most one every
// kPlainEveryMs within a phase, and the last of each phase.
class ProgressEcho final : public fw::DialogView {
public:
    static constexpr int64_t kPlainEveryMs = 5000;

    ProgressEcho(std::ostream& out, bool oneLine, const fw::Clock& clock)
        : m_Out(out), m_OneLine(oneLine), m_Clock(clock) {}
    void Watch(ScanChannelsDialog& window) {
        m_Window = &window;
        window.SetView(this);
        ControlChanged(res::IDC_SCAN_PROGRESS_TEXT);
    }
    void ControlChanged(int id) override {
        if (!m_Window || id != res::IDC_SCAN_PROGRESS_TEXT) return;
        const std::string text = m_Window->GetDlgItemText(id);
        if (text == m_Shown) return;
        m_Shown = text;
        const auto phase = m_Window->ScanProgress().phase;
        if (m_OneLine) return Show();
        const int64_t now = m_Clock.NowMs();
        if (m_Written && phase == m_Phase && now - m_WrittenAt < kPlainEveryMs) {
            m_Pending = text;
            return;
        }
        // Where the phase before ended, then where this one is.
        if (phase != m_Phase && !m_Pending.empty()) m_Out << m_Pending << "\n";
        m_Out << text << std::endl;
        m_Pending.clear();
        m_Phase = phase;
        m_Written = true;
        m_WrittenAt = now;
    }
    // A status line goes above the progress line.
    void Clear() {
        if (m_OneLine && !m_Shown.empty()) m_Out << "\r\033[K";
    }
    void Show() {
        if (m_OneLine && !m_Shown.empty()) m_Out << "\r\033[K" << m_Shown << std::flush;
    }
    // After the scan window's modal run: the window is gone, and its view
    // with it.
    void End() {
        m_Window = nullptr;
        if (m_OneLine && !m_Shown.empty()) m_Out << std::endl;
        if (!m_Pending.empty()) m_Out << m_Pending << std::endl;
        m_Shown.clear();
        m_Pending.clear();
    }

private:
    std::ostream& m_Out;
    bool m_OneLine;
    const fw::Clock& m_Clock;
    ScanChannelsDialog* m_Window = nullptr;
    std::string m_Shown;
    // Plain lines: what was not written yet, and the last written.
    std::string m_Pending;
    ScanChannelsDialog::Progress::Phase m_Phase{};
    bool m_Written = false;
    int64_t m_WrittenAt = 0;
};

// Copies each line the scan adds to its status log to a stream.
class StatusEcho final : public fw::ListViewObserver {
public:
    StatusEcho(std::ostream& out, ProgressEcho& progress) : m_Out(out), m_Progress(progress) {}
    void Watch(fw::ListView& log) {
        m_Log = &log;
        m_Shown = 0;
        log.SetObserver(this);
        // What the window logged before it was watched comes first.
        EndInsertRows();
    }
    void EndInsertRows() override {
        if (m_Shown >= m_Log->GetItemCount()) return;
        m_Progress.Clear();
        for (; m_Shown < m_Log->GetItemCount(); ++m_Shown) m_Out << m_Log->GetItemText(m_Shown, 0) << std::endl;
        m_Progress.Show();
    }
    void EndReset() override { m_Shown = m_Log->GetItemCount(); }
    void EndRemoveRows() override { m_Shown = std::min(m_Shown, m_Log->GetItemCount()); }

private:
    std::ostream& m_Out;
    ProgressEcho& m_Progress;
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

bool ScanInWindow(fw::HeadlessHost& host, bool dryRun, std::ostream& out, std::ostream& status, std::string& error,
                  const ScanLimits& limits, ScanFailure* failure) {
    // A card that can receive nothing at all: no scan to wait for.
    if (const std::string problem = cardlib::Card::Current().SourceProblem(); !problem.empty()) {
        error = problem;
        if (failure) *failure = ScanFailure::Card;
        return false;
    }
    res::RegisterResources(host);
    // What the window would show in a message box ends the run with it; one
    // that comes while the scan runs is the card's (a device error) and
    // ends the scan too.
    std::vector<std::string> messages;
    ScanChannelsDialog* running = nullptr;
    bool cardFailed = false;
    auto stop = [&](const std::string& text) {
        if (!running || cardFailed) return;
        cardFailed = true;
        messages.push_back(text);
        running->EndDialog(2);
    };
    host.OnMessage([&](const std::string& text) {
        if (running) return stop(text);
        messages.push_back(text);
    });
    ProgressEcho progress(status, limits.progressOnOneLine, host.GetClock());
    StatusEcho echo(status, progress);
    // Ctrl+C ends the scan as the window's close box would; what it merged
    // is not saved.
    bool interrupted = false;
    std::function<void()> checkInterrupt = [&] {
        if (!limits.console) return;
        if (!limits.console->Interrupted()) {
            host.Post(checkInterrupt, kInterruptPollMs);
            return;
        }
        interrupted = true;
        if (running) running->EndDialog(2);
    };
    const fw::TaskId interruptCheck = host.Post(checkInterrupt, kInterruptPollMs);
    fw::TaskId limit = 0;
    std::function<void()> checkNit = [&] {
        if (!running || running->TransportList().GetItemCount() != 0) return;
        if (limits.cardSearching && limits.cardSearching()) {
            limit = host.Post(checkNit, 1000);
            return;
        }
        const std::string within = std::to_string(limits.nitTimeoutMs / 1000) + " s";
        if (running->NitWithoutTransports())
            stop("the network's NIT lists no transport (within " + within + "; see HomeFrequency in card.ini)");
        else
            stop("no network answered: no NIT within " + within + " (see HomeFrequency in card.ini, or --nit-timeout)");
    };
    host.ScriptModal(res::IDD_SCAN_CHANNELS, [&](fw::Dialog& dialog) {
        running = dynamic_cast<ScanChannelsDialog*>(&dialog);
        if (!running) return;
        if (limits.verbose) echo.Watch(running->LogList());
        progress.Watch(*running);
        if (limits.nitTimeoutMs > 0) limit = host.Post(checkNit, limits.nitTimeoutMs);
    });
    bool ok = true;
    {
        ProgramListDialog window(host);
        // The card speaks through the window, as in the program: its lines
        // in the scan's log, which is echoed, its troubles as messages.
        CardStatus cardStatus(cardlib::Card::Current(), window);
        host.Open(window);
        const auto stopped = [&] { return interrupted || (limits.console && limits.console->Interrupted()); };
        if (messages.empty() && !stopped()) window.OnLoad();
        // kelvane-cli prints the summary itself, on standard error.
        window.ShowScanSummary(false);
        // Nobody to ask: the networks on the cable are named in the log.
        window.AskForNetwork(false);
        if (limits.oneTransport) window.ScanTransportNext(*limits.oneTransport);
        if (messages.empty() && !stopped()) window.OnSearch();
        running = nullptr;
        progress.End();
        host.Cancel(limit);
        host.Cancel(interruptCheck);
        interrupted = stopped();
        if (messages.empty() && !interrupted) {
            // The window's own summary, which knows what the scan could check.
            status << window.LastScan() << std::endl;
            if (limits.removeMissing) {
                const programs::ProgramKind& missing = *programs::FindProgramKind("missing");
                status << programs::RemovedText(missing, window.RemovePrograms(missing)) << std::endl;
            }
            if (dryRun) out << ProgramTable(window.ProgramList(), true);
            else window.OnSave();
        }
        // A question here means the save would have replaced a list another
        // program stored during the scan: nothing was saved.
        ok = messages.empty() && host.Questions().empty() && !interrupted;
        host.Close(window);
    }
    // The handler holds this call's locals: the host may outlive them.
    host.OnMessage(nullptr);
    if (interrupted) error = "interrupted; nothing was saved";
    else if (!ok) error = messages.empty() ? host.Questions().front() : messages.front();
    if (failure)
        *failure = ok            ? ScanFailure::None
                   : interrupted ? ScanFailure::Interrupted
                   : cardFailed  ? ScanFailure::Card
                                 : ScanFailure::Board;
    return ok;
}

bool RunScan(Board& board, const std::string& guiSettings, bool dryRun, const ScanLimits& limits, std::ostream& out,
             std::ostream& status, std::string& error, ScanFailure& failure) {
    failure = ScanFailure::Board;
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
    // A section is taken when it comes, not at the next timer.
    host.SetRealTimeWait(fw::HeadlessHost::PollWait);
    fw::Profile profile(settings.string());
    if (limits.networkId >= 0) profile.WriteInt("ScanNetwork", "NetworkId", limits.networkId);
    if (limits.sweep) profile.WriteInt("ScanNetwork", "Sweep", 1);
    host.SetProfile(&profile);
    profile.WriteInt("ScanNetwork", "TickMs", limits.tickMs);
    profile.WriteInt("ScanNetwork", "SkipUnlocked", limits.skipUnlocked ? 1 : 0);
    // Nobody watches the lists tick by tick: a step that can follow at once does.
    profile.WriteInt("ScanNetwork", "ChainSteps", 1);
    // The card goes before the host, the window before the card.
    cardlib::Card card;
    std::string deviceProblem;
    // One transport's symbol rate and modulation reach the tuner through the
    // scan window, as the program's do.
    const std::string problems = cardlib::ConfigureFromSettings(card, host, &deviceProblem);
    if (!deviceProblem.empty()) {
        // Nothing can be received: no scan to wait for.
        failure = ScanFailure::Card;
        error = deviceProblem;
        return false;
    }
    if (!problems.empty()) status << problems << (problems.back() == '\n' ? "" : "\n");
    ScanLimits withCard = limits;
    if (limits.waitForSearch) withCard.cardSearching = [&card] { return card.SearchingForNetwork(); };
    return ScanInWindow(host, dryRun, out, status, error, withCard, &failure);
}

}  // namespace cli
