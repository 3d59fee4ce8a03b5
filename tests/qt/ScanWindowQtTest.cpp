#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QProgressBar>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <functional>

#include "board/BoardDatabase.h"
#include "cardlib/Card.h"
#include "simnet/SimBackend.h"
#include "simnet/SimNetwork.h"
#include "framework/Profile.h"
#include "framework/qt/QtHost.h"
#include "card/ProgramFields.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"
#include "scan/ScanChannelsDialog.h"
#include "tests/qt/QtTestSupport.h"

namespace {

using qttest::ScreenshotPath;

TEST(ScanWindowQt, SearchScansTheNetworkAndFillsTheProgramList) {
    const std::filesystem::path dir = qttest::MakeTempDir();
    cardlib::Board board((dir / "board.db").string());
    fw::Profile profile((dir / "kelvane.INI").string());
    fw::QtHost host;
    res::RegisterResources(host);
    host.SetProfile(&profile);
    // Closing after the scan's merges asks whether to save them: the user discards.
    host.SetQuestionHandler([](const std::string&, fw::QuestionButtons buttons) {
        return buttons == fw::QuestionButtons::YesNo ? fw::Answer::No : fw::Answer::Discard;
    });
    cardlib::Card card;
    // One transport of three services: the whole scan on the real event loop
    // in about 8 s. Many transports are the headless scans' business.
    constexpr int kServices = 3;
    card.UseBackend(std::make_unique<cardlib::SimBackend>(qttest::ShortNetwork(1, kServices)));
    card.Attach(host);

    ProgramListDialog window(host);
    int rowsAfterScan = -1;
    bool sawScanWindow = false;
    bool scanEnded = false;
    // Mid-scan, the log and the lists have filled partly: once a PMT's streams
    // show, every list has rows.
    std::function<void()> shootMidScan = [&] {
        if (scanEnded) return;
        auto* running = dynamic_cast<ScanChannelsDialog*>(host.ActiveModal());
        if (!running || running->StreamList().GetItemCount() == 0) {
            host.Post(shootMidScan, 100);
            return;
        }
        auto* scan = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(scan, nullptr);
        sawScanWindow = scan->windowTitle() == "Scan Channels";
        // Below the lists: how far the scan has got.
        auto* bar = scan->findChild<QProgressBar*>();
        ASSERT_NE(bar, nullptr);
        EXPECT_GT(bar->value(), 0);
        EXPECT_GT(bar->geometry().top(), host.ControlWidget(*running, res::IDC_SCAN_STREAMS)->geometry().bottom());
        auto* line = qobject_cast<QLabel*>(host.ControlWidget(*running, res::IDC_SCAN_PROGRESS_TEXT));
        ASSERT_NE(line, nullptr);
        EXPECT_TRUE(line->text().startsWith("Services: ")) << line->text().toStdString();
        EXPECT_TRUE(scan->grab().save(QString::fromStdString(ScreenshotPath("scan-window.png").string())));
    };
    // The summary's message box over the list it filled, as the user sees it.
    std::function<void()> shootSummary = [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            host.Post(shootSummary, 100);
            return;
        }
        (void)QTest::qWaitForWindowExposed(box, 2000);
        // Its text's lines all in sight before the picture.
        box->adjustSize();
        QTest::qWait(50);
        QPixmap shot = host.WindowOf(window)->grab();
        QPainter painter(&shot);
        const QRect where((shot.width() - box->width()) / 2, (shot.height() - box->height()) / 2, box->width(), box->height());
        painter.drawPixmap(where.topLeft(), box->grab());
        painter.setPen(Qt::darkGray);
        painter.drawRect(where.adjusted(-1, -1, 0, 0));
        painter.end();
        EXPECT_TRUE(shot.save(QString::fromStdString(ScreenshotPath("scan-summary.png").string())));
        box->button(QMessageBox::Ok)->click();
    };
    qttest::RunModalWith(
        host, window,
        [&] {
            host.Post(shootMidScan, 100);
            host.Post(shootSummary, 100);
            // Search runs the scan window modally until the scan closes it.
            QTest::mouseClick(host.ControlWidget(window, res::IDC_SEARCH), Qt::LeftButton);
            scanEnded = true;
            rowsAfterScan = window.ProgramList().GetItemCount();
            auto* view = qobject_cast<QTreeView*>(host.ControlWidget(window, res::IDC_PROGRAM_LIST));
            ASSERT_NE(view, nullptr);
            EXPECT_EQ(view->model()->rowCount(), rowsAfterScan);
            EXPECT_TRUE(host.WindowOf(window)->grab().save(
                QString::fromStdString(ScreenshotPath("program-list-scanned.png").string())));
            QTest::mouseClick(host.ControlWidget(window, fw::IDCANCEL), Qt::LeftButton);
        },
        90000);
    EXPECT_TRUE(sawScanWindow);
    EXPECT_EQ(rowsAfterScan, kServices);
    // The scan window takes its log with it; its result stays with the list.
    // The networks whose NIT the home transport sent follow where one came
    // while the scan listened, which the real clock decides.
    ASSERT_EQ(host.Messages().size(), 1u);
    const std::string& summary = host.Messages()[0];
    const size_t end = summary.find('\n');
    EXPECT_EQ(summary.substr(0, end),
              "Scan: " + std::to_string(kServices) + " added, 0 updated, 0 actual, 0 missing; every transport locked");
    EXPECT_TRUE(end == std::string::npos || summary.find("\nNetworks on this cable: 28432 \"Lindwurm Kabel\"") == end)
        << summary;
    for (int r = 0; r < window.ProgramList().GetItemCount(); ++r) {
        EXPECT_EQ(window.ProgramList().GetItemText(r, kColumnState), "added");
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace
