#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "app/CardStatus.h"
#include "board/BoardDatabase.h"
#include "cardlib/Card.h"
#include "framework/Profile.h"
#include "framework/qt/QtHost.h"
#include "linuxdvb/LinuxDvbBackend.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"
#include "simnet/SimNetwork.h"
#include "testing/EmulatedDvb.h"
#include "tests/qt/QtTestSupport.h"

namespace {

using Steady = std::chrono::steady_clock;

qint64 Ms(Steady::duration d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); }

// Takes the clicks posted to a widget and says when the loop handed over the last.
class ClickCatcher : public QObject {
public:
    std::atomic<Steady::rep> releasedAt{0};

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease) releasedAt = Steady::now().time_since_epoch().count();
        // Taken here, so the click does nothing to the window.
        return event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease;
    }
};

struct Responsiveness {
    qint64 longestGapMs = 0;  // between two turns of the GUI thread's loop
    qint64 clickMs = -1;      // from posting a click to its handling
    int64_t heldMs = 0;       // the longest a frontend call waited on the driver
};

// A scan over the emulated devices whose driver holds its frontend calls for
// `holdMs` after a tuning; while it tunes, a 10 ms timer measures how long
// the GUI thread goes without turning (once the scan window is up), and a
// click comes to the program list halfway, from another thread as the
// window system's input would. The scan is cancelled once the tuning has
// settled.
Responsiveness ScanWithSlowDriver(bool workInPlace, int64_t holdMs) {
    const std::filesystem::path dir = qttest::MakeTempDir();
    Responsiveness measured;
    {
        cardlib::SimNetwork network = qttest::ShortNetwork();
        network.transports.resize(1);
        cardlib::Board board((dir / "board.db").string());
        fw::Profile profile((dir / "kelvane.INI").string());
        fw::QtHost host;
        host.SetWorkInPlace(workInPlace);
        res::RegisterResources(host);
        host.SetProfile(&profile);
        host.SetMessageHandler([](const std::string&) {});
        host.SetQuestionHandler([](const std::string&, fw::QuestionButtons buttons) {
            return buttons == fw::QuestionButtons::YesNo ? fw::Answer::No : fw::Answer::Discard;
        });
        cardlib::EmulatedDvb::Setup setup;
        setup.canQamAuto = true;
        setup.frontendHoldMs = holdMs;
        auto kernel = std::make_shared<cardlib::EmulatedDvb>(host, network, setup);
        cardlib::DvbSettings settings;
        settings.homeFrequencyKHz = network.transports[0].frequencyKHz;
        cardlib::Card card;
        card.UseBackend(std::make_unique<cardlib::LinuxDvbBackend>(settings, kernel));
        card.Attach(host);
        ProgramListDialog window(host);
        CardStatus status(card, window);
        qttest::RunModalWith(
            host, window,
            [&] {
                // The turns of the GUI thread's loop, and whether the scan was ended.
                std::vector<Steady::time_point> turns{Steady::now()};
                bool cancelled = false;
                QTimer probe;
                probe.setTimerType(Qt::PreciseTimer);
                QObject::connect(&probe, &QTimer::timeout, [&] {
                    turns.push_back(Steady::now());
                    const Steady::time_point began = kernel->HoldBegan();
                    if (cancelled || began == Steady::time_point{} ||
                        turns.back() < began + std::chrono::milliseconds(holdMs + 300))
                        return;
                    cancelled = true;
                    if (fw::Dialog* scan = host.ActiveModal(); scan && scan != &window) scan->OnCancel();
                });
                ClickCatcher catcher;
                QWidget* list = host.ControlWidget(window, res::IDC_PROGRAM_LIST);
                list->installEventFilter(&catcher);
                std::atomic<Steady::rep> postedAt{0};
                const QPointF at(5, 5), global = list->mapToGlobal(at);
                // The user clicks halfway through the tuning, whatever the GUI thread does.
                std::thread user([&] {
                    const Steady::time_point giveUp = Steady::now() + std::chrono::seconds(5);
                    while (kernel->HoldBegan() == Steady::time_point{} && Steady::now() < giveUp)
                        std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    std::this_thread::sleep_until(kernel->HoldBegan() + std::chrono::milliseconds(holdMs / 2));
                    postedAt = Steady::now().time_since_epoch().count();
                    QCoreApplication::postEvent(list, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton,
                                                                      Qt::LeftButton, Qt::NoModifier));
                    QCoreApplication::postEvent(list, new QMouseEvent(QEvent::MouseButtonRelease, at, global,
                                                                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
                });
                probe.start(10);
                QTest::mouseClick(host.ControlWidget(window, res::IDC_SEARCH), Qt::LeftButton);
                probe.stop();
                user.join();
                QCoreApplication::processEvents();
                list->removeEventFilter(&catcher);
                if (catcher.releasedAt != 0 && postedAt != 0)
                    measured.clickMs = Ms(Steady::duration(catcher.releasedAt - postedAt));
                // The longest the loop stood still while the driver held the frontend.
                const Steady::time_point began = kernel->HoldBegan(),
                                         ended = began + std::chrono::milliseconds(holdMs);
                for (size_t i = 1; i < turns.size(); ++i)
                    if (turns[i] > began && turns[i - 1] < ended)
                        measured.longestGapMs = std::max(measured.longestGapMs, Ms(turns[i] - turns[i - 1]));
                QTest::mouseClick(host.ControlWidget(window, fw::IDCANCEL), Qt::LeftButton);
            },
            holdMs + 10000);
        card.UseBackend(nullptr);
        measured.heldMs = kernel->LongestHoldMs();
        EXPECT_EQ(kernel->OpenDescriptors(), 0u);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return measured;
}

// A driver that holds its calls for 3 s while it tunes: the window takes a
// click within 100 ms and keeps turning its loop, as the frontend's calls
// wait on their own thread. The same scan with the calls made in place
// shows what the measurement would catch: the window frozen for the hold.
TEST(SlowDriverQt, WindowAnswersWithin100MsWhileATuningHoldsTheFrontendFor3s) {
    const Responsiveness threaded = ScanWithSlowDriver(false, 3000);
    const Responsiveness inPlace = ScanWithSlowDriver(true, 800);
    std::printf("Slow driver (3000 ms hold), frontend calls on a worker: GUI thread blocked at most %lld ms, "
                "a click handled after %lld ms, the driver held a call %lld ms\n",
                static_cast<long long>(threaded.longestGapMs), static_cast<long long>(threaded.clickMs),
                static_cast<long long>(threaded.heldMs));
    std::printf("Slow driver (800 ms hold), frontend calls in place: GUI thread blocked %lld ms, a click handled "
                "after %lld ms\n",
                static_cast<long long>(inPlace.longestGapMs), static_cast<long long>(inPlace.clickMs));
    EXPECT_GE(threaded.heldMs, 2500);
    // Whatever else the machine runs may delay a turn of the loop now and
    // then; waiting on the driver would stop it for the whole hold.
    EXPECT_LT(threaded.longestGapMs, 500);
    EXPECT_GE(threaded.clickMs, 0);
    EXPECT_LT(threaded.clickMs, 100);
    EXPECT_GE(inPlace.heldMs, 600);
    EXPECT_GE(inPlace.longestGapMs, 600);
    EXPECT_GE(inPlace.clickMs, 200);
}

}  // namespace

namespace {

class QuietSink : public cardlib::PacketSink {
public:
    void OnPackets(const uint8_t*, size_t) override {}
    bool Wants(uint16_t) const override { return false; }
};

// Closed while the driver still holds a tuning: the backend goes once the
// call in progress has returned, and leaves no descriptor open.
TEST(SlowDriverQt, ClosingWhileATuningHoldsWaitsOnlyForTheCallInProgress) {
    cardlib::SimNetwork network = qttest::ShortNetwork();
    fw::QtHost host;
    cardlib::EmulatedDvb::Setup setup;
    setup.frontendHoldMs = 600;
    auto kernel = std::make_shared<cardlib::EmulatedDvb>(host, network, setup);
    cardlib::DvbSettings settings;
    settings.homeFrequencyKHz = network.transports[0].frequencyKHz;
    auto backend = std::make_unique<cardlib::LinuxDvbBackend>(settings, kernel);
    QuietSink sink;
    QElapsedTimer clock;
    clock.start();
    backend->Start(host, sink);
    // The tuning goes out, and the lock's first read waits on the driver.
    QTest::qWait(200);
    backend->Stop();
    backend.reset();
    const qint64 closedAfter = clock.elapsed();
    EXPECT_GE(kernel->LongestHoldMs(), 300);
    EXPECT_LT(closedAfter, 600 + 500);
    EXPECT_EQ(kernel->OpenDescriptors(), 0u);
}

}  // namespace
