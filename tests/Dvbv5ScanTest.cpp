// Debian's dvbv5-scan (dvb-tools, over libdvbv5) run as a process on the
// emulated devices, through the preload library that puts them behind its
// system calls: a third party's scan meets the same kernel answers as ours.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "simnet/SimBackend.h"
#include "simnet/SimNetwork.h"
#include "card/ProgramFields.h"
#include "programs/ProgramListDialog.h"
#include "scan/ScanChannelsDialog.h"
#include "tests/ProgramTestSupport.h"

namespace {

class Dvbv5Scan : public programtest::ProgramFixture {};

// dvbv5-scan reads the initial file, tunes the home transport only (-F: no
// frequencies from its NIT, so the run stays within a few seconds) and
// writes every service of it that has a PMT: those are the programs our
// simulated backend's scan merges on that frequency.
TEST_F(Dvbv5Scan, FindsOnTheEmulatedDevicesWhatTheSimulatedScanMergesThere) {
    if (std::string(KELVANE_DVB_PRELOAD).empty()) GTEST_SKIP() << "the preload library is not built here";
    if (std::string(KELVANE_DVBV5_SCAN).empty()) GTEST_SKIP() << "dvbv5-scan is not installed (dvb-tools)";
    const cardlib::SimNetwork& network = cardlib::DefaultNetwork();
    const cardlib::SimTransport& home = network.transports[network.homeTransport];
    std::ostringstream initial;
    initial << "[CHANNEL]\n\tDELIVERY_SYSTEM = DVBC/ANNEX_A\n\tFREQUENCY = " << home.frequencyKHz * 1000
            << "\n\tSYMBOL_RATE = " << home.symbolRate << "\n\tINNER_FEC = NONE\n\tMODULATION = QAM/"
            << (home.modulation == cardlib::Modulation::Qam256 ? 256 : 64) << "\n\tINVERSION = AUTO\n";
    programtest::WriteFile(Dir() / "initial", initial.str());
    const std::string command = "cd '" + Dir().string() + "' && env LD_PRELOAD='" KELVANE_DVB_PRELOAD
                                "' KELVANE_DVB_RETUNE_MS=50 timeout 20 '" KELVANE_DVBV5_SCAN
                                "' -F -o channels.conf initial >log 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << programtest::ReadFile(Dir() / "log");
    std::set<std::string> found;
    std::istringstream conf(programtest::ReadFile(Dir() / "channels.conf"));
    for (std::string line; std::getline(conf, line);)
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') found.insert(line.substr(1, line.size() - 2));

    card.UseBackend(std::make_unique<cardlib::SimBackend>(network));
    card.Attach(host);
    host.SetModalTimeLimit(60 * 60 * 1000);
    ProgramListDialog window(host);
    host.Open(window);
    ScanChannelsDialog scan(host, &window, 1);
    ASSERT_EQ(scan.DoModal(), 1);
    std::set<std::string> merged;
    // The list shows frequencies in units of 10 Hz.
    const std::string frequency = std::to_string(home.frequencyKHz * 100);
    for (int r = 0; r < window.ProgramList().GetItemCount(); ++r)
        if (window.ProgramList().GetItemText(r, kColumnFrequency) == frequency)
            merged.insert(window.ProgramList().GetItemText(r, kColumnName));
    host.Close(window);
    EXPECT_EQ(merged.size(), home.services.size());
    EXPECT_EQ(found, merged) << programtest::ReadFile(Dir() / "log");
}

}  // namespace
