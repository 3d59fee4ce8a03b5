#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <functional>

#include "board/BoardDatabase.h"
#include "cardlib/Card.h"
#include "framework/Profile.h"
#include "framework/qt/QtHost.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"
#include "scan/ScanChannelsDialog.h"
#include "tests/qt/QtTestSupport.h"

namespace {

// The scan window's log, through the real widgets: its column follows the
// window's width, and a line cut short shows whole in a tooltip.
TEST(ScanLogQt, TheLogFollowsTheWindowAndCutLinesShowWhole) {
    const std::filesystem::path dir = qttest::MakeTempDir();
    cardlib::Board board((dir / "board.db").string());
    fw::Profile profile((dir / "kelvane.INI").string());
    fw::QtHost host;
    res::RegisterResources(host);
    host.SetProfile(&profile);
    host.SetMessageHandler([](const std::string&) {});
    host.SetQuestionHandler([](const std::string&, fw::QuestionButtons) { return fw::Answer::No; });
    // No backend: the NIT never comes, and the scan window stays open.
    cardlib::Card card;
    card.Attach(host);
    ProgramListDialog window(host);

    const std::string line = "No network answered: no NIT after three requests; the scan goes on asking for it";
    bool checked = false;
    std::function<void()> check = [&] {
        auto* scan = dynamic_cast<ScanChannelsDialog*>(host.ActiveModal());
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!scan || !dialog) return void(host.Post(check, 50));
        auto* log = qobject_cast<QTreeView*>(host.ControlWidget(*scan, res::IDC_SCAN_LOG));
        ASSERT_NE(log, nullptr);
        scan->AddStatusLine(line);
        scan->AddStatusLine("Request SDT");
        int widthBefore = 0;
        for (const int width : {500, 1100}) {
            SCOPED_TRACE(width);
            dialog->resize(width, dialog->height());
            ASSERT_TRUE(qttest::WaitFor([&] { return log->header()->sectionSize(0) != widthBefore; }));
            // The one column fills the list but for its scroll bar.
            EXPECT_LE(log->header()->sectionSize(0), log->viewport()->width());
            EXPECT_GE(log->header()->sectionSize(0), log->viewport()->width() - host.VerticalScrollBarWidth() - 4);
            widthBefore = log->header()->sectionSize(0);
        }
        // Narrow again: the long line is cut, and its tooltip is the whole
        // line; a line that fits has none.
        dialog->resize(500, dialog->height());
        ASSERT_TRUE(qttest::WaitFor([&] { return log->header()->sectionSize(0) < widthBefore; }));
        for (const int row : {scan->LogList().GetItemCount() - 2, scan->LogList().GetItemCount() - 1}) {
            log->scrollTo(log->model()->index(row, 0));
            const QRect cell = log->visualRect(log->model()->index(row, 0));
            QHelpEvent help(QEvent::ToolTip, cell.center(), log->viewport()->mapToGlobal(cell.center()));
            QApplication::sendEvent(log->viewport(), &help);
            QString shown;
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* tip = qobject_cast<QLabel*>(top);
                if (tip && top->objectName() == "qtooltip_label" && top->isVisible()) shown = tip->text();
            }
            // A line that fits leaves at most the tip before it, going.
            if (row == scan->LogList().GetItemCount() - 2) EXPECT_EQ(shown.toStdString(), line);
            else EXPECT_NE(shown.toStdString(), "Request SDT");
        }
        checked = true;
        scan->EndDialog(2);
    };
    qttest::RunModalWith(host, window, [&] {
        host.Post(check, 50);
        QTest::mouseClick(host.ControlWidget(window, res::IDC_SEARCH), Qt::LeftButton);
        QTest::mouseClick(host.ControlWidget(window, fw::IDCANCEL), Qt::LeftButton);
    });
    EXPECT_TRUE(checked);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace
