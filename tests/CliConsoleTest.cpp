// kelvane-cli on a terminal and off it: a scan that shows its log only when
// asked, Ctrl+C, a card with nothing to play, and a list that fits 100
// columns.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cardsetup/CardSettings.h"
#include "cli/Console.h"
#include "cli/Scan.h"
#include "cli/Table.h"
#include "exchange/Exchange.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "scan/ScanChannelsDialog.h"
#include "simnet/SimBackend.h"
#include "simnet/SimNetwork.h"
#include "testing/CaptureWriter.h"
#include "tsfile/TsFileBackend.h"
#include "tests/ProgramTestSupport.h"

namespace {

using programtest::ReadFile;
using programtest::WriteFile;

// Answers as the test says: a terminal or not, Ctrl+C pressed or not.
class ScriptedConsole final : public cli::Console {
public:
    bool terminal = false;
    bool interrupted = false;
    bool ErrorIsTerminal() override { return terminal; }
    void CatchInterrupt() override {}
    void ReleaseInterrupt() override {}
    bool Interrupted() override { return interrupted; }
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

size_t Characters(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

class CliConsole : public programtest::ProgramFixture {
protected:
    void UseDefaultNetwork() {
        card.Detach();
        card.UseBackend(std::make_unique<cardlib::SimBackend>(cardlib::DefaultNetwork()));
        card.Attach(host);
    }
};

// The default network's 66 programs: quiet unless --verbose, plain lines at a
// modest rate off a terminal, and a list within 100 columns in MHz.
TEST_F(CliConsole, ScanIsQuietUnlessVerboseAndItsListFitsATerminal) {
    UseDefaultNetwork();
    struct Case {
        bool verbose, terminal;
    } cases[] = {{false, false}, {false, true}, {true, false}, {true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.verbose ? "verbose" : "quiet") + (c.terminal ? ", terminal" : ", log file"));
        std::ostringstream out, status;
        std::string error;
        cli::ScanLimits limits;
        limits.verbose = c.verbose;
        limits.progressOnOneLine = c.terminal;
        ASSERT_TRUE(cli::ScanInWindow(host, true, out, status, error, limits)) << error;
        const std::string text = status.str();
        // The window's log and the card's lines ("Signal at …") alike.
        EXPECT_EQ(text.find("Request PMT\n") != std::string::npos, c.verbose);
        EXPECT_EQ(text.find('\r') != std::string::npos, c.terminal);
        // The summary, then the networks the home transport carries.
        const auto all = Lines(text);
        ASSERT_GE(all.size(), 2u);
        EXPECT_EQ(all[all.size() - 2], "Scan: 66 added, 0 updated, 0 actual, 0 missing; no lock on 450.0 MHz (TS 11)");
        EXPECT_EQ(all.back().rfind("Networks on this cable: 28432 ", 0), 0u) << all.back();
        // Heard on the way: no listen at the end.
        EXPECT_EQ(text.find("listening for other networks"), std::string::npos);
        if (!c.terminal) {
            const auto lines = Lines(text);
            const auto services = std::count_if(lines.begin(), lines.end(),
                                                [](const std::string& l) { return l.rfind("Services: ", 0) == 0; });
            // Not one a service: one every 5 s, and where the phase ended.
            EXPECT_LT(services, 25) << text;
            EXPECT_NE(text.find("\nServices: 69 of 69, "), std::string::npos);
        }
        if (c.verbose || c.terminal) continue;
        // The dry run's table, and the list's, with a name too long for it.
        std::vector<TunProgDataTag> programs(1);
        programs[0].name = std::string(60, 'N');
        programs[0].frequency = 354000;
        for (const std::string& table : {out.str(), cli::ProgramTable(programs, {})}) {
            for (const std::string& line : Lines(table)) EXPECT_LE(Characters(line), cli::kTableWidth) << line;
        }
        EXPECT_EQ(Lines(out.str()).size(), 67u);
        EXPECT_NE(out.str().find("  354.000  "), std::string::npos) << out.str();
        EXPECT_EQ(out.str().find("35400000"), std::string::npos);
        EXPECT_NE(cli::ProgramTable(programs, {}).find("NNN\u2026  354.000  "), std::string::npos) << cli::ProgramTable(programs, {});
    }
}

// Ctrl+C in the middle of the services: the progress line ends, nothing is
// saved, and the caller hears it was the user.
TEST_F(CliConsole, InterruptEndsTheLineAndSavesNothing) {
    const exchange::ImportResult zap =
        exchange::Import(exchange::Format::Zap, ReadFile(std::string(KELVANE_TEST_DATA) + "/exchange/programs.zap"), "z");
    ASSERT_TRUE(zap.ok) << zap.error;
    SeedBoard(zap.programs);
    const std::string stored = ReadFile(BoardFile().string());
    UseDefaultNetwork();
    ScriptedConsole console;
    cli::ScanLimits limits;
    limits.progressOnOneLine = true;
    limits.console = &console;
    bool pressed = false;
    std::function<void()> pressWhenServices = [&] {
        auto* scan = dynamic_cast<ScanChannelsDialog*>(host.ActiveModal());
        if (scan && scan->ScanProgress().phase == ScanChannelsDialog::Progress::Services &&
            scan->ScanProgress().done > 3) {
            console.interrupted = pressed = true;
            return;
        }
        host.Post(pressWhenServices, 100);
    };
    host.Post(pressWhenServices, 100);
    std::ostringstream out, status;
    std::string error;
    cli::ScanFailure failure = cli::ScanFailure::None;
    EXPECT_FALSE(cli::ScanInWindow(host, false, out, status, error, limits, &failure));
    ASSERT_TRUE(pressed);
    EXPECT_EQ(failure, cli::ScanFailure::Interrupted);
    EXPECT_EQ(error, "interrupted; nothing was saved");
    const std::string text = status.str();
    const size_t last = text.rfind("\r\033[K");
    ASSERT_NE(last, std::string::npos);
    EXPECT_EQ(text.substr(last + 4, 10), "Services: ");
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.find("Scan: "), std::string::npos);
    EXPECT_EQ(ReadFile(BoardFile().string()), stored);
}

// A captures folder that is missing, holds no capture, or is a file: named
// at once, by kelvane-cli and by the window's Search, which starts no scan.
TEST_F(CliConsole, ACaptureFolderWithNothingToPlayIsNamedAtOnce) {
    std::filesystem::create_directories(Dir() / "empty");
    WriteFile((Dir() / "empty" / "notes.txt").string(), "no captures here");
    WriteFile((Dir() / "file").string(), "");
    const struct {
        std::string folder, said;
    } cases[] = {
        {(Dir() / "missing").string(), "No captures: the folder " + (Dir() / "missing").string() + " does not exist."},
        {(Dir() / "empty").string(), "No captures in " + (Dir() / "empty").string() + ": it holds no .ts file"},
        {(Dir() / "file").string(), "No captures: " + (Dir() / "file").string() + " is not a folder."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        cardlib::CardSettings settings;
        settings.source = cardlib::CardSettings::Source::Files;
        settings.folder = c.folder;
        std::string problems, deviceProblem;
        auto backend = cardlib::MakeBackend(settings, &problems, &deviceProblem);
        EXPECT_EQ(deviceProblem.rfind(c.said, 0), 0u) << deviceProblem;
        EXPECT_EQ(problems, deviceProblem + "\n");
        card.Detach();
        card.UseBackend(std::move(backend));
        card.Attach(host);

        std::ostringstream out, status;
        std::string error;
        cli::ScanFailure failure = cli::ScanFailure::None;
        EXPECT_FALSE(cli::ScanInWindow(host, true, out, status, error, {}, &failure));
        EXPECT_EQ(failure, cli::ScanFailure::Card);
        EXPECT_EQ(error, deviceProblem);

        host.ClearMessages();
        bool scanOpened = false;
        host.ScriptModal(res::IDD_SCAN_CHANNELS, [&](fw::Dialog& dialog) {
            scanOpened = true;
            dialog.EndDialog(2);
        });
        ProgramListDialog window(host);
        host.Open(window);
        window.OnSearch();
        EXPECT_FALSE(scanOpened);
        EXPECT_EQ(host.Messages(), std::vector<std::string>{deviceProblem});
        host.Close(window);
    }
    // A captures folder that plays is no problem.
    ASSERT_TRUE(cardlib::WriteTsFolder(cardlib::DefaultNetwork(), (Dir() / "captures").string(), nullptr));
    cardlib::TsFileBackend playing((Dir() / "captures").string());
    EXPECT_EQ(playing.SourceProblem(), "");
}

// The executable, as a shell starts it: Ctrl+C (SIGINT) while it waits for a
// NIT gives status 130, a last line that says nothing was saved, and the
// board database as it was.
TEST_F(CliConsole, SigintEndsTheExecutableWithStatus130) {
    const std::filesystem::path dir = Dir();
    ASSERT_TRUE(cardlib::WriteTsFolder(cardlib::DefaultNetwork(), (dir / "captures").string(), nullptr));
    std::filesystem::create_directories(dir / "config/kelvane");
    // Nothing at the home frequency: the scan waits for its NIT.
    WriteFile((dir / "config/kelvane/card.ini").string(),
              "[Card]\nBackend=files\nHomeFrequency=114000\nFolder=" + (dir / "captures").string() + "\n");
    const exchange::ImportResult zap =
        exchange::Import(exchange::Format::Zap, ReadFile(std::string(KELVANE_TEST_DATA) + "/exchange/programs.zap"), "z");
    SeedBoard(zap.programs);
    const std::string stored = ReadFile(BoardFile().string());
    const std::string err = (dir / "err").string(), config = "XDG_CONFIG_HOME=" + (dir / "config").string(),
                      data = "XDG_DATA_HOME=" + (dir / "data").string(), db = BoardFile().string();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDERR_FILENO);
        dup2(fd, STDOUT_FILENO);
        char* argv[] = {const_cast<char*>(KELVANE_CLI), const_cast<char*>("scan"), const_cast<char*>("--db"),
                        const_cast<char*>(db.c_str()), nullptr};
        char* env[] = {const_cast<char*>(config.c_str()), const_cast<char*>(data.c_str()), nullptr};
        execve(KELVANE_CLI, argv, env);
        _exit(127);
    }
    const auto began = std::chrono::steady_clock::now();
    while (ReadFile(err).find("Network: ") == std::string::npos &&
           std::chrono::steady_clock::now() - began < std::chrono::seconds(8))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << ReadFile(err);
    EXPECT_EQ(WEXITSTATUS(status), 130) << ReadFile(err);
    const std::string text = ReadFile(err);
    EXPECT_EQ(text.rfind("Network: waiting for the NIT (request 1 of 3)\n", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1), "kelvane-cli: interrupted; nothing was saved\n");
    EXPECT_EQ(ReadFile(BoardFile().string()), stored);
}

}  // namespace
