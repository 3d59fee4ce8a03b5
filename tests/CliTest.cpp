// kelvane-cli as a user runs it: the executable, a board database of the
// test's own, and for the scan a card.ini that plays captures of a one-
// transport network.
#include <gtest/gtest.h>

#include <chrono>
#include <unistd.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "board/BoardSchema.h"
#include "cardlib/Card.h"
#include "linuxdvb/LinuxDvbBackend.h"
#include "testing/EmulatedDvb.h"
#include "simnet/SimBackend.h"
#include "simnet/SimNetwork.h"
#include "tsfile/TsFileBackend.h"
#include "cli/Scan.h"
#include "testing/CaptureWriter.h"
#include "exchange/Exchange.h"
#include "framework/headless/HeadlessHost.h"
#include "tests/ExchangeTestSupport.h"
#include "tests/CliTestSupport.h"
#include "tests/ProgramTestSupport.h"

namespace {

using programtest::ReadFile;
using programtest::WriteFile;

using clitest::CliRun;
using clitest::Quoted;

class CliTest : public ::testing::Test {
protected:
    void SetUp() override { m_Dir = programtest::MakeTempDir(); }
    void TearDown() override { std::filesystem::remove_all(m_Dir); }

    std::string Path(const std::string& name) const { return (m_Dir / name).string(); }
    std::string Db() const { return Path("board.db"); }

    // Runs kelvane-cli with the user's folders in the test's own.
    CliRun Cli(const std::vector<std::string>& args) const { return clitest::RunCli(m_Dir, args); }

    std::filesystem::path m_Dir;
};

std::string Golden(const std::string& file) { return std::string(KELVANE_TEST_DATA) + "/exchange/" + file; }

TEST_F(CliTest, ImportListExportThroughTheExecutable) {
    CliRun run = Cli({"import", "--format", "csv", "--db", Db(), Golden("programs.csv")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "3 programs imported from " + Golden("programs.csv") + ", 3 in the list\n");

    // Appended by default, renumbered after the programs already there.
    run = Cli({"import", "--db", Db(), Golden("programs.zap")});
    ASSERT_EQ(run.status, 0) << run.err;
    run = Cli({"list", "--db", Db()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')),
              "Nr  Programm                 Frequenz  Prog-ID  V-PID  A-PID  TS-ID  NW-ID  Prog-Type  LCN  CA");
    EXPECT_NE(run.out.find("\n2   Ελληνικά Ράδιο 東京 Радио  346.000   28       0      2001   1101"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\n6   Sport: \"Live\", A;B"), std::string::npos) << run.out;

    // What the list holds, exported: the CSV's own three programs first.
    run = Cli({"export", "--format", "csv", "--db", Db(), "-o", Path("list.csv")});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<TunProgDataTag> expected = exchangetest::Programs();
    expected[2].index = 3;
    const std::string csv = ReadFile(Path("list.csv"));
    EXPECT_EQ(csv.substr(0, exchange::Export(exchange::Format::Csv, expected).size()),
              exchange::Export(exchange::Format::Csv, expected));

    run = Cli({"import", "--replace", "--format=dvbv5", "--db", Db(), Golden("programs.dvbv5")});
    ASSERT_EQ(run.status, 0) << run.err;
    run = Cli({"export", "--format", "dvbv5", "--db", Db()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, ReadFile(Golden("programs.dvbv5")));

    run = Cli({"import", "--db", Db(), Golden("programs.dvbv5")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "3 programs imported from " + Golden("programs.dvbv5") +
                           ", 6 in the list; 3 were already in the list (same NW-ID and Prog-ID)\n");

    // A playlist of cable MRLs is known by its extension and read back.
    run = Cli({"import", "--db", Db(), Golden("programs.m3u")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.rfind("3 programs imported from " + Golden("programs.m3u") + ", 9 in the list", 0), 0u) << run.err;
}

// Players that find a channel by its name reach only the first of a
// repeated one: the export says so, or --unique-names appends service ids.
TEST_F(CliTest, ExportWarnsOfRepeatedNamesOrMakesThemUnique) {
    const std::string channel = "\tNETWORK_ID = 1\n\tTRANSPORT_ID = 2\n\tDELIVERY_SYSTEM = DVBC/ANNEX_A\n"
                                "\tFREQUENCY = 330000000\n\tMODULATION = QAM/256\n\tSYMBOL_RATE = 6900000\n";
    WriteFile(Path("in.dvbv5"), "[Kinowelt Abruf]\n\tSERVICE_ID = 811\n" + channel + "\n[Kinowelt Abruf]\n\tSERVICE_ID = 812\n" +
                                    channel + "\n[Eins]\n\tSERVICE_ID = 1\n" + channel);
    ASSERT_EQ(Cli({"import", "--db", Db(), Path("in.dvbv5")}).status, 0);
    const std::string warning = "warning: Names used more than once: \"Kinowelt Abruf\" (2 programs); ";
    const std::string hint = " reaches only the first program of each (--unique-names tells them apart)\n";
    struct Case {
        std::vector<std::string> args;
        std::string err;
        std::vector<std::string> lines;  // in the output, in this order
    };
    const Case cases[] = {
        {{"--format", "dvbv5"}, warning + "dvbv5-zap" + hint, {"[Kinowelt Abruf]\n", "[Kinowelt Abruf]\n", "[Eins]\n"}},
        {{"--format", "zap"}, warning + "czap" + hint, {"Kinowelt Abruf:", "\nKinowelt Abruf:", "\nEins:"}},
        {{"--format", "dvbv5", "--unique-names"}, "", {"[Kinowelt Abruf (811)]\n", "[Kinowelt Abruf (812)]\n", "[Eins]\n"}},
        {{"--format", "csv"}, "", {",Kinowelt Abruf,", ",Kinowelt Abruf,"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"export", "--db", Db()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = Cli(args);
        SCOPED_TRACE(c.args[1] + " " + std::to_string(c.args.size()));
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, c.err);
        size_t at = 0;
        for (const std::string& line : c.lines) {
            at = run.out.find(line, at);
            ASSERT_NE(at, std::string::npos) << line << " in\n" << run.out;
            at += line.size();
        }
    }
}

TEST_F(CliTest, RemoveTakesAwayTheKindsNamedInOneWrite) {
    ASSERT_EQ(Cli({"import", "--db", Db(), Golden("programs.csv")}).status, 0);
    const struct {
        std::vector<std::string> kinds;
        int status;
        std::string err;
    } cases[] = {
        {{"missing"}, 2, "kelvane-cli: \"missing\" is a scan's mark, not stored: use scan --remove-missing\n"},
        {{"radio", "tv"}, 2, "kelvane-cli: unknown kind \"tv\" (radio, data, encrypted or unnamed)\n"},
        {{"data", "unnamed"}, 0, "Removed 0 data programs, 0 programs without a name; 3 in the list\n"},
        {{"radio", "radio"}, 0, "Removed 1 radio program; 2 in the list\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"remove", "--db", Db()};
        args.insert(args.end(), c.kinds.begin(), c.kinds.end());
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, c.status) << c.kinds.back();
        EXPECT_EQ(run.err, c.err);
    }
    const CliRun list = Cli({"list", "--db", Db()});
    EXPECT_EQ(list.out.find("Ράδιο"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("\n2   Sport"), std::string::npos) << list.out;
}

TEST_F(CliTest, FailuresEndWithOneLineAndNothingWritten) {
    ASSERT_EQ(Cli({"import", "--db", Db(), Golden("programs.vdr")}).status, 0);
    const std::string stored = ReadFile(Db());
    WriteFile(Path("web.m3u"), "#EXTM3U\n#EXTINF:-1,Web\nhttp://box/1.ts\n");
    WriteFile(Path("bad.zap"), "A:330000000:INVERSION_AUTO:6900000:FEC_AUTO:QAM_256:101:102:1\n"
                               "B:330000000:INVERSION_AUTO:6900000:FEC_AUTO:QAM_256:101:9000:2\n");
    std::filesystem::create_directory(Path("folder.db"));
    std::filesystem::create_directory(Path("folder.zap"));
    // A board database of a newer Kelvane: neither read nor written.
    const std::string newer = std::to_string(cardlib::kSchemaVersion + 1);
    std::filesystem::copy_file(Db(), Path("newer.db"));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(Path("newer.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, ("PRAGMA user_version = " + newer).c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    const std::string newerStored = ReadFile(Path("newer.db"));
    const std::string newerLine = Path("newer.db") + ": Error on DVB_LoadDBProgData: 3 (made by a newer Kelvane: schema " +
                                  newer + ", this one reads up to " + std::to_string(cardlib::kSchemaVersion) + ")";
    // An export that fails leaves the file it would have replaced as it was.
    WriteFile(Path("channels.conf"), "kept\n");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string error;
    } cases[] = {
        {{"import", "--db", Db(), Path("bad.zap")}, 1, Path("bad.zap") + ":2: audio PID 9000 is above 8191"},
        {{"import", "--db", Db(), Path("missing.zap")}, 1, "cannot read " + Path("missing.zap") + ": no such file"},
        {{"import", "--db", Db(), Path("web.m3u")}, 1,
         Path("web.m3u") + ":3: no entry's URL holds DVB-C tuning data (dvb-c://frequency=...:srate=...)"},
        {{"import", "--db", Db()}, 2, "import takes one FILE"},
        {{"export", "--db", Db()}, 2, "export needs --format"},
        {{"export", "--format", "xml"}, 2, "unknown format \"xml\" (dvbv5, vdr, zap, m3u or csv)"},
        {{"export", "--format", "vdr", "--db", Db(), "-o", Path("no/such/folder/x.vdr")}, 1,
         "cannot write " + Path("no/such/folder/x.vdr") + ": No such file or directory"},
        {{"list", "--replace"}, 2, "unknown option \"--replace\" for list (see kelvane-cli list --help)"},
        {{"list", "--db"}, 2, "--db needs a value"},
        {{"list", "--db", Path("folder.db")}, 1, Path("folder.db") + ": Error on DVB_LoadDBProgData: 2 (this is a folder, not a board database file)"},
        {{"import", "--db", Db(), Path("folder.zap")}, 1,
         "cannot read " + Path("folder.zap") + ": this is a folder, not a channel file"},
        {{"export", "--format", "vdr", "--db", Path("typo.db"), "-o", Path("channels.conf")}, 1,
         Path("typo.db") + ": no board database at this path"},
        {{"list", "--db", Path("typo.db")}, 1, Path("typo.db") + ": no board database at this path"},
        {{"export", "--format", "vdr", "--db", Db(), "-o", Path("folder.zap")}, 1,
         "cannot write " + Path("folder.zap") + ": Is a directory"},
        {{"import", "--db", Path("folder.db"), Golden("programs.zap")}, 1,
         Path("folder.db") + ": Error on DVB_LoadDBProgData: 2 (this is a folder, not a board database file)"},
        {{"list", "--db", Path("newer.db")}, 1, newerLine},
        {{"import", "--db", Path("newer.db"), Golden("programs.zap")}, 1, newerLine},
        {{"frobnicate"}, 2, "unknown command \"frobnicate\" (see kelvane-cli --help)"},
        // Each option is declared once, with whether it takes a value.
        {{"import", "--replace=no", "--db", Db(), Golden("programs.zap")}, 2, "--replace takes no value"},
        {{"list", "--db", "--help"}, 2, "--db needs a value, not the option \"--help\""},
        {{"import", "--db", Db(), "--db", Db(), Golden("programs.zap")}, 2, "--db is given twice"},
        {{"export", "--format", "vdr", "--db", Db(), "-o", "--m3u-url", "x"}, 2,
         "-o needs a value, not the option \"--m3u-url\""},
        {{"import", "--db", Db(), Golden("programs.zap"), Golden("programs.vdr")}, 2, "import takes one FILE"},
        {{}, 2, "no command (see kelvane-cli --help)"},
        {{"scan", "--db", Db(), "--network-id", "70000"}, 2,
         "--network-id is a whole number from 0 to 65535, not \"70000\""},
        {{"scan", "--db", Db(), "--network-id=0x3102"}, 2,
         "--network-id is a whole number from 0 to 65535, not \"0x3102\""},
    };
    for (const auto& c : cases) {
        const CliRun run = Cli(c.args);
        EXPECT_EQ(run.status, c.status) << c.error;
        EXPECT_EQ(run.err, "kelvane-cli: " + c.error + "\n");
    }
    EXPECT_EQ(ReadFile(Db()), stored);
    EXPECT_EQ(ReadFile(Path("newer.db")), newerStored);
    EXPECT_EQ(ReadFile(Path("channels.conf")), "kept\n");
    EXPECT_FALSE(std::filesystem::exists(Path("typo.db")));
    for (const auto& entry : std::filesystem::directory_iterator(m_Dir)) {
        EXPECT_EQ(entry.path().string().find(".part-"), std::string::npos) << entry.path();
    }

    for (const char* command : {"list", "export", "import", "scan"}) {
        const CliRun run = Cli({command, "--help"});
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_EQ(run.out.rfind(std::string("Usage: kelvane-cli ") + command, 0), 0u) << run.out;
    }
    // The help follows from what the formats and the URL pattern declare.
    // (Read as one line: the help wraps at 80 columns.)
    std::string help;
    for (const char c : Cli({"export", "--help"}).out) {
        if (c != '\n' && (c != ' ' || help.empty() || help.back() != ' ')) help += c;
        else if (help.back() != ' ') help += ' ';
    }
    for (const exchange::FormatInfo& format : exchange::Formats()) {
        EXPECT_NE(help.find(format.name + std::string(" (") + format.summary), std::string::npos) << format.name;
    }
    for (const exchange::M3uPlaceholder& placeholder : exchange::M3uPlaceholders()) {
        EXPECT_NE(help.find("{" + std::string(placeholder.name) + "}"), std::string::npos) << placeholder.name;
    }
}

TEST(HeadlessRealTime, WaitsForTheNextEventInsteadOfJumping) {
    fw::HeadlessHost host(1000);
    std::vector<int64_t> slept;
    host.SetRealTime([&](int64_t ms) { slept.push_back(ms); });
    std::vector<int64_t> ranAt;
    host.Post([&] { ranAt.push_back(host.GetClock().NowMs()); }, 500);
    host.Post([&] { ranAt.push_back(host.GetClock().NowMs()); }, 500);
    host.Post([&] { ranAt.push_back(host.GetClock().NowMs()); }, 1200);
    while (host.RunOne()) {
    }
    EXPECT_EQ(slept, (std::vector<int64_t>{500, 700}));
    EXPECT_EQ(ranAt, (std::vector<int64_t>{1500, 1500, 2200}));
}

// In real time a descriptor that becomes ready wakes the host before the
// next timer; PollWait is poll(2) with that timer's timeout.
TEST(HeadlessRealTime, WakesOnAReadyDescriptorBeforeTheNextTimer) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    fw::HeadlessHost host(1000);
    std::vector<int64_t> waits;
    host.SetRealTimeWait([&](const std::vector<int>& fds, int64_t ms) -> int64_t {
        waits.push_back(ms);
        if (waits.size() > 1 || fds != std::vector<int>{pipeFds[0]}) return ms;
        EXPECT_EQ(::write(pipeFds[1], "x", 1), 1);
        return 200;
    });
    std::vector<int64_t> ranAt;
    host.Watch(pipeFds[0], [&] {
        char c;
        EXPECT_EQ(::read(pipeFds[0], &c, 1), 1);
        ranAt.push_back(host.GetClock().NowMs());
    });
    host.Post([&] { ranAt.push_back(-host.GetClock().NowMs()); }, 1000);
    while (host.RunOne()) {
    }
    EXPECT_EQ(waits, (std::vector<int64_t>{1000, 800}));
    EXPECT_EQ(ranAt, (std::vector<int64_t>{1200, -2000}));

    EXPECT_EQ(fw::HeadlessHost::PollWait({pipeFds[0]}, 20), 20);
    ASSERT_EQ(::write(pipeFds[1], "x", 1), 1);
    EXPECT_LT(fw::HeadlessHost::PollWait({pipeFds[0]}, 5000), 5000);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}

// The one scan in real time, through the executable: the first transport
// cut to one service, its SDT every half second, as capture files.
TEST_F(CliTest, ScanOverCapturesMergesIntoTheList) {
    cardlib::SimNetwork network = cardlib::DefaultNetwork();
    // With the transport that never locks (no capture): by default the scan
    // does not wait out its request's 15 s.
    const cardlib::SimTransport dark = *std::find_if(network.transports.begin(), network.transports.end(),
                                                     [](const cardlib::SimTransport& t) { return !t.locks; });
    network.transports = {network.transports.front(), dark};
    network.transports[0].services.resize(1);
    network.timing.sdtIntervalMs = 500;
    network.timing.nitIntervalMs = 1000;
    std::string error;
    ASSERT_TRUE(cardlib::WriteTsFolder(network, Path("captures"), &error)) << error;
    std::filesystem::create_directories(Path("config/kelvane"));
    WriteFile(Path("config/kelvane/card.ini"), "[Card]\nBackend=files\nFolder=" + Path("captures") + "\n");
    ASSERT_EQ(Cli({"import", "--db", Db(), Golden("programs.zap")}).status, 0);

    const auto began = std::chrono::steady_clock::now();
    // The NIT actual, named: the scan does not stay on the home transport
    // to hear other networks' NITs.
    CliRun run = Cli({"scan", "--db", Db(), "--network-id", "0", "--verbose"});
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(15));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("; no lock on 450.0 MHz (TS 11)\n"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.rfind("Request NIT\n", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("Set Frequenzy to 346.0 MHz\nRequest SDT\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\nProgram list saved to " + Db() + "\n"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    run = Cli({"list", "--db", Db()});
    // The three programs that were there, then the one of the transport.
    EXPECT_NE(run.out.find("\n4   Kanal Elf  "), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("\n5 "), std::string::npos) << run.out;
}

// A tuner that is not there: one line, status 1, at once.
TEST_F(CliTest, ScanWithoutTheAdapterEndsWithOneLine) {
    std::filesystem::create_directories(Path("config/kelvane"));
    WriteFile(Path("config/kelvane/card.ini"), "[Card]\nBackend=dvb\nAdapter=200\nHomeFrequency=346000\n");
    const CliRun run = Cli({"scan", "--db", Db()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "kelvane-cli: No DVB adapter: /dev/dvb/adapter200/frontend0 does not exist (No such file or directory). "
              "Plug in the tuner, or set Adapter and Frontend in card.ini.\n");
    EXPECT_FALSE(std::filesystem::exists(Db()));
    EXPECT_EQ(Cli({"scan", "--nit-timeout", "-1"}).status, 2);
    EXPECT_EQ(Cli({"scan", "--tick-ms", "5"}).status, 2);
    EXPECT_EQ(Cli({"scan", "--wait-unlocked=1"}).status, 2);
    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
             {"scan", "--frequency", "370"}, {"scan", "--frequency", "370000", "--modulation", "32"},
             {"scan", "--symbol-rate", "6900"}, {"networks", "x"}}) {
        const CliRun usage = Cli(wrong);
        EXPECT_EQ(usage.status, 2) << wrong[1];
        EXPECT_EQ(std::count(usage.err.begin(), usage.err.end(), '\n'), 1) << usage.err;
    }
}

// Two imports started together both land: each waits for the other's
// read-modify-write, so neither's list is written over the other's.
TEST_F(CliTest, ImportsAtOnceBothLand) {
    std::vector<TunProgDataTag> programs(3000, exchangetest::Programs()[0]);
    WriteFile(Path("many.csv"), exchange::Export(exchange::Format::Csv, programs));
    const std::string import = "env XDG_DATA_HOME=" + Quoted(Path("data")) + " " + Quoted(KELVANE_CLI) +
                               " import --db " + Quoted(Db()) + " " + Quoted(Path("many.csv"));
    const std::string both = "(" + import + " 2>" + Quoted(Path("a")) + " & " + import + " 2>" + Quoted(Path("b")) +
                             " & wait %1 && wait %2)";
    ASSERT_EQ(std::system(("sh -c " + Quoted(both)).c_str()), 0) << ReadFile(Path("a")) << ReadFile(Path("b"));
    const std::string said = ReadFile(Path("a")) + ReadFile(Path("b"));
    EXPECT_NE(said.find(", 3000 in the list"), std::string::npos) << said;
    EXPECT_NE(said.find(", 6000 in the list"), std::string::npos) << said;
    const CliRun run = Cli({"list", "--db", Db()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\n6000 "), std::string::npos);
    EXPECT_EQ(run.out.find("\n6001 "), std::string::npos);
}

// A database another program holds is waited for, then named.
TEST_F(CliTest, LockedDatabaseIsNamedAfterAWait) {
    ASSERT_EQ(Cli({"import", "--db", Db(), Golden("programs.vdr")}).status, 0);
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(Db().c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const CliRun run = Cli({"import", "--db", Db(), Golden("programs.zap")});
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "kelvane-cli: " + Db() + ": Error on DVB_LoadDBProgData: 8 (locked by another program; try "
                       "again when it is done)\n");
    EXPECT_EQ(Cli({"import", "--db", Db(), Golden("programs.zap")}).status, 0);
}

// The operators' lists where card.ini says, all of them or one country's,
// one a line; a country without any, or no folder, is one line and status 1.
TEST_F(CliTest, PresetsListsTheOperatorsListsWhereCardIniSays) {
    const std::filesystem::path folder = Path("config/kelvane/dvb-c");
    std::filesystem::create_directories(folder);
    for (const char* name : {"de-Kabel_Nord", "at-Liwest", "DE-Kabel_Sued"})
        WriteFile(folder / name, "[CHANNEL]\n\tDELIVERY_SYSTEM = DVBC/ANNEX_A\n\tFREQUENCY = 346000000\n");
    WriteFile(Path("config/kelvane/card.ini"), "[Card]\nPresetFolder=dvb-c\n");
    const CliRun de = Cli({"presets", "de"});
    EXPECT_EQ(de.status, 0) << de.err;
    EXPECT_EQ(de.out, "DE-Kabel_Sued\nde-Kabel_Nord\n");
    EXPECT_EQ(Cli({"presets"}).out, "DE-Kabel_Sued\nat-Liwest\nde-Kabel_Nord\n");
    const CliRun fr = Cli({"presets", "fr"});
    EXPECT_EQ(fr.status, 1);
    EXPECT_EQ(fr.out, "");
    EXPECT_EQ(fr.err, "kelvane-cli: no preset begins with \"fr-\" in " + folder.string() + "\n");
    std::filesystem::remove_all(folder);
    const CliRun none = Cli({"presets"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "kelvane-cli: no presets: " + folder.string() + " is missing (sudo apt-get install dtv-scan-tables)\n");
}

}  // namespace
