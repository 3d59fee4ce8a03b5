// Windows under a real window manager keep the place the user gave them:
// opening and closing them leaves their stored frame where it was.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDialog>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <string>
#include <vector>

#include "card/DBDVBX32.h"
#include "framework/Profile.h"
#include "framework/qt/QtHost.h"
#include "programs/ProgramDetailsDialog.h"
#include "res/Resources.h"
#include "scan/ScanChannelsDialog.h"
#include "scan/ScanOwner.h"
#include "tests/qt/QtTestSupport.h"
#include "tests/wm/WmTestSupport.h"

namespace {

// An owner whose tables never come: the scan waits for its NIT until the
// test closes the window.
class SilentOwner final : public ScanOwner {
public:
    void SetResultWindowForAll(ScanRowWriter*) override {}
    void RequestNit(int) override {}
    void RequestPat() override {}
    void RequestPmt(int, int) override {}
    void RequestSdt() override {}
    int IsNitDone() override { return 0; }
    int IsPatDone() override { return 0; }
    int IsPmtDone() override { return 0; }
    int IsSdtDone() override { return 0; }
    TableProgress NitProgress() override { return {}; }
    TableProgress SdtProgress() override { return {}; }
    int Tune(unsigned long) override { return 0; }
    void MergeService(const ScannedService&, int) override {}
};

struct Placement {
    int left, top, right, bottom;
    bool operator==(const Placement&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Placement& p) {
    return out << p.left << "," << p.top << " - " << p.right << "," << p.bottom;
}

class WindowPlacementWm : public ::testing::Test {
protected:
    void SetUp() override {
        WM_TEST_NEEDS_SESSION();
        std::string pattern = (std::filesystem::temp_directory_path() / "kelvane-wm-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        profile = std::make_unique<fw::Profile>((dir / "kelvane.INI").string());
        res::RegisterResources(host);
        host.SetProfile(profile.get());
        host.SetMessageHandler([](const std::string& text) { ADD_FAILURE() << "message: " << text; });
    }
    void TearDown() override {
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }

    Placement Stored(const char* section) const {
        return {profile->GetInt(section, "Left", 0), profile->GetInt(section, "Top", 0),
                profile->GetInt(section, "Right", 0), profile->GetInt(section, "Bottom", 0)};
    }
    void Store(const char* section, const Placement& p) {
        profile->WriteInt(section, "Left", p.left);
        profile->WriteInt(section, "Top", p.top);
        profile->WriteInt(section, "Right", p.right);
        profile->WriteInt(section, "Bottom", p.bottom);
    }

    // Runs the dialog until the window manager has framed and activated its
    // window and the window has settled, then closes it; returns the frame
    // the user saw.
    Placement OpenAndClose(fw::Dialog& dialog) {
        Placement seen{};
        qttest::RunModalWith(
            host, dialog,
            [&] {
                QDialog* window = host.WindowOf(dialog);
                ASSERT_NE(window, nullptr);
                EXPECT_TRUE(qttest::WaitFor([&] { return window->isActiveWindow(); }, 3000));
                EXPECT_TRUE(qttest::WaitFor([&] { return window->frameGeometry() != window->geometry(); }, 3000))
                    << "the window manager put no frame around the window";
                // The late look at the frame (see QtDialogWindow::showEvent).
                QTest::qWait(400);
                const QRect frame = window->frameGeometry();
                seen = {frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height()};
                dialog.EndDialog(fw::IDCANCEL);
            },
            8000);
        return seen;
    }

    QRect ScreenArea() const { return QGuiApplication::primaryScreen()->availableGeometry(); }

    std::filesystem::path dir;
    std::unique_ptr<fw::Profile> profile;
    fw::QtHost host;
};

bool Inside(const Placement& p, const QRect& area) {
    return p.left >= area.left() && p.top >= area.top() && p.right <= area.left() + area.width() &&
           p.bottom <= area.top() + area.height();
}

TEST_F(WindowPlacementWm, ScanWindowStaysWhereItWasOverTenOpens) {
    SilentOwner owner;
    // Where the user left it last time, and then where it opens by itself.
    const int width = std::min(560, ScreenArea().width() - 40);
    const int height = std::min(640, ScreenArea().height() - 40);
    const Placement userPlaced{60, 30, 60 + width, 30 + height};
    Store("ScanNetwork", userPlaced);
    for (int open = 1; open <= 10; ++open) {
        SCOPED_TRACE("open " + std::to_string(open));
        ScanChannelsDialog scan(host, &owner, 1);
        const Placement seen = OpenAndClose(scan);
        EXPECT_EQ(seen, userPlaced) << "the frame on the screen";
        EXPECT_EQ(Stored("ScanNetwork"), userPlaced);
    }
}

TEST_F(WindowPlacementWm, ScanWindowFirstPlacedByTheHostKeepsThatPlace) {
    SilentOwner owner;
    Placement first{};
    for (int open = 1; open <= 4; ++open) {
        SCOPED_TRACE("open " + std::to_string(open));
        ScanChannelsDialog scan(host, &owner, 1);
        const Placement seen = OpenAndClose(scan);
        if (open == 1) first = Stored("ScanNetwork");
        EXPECT_EQ(seen, first);
        EXPECT_EQ(Stored("ScanNetwork"), first);
        EXPECT_TRUE(Inside(seen, ScreenArea())) << seen;
    }
}

TEST_F(WindowPlacementWm, PlacementOffEveryScreenComesBackOntoOne) {
    SilentOwner owner;
    Store("ScanNetwork", {-3000, -2000, -2400, -1300});
    ScanChannelsDialog scan(host, &owner, 1);
    const Placement seen = OpenAndClose(scan);
    EXPECT_TRUE(Inside(seen, ScreenArea())) << seen;
    EXPECT_EQ(Stored("ScanNetwork"), seen);
    // Bigger than the screen: shrunk to it.
    Store("ScanNetwork", {0, 0, 4000, 3000});
    ScanChannelsDialog again(host, &owner, 1);
    const Placement shrunk = OpenAndClose(again);
    EXPECT_TRUE(Inside(shrunk, ScreenArea())) << shrunk;
    EXPECT_EQ(Stored("ScanNetwork"), shrunk);
}

TEST_F(WindowPlacementWm, DetailsDialogOpensInTheSamePlaceEveryTime) {
    Placement first{};
    for (int open = 1; open <= 4; ++open) {
        SCOPED_TRACE("open " + std::to_string(open));
        TunProgDataTag record{};
        ProgramDetailsDialog details(host, record, false);
        const Placement seen = OpenAndClose(details);
        if (open == 1) first = seen;
        EXPECT_EQ(seen, first);
        EXPECT_TRUE(Inside(seen, ScreenArea())) << seen;
    }
}

}  // namespace
