#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <QApplication>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "card/ProgramFields.h"
#include "app/CardStatus.h"
#include "board/BoardDatabase.h"
#include "cardlib/Card.h"
#include "linuxdvb/LinuxDvbBackend.h"
#include "testing/EmulatedDvb.h"
#include "simnet/SimBackend.h"
#include "simnet/SimNetwork.h"
#include "framework/Profile.h"
#include "framework/headless/HeadlessHost.h"
#include "framework/qt/QtHost.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"
#include "tests/qt/QtTestSupport.h"

namespace {

double ProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The program list a scan over the simulated backend leaves, on the headless
// host's virtual clock: what the real-time scan must come to.
std::vector<std::string> SimulatedRows(const cardlib::SimNetwork& network, const std::filesystem::path& dir) {
    cardlib::Board board((dir / "simulated.db").string());
    fw::Profile profile((dir / "simulated.INI").string());
    fw::HeadlessHost host;
    res::RegisterResources(host);
    host.SetProfile(&profile);
    host.SetModalTimeLimit(60 * 60 * 1000);
    cardlib::Card card;
    card.UseBackend(std::make_unique<cardlib::SimBackend>(network));
    card.Attach(host);
    ProgramListDialog window(host);
    host.Open(window);
    window.OnCommand(res::IDC_SEARCH);
    // Only the scan's summary: the same scan through the devices gives the same one.
    EXPECT_EQ(host.Messages(), std::vector<std::string>{window.LastScan()});
    std::vector<std::string> rows;
    for (int r = 0; r < window.ProgramList().GetItemCount(); ++r)
        for (int c = 1; c <= kColumnState; ++c) rows.push_back(window.ProgramList().GetItemText(r, c));
    host.Close(window);
    return rows;
}

// A real-time scan on the Qt host, the emulated kernel's descriptors watched
// by socket notifiers: the simulated backend's rows, and the processor mostly
// idle while the scan waits for its tables (docs/PERFORMANCE.md keeps the
// figures). One transport with two programs and tables at every tick keep it
// to the few seconds its ticks take.
TEST(LinuxDvbQt, RealTimeScanOverTheEmulatedDevicesFillsTheListAndLeavesTheProcessorIdle) {
    const std::filesystem::path dir = qttest::MakeTempDir();
    cardlib::SimNetwork network = qttest::ShortNetwork();
    network.transports.resize(1);
    network.transports[0].services.resize(2);
    // Tables as often as a scan's 500 ms ticks can use them.
    network.timing.lockMinMs = 200, network.timing.lockMaxMs = 300;
    network.timing.sdtIntervalMs = network.timing.nitIntervalMs = 500;
    const auto simulated = SimulatedRows(network, dir);

    cardlib::Board board((dir / "board.db").string());
    fw::Profile profile((dir / "kelvane.INI").string());
    // The NIT actual, named: the real-time scan does not stay on the home
    // transport to hear other networks.
    profile.WriteInt("ScanNetwork", "NetworkId", 0);
    fw::QtHost host;
    res::RegisterResources(host);
    host.SetProfile(&profile);
    std::vector<std::string> messages;
    host.SetMessageHandler([&](const std::string& text) { messages.push_back(text); });
    // Closing after the scan's merges asks whether to save them: the user discards.
    host.SetQuestionHandler([](const std::string&, fw::QuestionButtons buttons) {
        return buttons == fw::QuestionButtons::YesNo ? fw::Answer::No : fw::Answer::Discard;
    });
    cardlib::EmulatedDvb::Setup setup;
    setup.canQamAuto = true;
    auto kernel = std::make_shared<cardlib::EmulatedDvb>(host, network, setup);
    cardlib::DvbSettings settings;
    settings.homeFrequencyKHz = network.transports[0].frequencyKHz;
    cardlib::Card card;
    card.UseBackend(std::make_unique<cardlib::LinuxDvbBackend>(settings, kernel));
    card.Attach(host);
    ProgramListDialog window(host);
    CardStatus status(card, window);
    std::vector<std::string> rows;
    double wall = 0, processor = 0;
    qttest::RunModalWith(
        host, window,
        [&] {
            const double cpu = ProcessorSeconds();
            const auto began = std::chrono::steady_clock::now();
            QTest::mouseClick(host.ControlWidget(window, res::IDC_SEARCH), Qt::LeftButton);
            wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
            processor = ProcessorSeconds() - cpu;
            std::printf("Linux DVB backend: real-time scan of %d programs, wall %.1f s, processor %.3f s\n",
                        window.ProgramList().GetItemCount(), wall, processor);
            for (int r = 0; r < window.ProgramList().GetItemCount(); ++r)
                for (int c = 1; c <= kColumnState; ++c)
                    rows.push_back(window.ProgramList().GetItemText(r, c));
            QTest::mouseClick(host.ControlWidget(window, fw::IDCANCEL), Qt::LeftButton);
        },
        30000);
    EXPECT_EQ(rows.size(), 2u * 24u);
    EXPECT_EQ(rows, simulated);
    EXPECT_EQ(messages, std::vector<std::string>{"Scan: 2 added, 0 updated, 0 actual, 0 missing; every transport locked"});
    EXPECT_EQ(kernel->OpenDemuxes(), 0u);
    // Waiting for tables costs nothing: the scan keeps the processor busy
    // for less than a tenth of the time it takes.
    EXPECT_GT(wall, 1.0);
    EXPECT_LT(processor, 0.1 * wall);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace
