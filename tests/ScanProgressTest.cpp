#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "res/ResourceIds.h"
#include "tests/HostSupport.h"
#include "tests/ScanTestSupport.h"

namespace {

using scantest::ScriptedOwner;
using scantest::Transport;

// Every text the line below the lists showed, once each, with the bar then.
class ProgressRecorder final : public fw::DialogView {
public:
    explicit ProgressRecorder(ScanChannelsDialog& window) : m_Window(window) {}
    void ControlChanged(int id) override {
        if (id != res::IDC_SCAN_PROGRESS_TEXT) return;
        const std::string text = m_Window.GetDlgItemText(id);
        if (!texts.empty() && texts.back() == text) return;
        texts.push_back(text);
        const fw::Control* bar = m_Window.GetDlgItem(res::IDC_SCAN_PROGRESS);
        bars.push_back(std::to_string(bar->position) + "/" + std::to_string(bar->range));
        if (text.rfind("Done", 0) == 0) silent = m_Window.SilentTransports();
    }
    std::vector<std::string> texts, bars;
    std::vector<ScanChannelsDialog::SilentTransport> silent;

private:
    ScanChannelsDialog& m_Window;
};

TEST(ScanProgress, TheLineBelowTheListsFollowsThePhasesCountsAndFrequencies) {
    const std::filesystem::path ini =
        std::filesystem::temp_directory_path() / ("scan-progress-" + std::to_string(::getpid()) + ".INI");
    std::filesystem::remove(ini);
    fw::Profile profile(ini.string());
    fw::HeadlessHost host;
    hosttest::RegisteredResources resources{host};
    host.SetProfile(&profile);
    host.SetModalTimeLimit(30 * 60 * 1000);

    Transport a{1, 1, 34600000, 6900, 3, true, {}};
    a.services = {{101, "Erstes", 1, 0x100, {{0x101, 2}}}, {102, "Zweites", 1, 0x200, {{0x201, 2}}}};
    Transport b{2, 1, 35400000, 6875, 5, true, {}};
    b.services = {{201, "Drittes", 1, 0x300, {{0x301, 2}}}};
    // Listed in the NIT, but no signal: no table ever comes.
    Transport dark{3, 1, 36200000, 6900, 3, false, {}};
    ScriptedOwner owner(host, {a, b, dark});
    ScanChannelsDialog window(host, &owner, 1);
    ProgressRecorder recorder(window);
    host.ScriptModal(res::IDD_SCAN_CHANNELS, [&](fw::Dialog& dialog) {
        recorder.ControlChanged(res::IDC_SCAN_PROGRESS_TEXT);
        dialog.SetView(&recorder);
    });
    ASSERT_EQ(window.DoModal(), 1);

    EXPECT_EQ(recorder.texts, (std::vector<std::string>{
                                  "Network: waiting for the NIT (request 1 of 3)",
                                  "Transports: 1 of 3, 346.0 MHz",
                                  "Transports: 2 of 3, 354.0 MHz",
                                  "Transports: 3 of 3, 362.0 MHz",
                                  // Between the phases nothing is tuned for the next.
                                  "Transports: 3 of 3",
                                  "Services: 1 of 3",
                                  "Services: 1 of 3, 346.0 MHz",
                                  "Services: 2 of 3, 346.0 MHz",
                                  "Services: 3 of 3, 346.0 MHz",
                                  "Services: 3 of 3, 354.0 MHz",
                                  "Done: 3 services",
                              }));
    EXPECT_EQ(recorder.bars.front(), "0/0");
    EXPECT_EQ(recorder.bars[2], "2/3");
    EXPECT_EQ(recorder.bars.back(), "3/3");
    EXPECT_EQ(recorder.silent, (std::vector<ScanChannelsDialog::SilentTransport>{{"362.0 MHz (TS 3)", false}}));
    std::filesystem::remove(ini);
}

}  // namespace
