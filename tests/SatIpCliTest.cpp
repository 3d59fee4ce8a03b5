// kelvane-cli against the emulated SAT>IP server's executable, both in real
// time on loopback, as a user with a SAT>IP box runs them.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Scan.h"
#include "simnet/SimBackend.h"
#include "testing/SatIpServerNetworks.h"
#include "tests/CliTestSupport.h"
#include "tests/ProgramTestSupport.h"
#include "tests/SatIpServerProcess.h"


namespace {

using programtest::ReadFile;
using programtest::WriteFile;

using clitest::CliRun;

class SatIpCli : public programtest::ProgramFixture {
protected:
    std::string Path(const std::string& name) const { return (Dir() / name).string(); }

    // kelvane-cli with the user's folders in the test's own, the SAT>IP
    // server in card.ini.
    CliRun Cli(const std::vector<std::string>& args) const { return clitest::RunCli(Dir(), args); }

    void UseServer(uint16_t port, const cardlib::SimNetwork& network) const {
        std::filesystem::create_directories(Path("config/kelvane"));
        WriteFile(Path("config/kelvane/card.ini"),
                  "[Card]\nBackend=satip\nServer=127.0.0.1:" + std::to_string(port) + "\nHomeFrequency=" +
                      std::to_string(network.transports[network.homeTransport].frequencyKHz) + "\n");
    }
};

// What a scan through the server saves is what the simulated backend saves
// of the same network, program by program and field by field.
TEST_F(SatIpCli, ScanSavesWhatTheSimulatedBackendSaves) {
    const cardlib::SimNetwork network = *cardlib::SatIpServerNetwork("quick");
    card.UseBackend(std::make_unique<cardlib::SimBackend>(network));
    card.Attach(host);
    std::ostringstream out, status;
    std::string error;
    ASSERT_TRUE(cli::ScanInWindow(host, false, out, status, error, {})) << error;
    card.Detach();
    const std::string simulated = Path("simulated.db");
    std::filesystem::copy_file(BoardFile(), simulated);

    satiptest::ServerProcess server({"--network", "quick", "--seconds", "30"});
    ASSERT_NE(server.port, 0);
    UseServer(server.port, network);
    const auto began = std::chrono::steady_clock::now();
    // The NIT actual at once, and the log with the server's signal line.
    CliRun run = Cli({"scan", "--db", Path("satip.db"), "--network-id", "0", "--verbose"});
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(9));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("Signal at 346.0 MHz: level 224/255, quality 14/15\n"), std::string::npos) << run.err;

    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"list"}, std::vector<std::string>{"export", "--format", "csv"}}) {
        std::vector<std::string> args = command;
        args.insert(args.end(), {"--db", simulated});
        const CliRun expected = Cli(args);
        args.back() = Path("satip.db");
        const CliRun got = Cli(args);
        ASSERT_EQ(got.status, 0) << got.err;
        EXPECT_EQ(got.out, expected.out);
        EXPECT_GT(std::count(got.out.begin(), got.out.end(), '\n'), 6);
    }
}

// All the server's tuners busy: one line naming it, status 1, nothing saved.
TEST_F(SatIpCli, AllTunersBusyEndsWithOneLine) {
    satiptest::ServerProcess server({"--network", "quick", "--tuners", "0", "--seconds", "30"});
    ASSERT_NE(server.port, 0);
    UseServer(server.port, *cardlib::SatIpServerNetwork("quick"));
    const CliRun run = Cli({"scan", "--db", Path("satip.db")});
    EXPECT_EQ(run.status, 1);
    const std::string last = "kelvane-cli: SAT>IP server 127.0.0.1:" + std::to_string(server.port) +
                             " answered SETUP with 453 Not Enough Bandwidth: all its tuners are busy\n";
    EXPECT_TRUE(run.err.ends_with(last)) << run.err;
    EXPECT_EQ(run.err.find("453"), run.err.size() - last.size() + last.find("453")) << run.err;
    EXPECT_FALSE(std::filesystem::exists(Path("satip.db")));
}

}  // namespace

namespace {

// A third-party player opens a program's URL of the exported playlist and
// finds the program's picture and sound.
TEST_F(SatIpCli, FfprobeOpensAnExportedProgram) {
    if (std::system("command -v ffprobe >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffprobe is not installed (Debian: ffmpeg)";
    const cardlib::SimNetwork network = *cardlib::SatIpServerNetwork("quick");
    card.UseBackend(std::make_unique<cardlib::SimBackend>(network));
    card.Attach(host);
    std::ostringstream out, status;
    std::string error;
    ASSERT_TRUE(cli::ScanInWindow(host, false, out, status, error, {})) << error;
    card.Detach();

    satiptest::ServerProcess server({"--network", "quick", "--seconds", "30"});
    ASSERT_NE(server.port, 0);
    const std::string address = "127.0.0.1:" + std::to_string(server.port);
    const CliRun exported = Cli({"export", "--format", "m3u", "--satip", address, "--db", BoardFile().string()});
    ASSERT_EQ(exported.status, 0) << exported.err;
    const size_t at = exported.out.find("rtsp://" + address + "/?freq=346&msys=dvbc&sr=6900&mtype=64qam&pids=0,");
    ASSERT_NE(at, std::string::npos) << exported.out;
    const std::string url = exported.out.substr(at, exported.out.find('\n', at) - at);

    const std::string command = "timeout 9 ffprobe -v error -analyzeduration 1000000 -show_entries "
                                "stream=codec_type,codec_name,sample_rate -of compact '" + url + "' >" +
                                Path("probe") + " 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    const std::string probe = ReadFile(Path("probe"));
    EXPECT_NE(probe.find("codec_name=mpeg2video|codec_type=video"), std::string::npos) << probe;
    EXPECT_NE(probe.find("codec_name=mp2|codec_type=audio|sample_rate=48000"), std::string::npos) << probe;
    // --satip writes the m3u only.
    EXPECT_EQ(Cli({"export", "--format", "csv", "--satip", address, "--db", BoardFile().string()}).status, 2);
}

}  // namespace
