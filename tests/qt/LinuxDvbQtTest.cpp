#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <QApplication>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "app/CardStatus.h"
#include "cardlib/BoardDatabase.h"
#include "cardlib/Card.h"
#include "cardlib/LinuxDvbBackend.h"
#include "cardlib/testing/LinuxDvbEmulation.h"
#include "cardlib/SimBackend.h"
#include "cardlib/SimNetwork.h"
#include "framework/Profile.h"
#include "framework/qt/QtHost.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "tests/qt/QtTestSupport.h"

namespace {

double ProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A real-time scan on the Qt host, the emulated kernel's descriptors watched
// by socket notifiers, against the simulated backend: the same rows, and the
// processor time each takes (printed; docs/PERFORMANCE.md keeps the figures).
TEST(LinuxDvbQt, RealTimeScanOverTheEmulatedDevicesFillsTheListAndLeavesTheProcessorIdle) {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvane-qt-dvb-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path dir = pattern;
    cardlib::Board board((dir / "board.db").string());
    fw::Profile profile((dir / "kelvane.INI").string());
    fw::QtHost host;
    host.SetProfile(&profile);
    host.SetMessageHandler([](const std::string& text) { ADD_FAILURE() << "message: " << text; });
    const cardlib::SimNetwork network = qttest::ShortNetwork();

    auto scan = [&](std::unique_ptr<cardlib::Backend> backend, const char* what) {
        cardlib::Card card;
        ShowCardStatusInScanLog(card, host);
        card.UseBackend(std::move(backend));
        card.Attach(host);
        ProgramListDialog window(host);
        std::vector<std::string> rows;
        qttest::RunModalWith(
            host, window,
            [&] {
                const double cpu = ProcessorSeconds();
                const auto began = std::chrono::steady_clock::now();
                QTest::mouseClick(host.ControlWidget(window, res::IDC_SEARCH), Qt::LeftButton);
                const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - began;
                std::printf("%s: real-time scan of %d programs, wall %.1f s, processor %.3f s\n", what,
                            window.ProgramList().GetItemCount(), wall.count(), ProcessorSeconds() - cpu);
                for (int r = 0; r < window.ProgramList().GetItemCount(); ++r)
                    for (int c = 1; c < window.ProgramList().GetColumnCount(); ++c)
                        rows.push_back(window.ProgramList().GetItemText(r, c));
                QTest::mouseClick(host.ControlWidget(window, fw::IDCANCEL), Qt::LeftButton);
            },
            90000);
        return rows;
    };

    const auto simulated = scan(std::make_unique<cardlib::SimBackend>(network), "simulated backend");
    cardlib::EmulatedDvb::Setup setup;
    setup.canQamAuto = true;
    auto kernel = std::make_shared<cardlib::EmulatedDvb>(host, network, setup);
    cardlib::DvbSettings settings;
    settings.homeFrequencyKHz = network.transports[0].frequencyKHz;
    const auto dvb = scan(std::make_unique<cardlib::LinuxDvbBackend>(settings, kernel), "Linux DVB backend");
    EXPECT_EQ(dvb.size(), 8u * 24u);
    EXPECT_EQ(dvb, simulated);
    EXPECT_EQ(kernel->OpenDemuxes(), 0u);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace
