#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <thread>

#include "framework/ListView.h"
#include "framework/qt/QtHost.h"
#include "res/Icon.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"
#include "tests/qt/QtTestSupport.h"

namespace {

using qttest::RunModalWith;
using qttest::ScriptedDialog;
using qttest::WaitFor;

bool Called(const ScriptedDialog& dialog, const std::string& call) {
    return std::find(dialog.calls.begin(), dialog.calls.end(), call) != dialog.calls.end();
}

int MulDiv(int value, int numerator, int denominator) {
    return static_cast<int>((static_cast<long long>(value) * numerator + denominator / 2) / denominator);
}

TEST(QtHost, DialogUnitsBecomePixelsOfTheDialogFont) {
    fw::QtHost host;
    res::RegisterResources(host);
    for (const int templateId : {res::IDD_PROGRAM_DETAILS, res::IDD_PROGRAM_LIST, res::IDD_SCAN_CHANNELS}) {
        SCOPED_TRACE(templateId);
        const fw::DialogTemplate& t = host.GetDialogTemplate(templateId);
        const fw::Size base = host.DialogBaseUnits(t);
        const QFontMetrics metrics(host.DialogFont(t));
        // A dialog unit is a quarter of an average character and an eighth
        // of a line of the font the controls are drawn with.
        EXPECT_NEAR(base.cx, metrics.averageCharWidth(), 1.5);
        EXPECT_EQ(base.cy, metrics.height());

        ScriptedDialog dialog(host, templateId);
        RunModalWith(host, dialog, [&] {
            const QDialog* window = host.WindowOf(dialog);
            ASSERT_NE(window, nullptr);
            EXPECT_EQ(window->width(), MulDiv(t.cx, base.cx, 4));
            EXPECT_EQ(window->height(), MulDiv(t.cy, base.cy, 8));
            for (const fw::ControlTemplate& c : t.controls) {
                if (c.id == res::IDC_STATIC) continue;
                const QWidget* widget = host.ControlWidget(dialog, c.id);
                ASSERT_NE(widget, nullptr) << c.id;
                const int left = MulDiv(c.x, base.cx, 4);
                const int top = MulDiv(c.y, base.cy, 8);
                EXPECT_EQ(widget->geometry(),
                          QRect(left, top, MulDiv(c.cx, base.cx, 4), MulDiv(c.cy, base.cy, 8)))
                    << c.id;
            }
            dialog.EndDialog(fw::IDOK);
        });
    }
}

TEST(QtHost, TemplateTextsFitTheirControls) {
    fw::QtHost host;
    res::RegisterResources(host);
    for (const int templateId : {res::IDD_PROGRAM_DETAILS, res::IDD_PROGRAM_LIST}) {
        ScriptedDialog dialog(host, templateId);
        RunModalWith(host, dialog, [&] {
            QDialog* window = host.WindowOf(dialog);
            ASSERT_NE(window, nullptr);
            const int box = window->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                            window->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
            for (QWidget* widget : window->findChildren<QWidget*>()) {
                QString text;
                int room = widget->width();
                if (auto* label = qobject_cast<QLabel*>(widget)) {
                    text = label->text();
                } else if (auto* check = qobject_cast<QCheckBox*>(widget)) {
                    text = check->text();
                    room -= box;
                } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
                    text = button->text();
                    room -= 6;  // the button's bevel
                }
                if (text.isEmpty()) continue;
                EXPECT_LE(widget->fontMetrics().horizontalAdvance(text), room)
                    << templateId << " \"" << text.toStdString() << "\" is clipped";
                EXPECT_LE(widget->fontMetrics().height(), widget->height()) << text.toStdString();
            }
            dialog.EndDialog(fw::IDOK);
        });
    }
}

TEST(QtHost, ProgramChangesShowAndUserChangesReachTheControls) {
    fw::QtHost host;
    res::RegisterResources(host);
    ScriptedDialog dialog(host, res::IDD_PROGRAM_DETAILS);
    dialog.onInit = [](ScriptedDialog& d) {
        d.SetDlgItemText(res::IDC_NAME, "Das Erste");
        d.CheckDlgButton(res::IDC_TONE22KHZ, true);
    };
    const int result = RunModalWith(host, dialog, [&] {
        auto* name = qobject_cast<QLineEdit*>(host.ControlWidget(dialog, res::IDC_NAME));
        auto* tone = qobject_cast<QCheckBox*>(host.ControlWidget(dialog, res::IDC_TONE22KHZ));
        auto* vertical = qobject_cast<QCheckBox*>(host.ControlWidget(dialog, res::IDC_VERTICAL));
        auto* frequency = qobject_cast<QLineEdit*>(host.ControlWidget(dialog, res::IDC_FREQUENCY));
        ASSERT_TRUE(name && tone && vertical && frequency);
        EXPECT_EQ(name->text(), "Das Erste");
        EXPECT_TRUE(tone->isChecked());
        // The first tab stop, OK, has the focus.
        EXPECT_EQ(host.WindowOf(dialog)->focusWidget(), host.ControlWidget(dialog, fw::IDOK));

        dialog.SetDlgItemText(res::IDC_FREQUENCY, "450000");
        dialog.CheckDlgButton(res::IDC_TONE22KHZ, false);
        dialog.MoveControl(res::IDC_FREQUENCY, fw::Rect{10, 20, 110, 45});
        EXPECT_EQ(frequency->text(), "450000");
        EXPECT_FALSE(tone->isChecked());
        EXPECT_EQ(frequency->geometry(), QRect(10, 20, 100, 25));

        name->setFocus();
        name->end(false);
        QTest::keyClicks(name, " HD");
        EXPECT_EQ(dialog.GetDlgItemText(res::IDC_NAME), "Das Erste HD");
        EXPECT_EQ(dialog.GetFocusId(), res::IDC_NAME);
        // A left-text check box takes a click anywhere on it, also on its text.
        QTest::mouseClick(vertical, Qt::LeftButton, {}, QPoint(3, vertical->height() / 2));
        EXPECT_TRUE(dialog.IsDlgButtonChecked(res::IDC_VERTICAL));
        EXPECT_TRUE(Called(dialog, "command 1034"));
        dialog.GotoDlgCtrl(res::IDC_FREQUENCY);
        EXPECT_TRUE(frequency->hasFocus());

        QTest::mouseClick(host.ControlWidget(dialog, res::IDC_RESET), Qt::LeftButton);
        EXPECT_TRUE(Called(dialog, "command 1007"));
        QTest::keyClick(host.WindowOf(dialog), Qt::Key_Escape);
    });
    EXPECT_EQ(result, fw::IDCANCEL);
    ASSERT_GE(dialog.calls.size(), 2u);
    EXPECT_EQ(dialog.calls[dialog.calls.size() - 2], "cancel");
    EXPECT_EQ(dialog.calls.back(), "destroy");
    EXPECT_EQ(host.WindowOf(dialog), nullptr);
}

TEST(QtHost, EnterPressesTheDefaultButtonAndTheCloseBoxCancels) {
    fw::QtHost host;
    res::RegisterResources(host);
    ScriptedDialog details(host, res::IDD_PROGRAM_DETAILS);
    EXPECT_EQ(RunModalWith(host, details,
                           [&] {
                               QWidget* edit = host.ControlWidget(details, res::IDC_NAME);
                               edit->setFocus();
                               QTest::keyClick(edit, Qt::Key_Return);
                           }),
              fw::IDOK);
    EXPECT_TRUE(Called(details, "ok"));

    // In the program list Search is the default button.
    ScriptedDialog list(host, res::IDD_PROGRAM_LIST);
    RunModalWith(host, list, [&] {
        QTest::keyClick(host.ControlWidget(list, res::IDC_PROGRAM_LIST), Qt::Key_Return);
        EXPECT_TRUE(Called(list, "command 1148"));
        host.WindowOf(list)->close();
    });
    EXPECT_TRUE(Called(list, "cancel"));
    EXPECT_EQ(list.Result(), fw::IDCANCEL);
}

TEST(QtHost, DialogEndedDuringInitRunsNoLoopButIsDestroyed) {
    fw::QtHost host;
    res::RegisterResources(host);
    ScriptedDialog dialog(host, res::IDD_PROGRAM_DETAILS);
    dialog.onInit = [](ScriptedDialog& d) { d.EndDialog(7); };
    EXPECT_EQ(dialog.DoModal(), 7);
    EXPECT_EQ(dialog.calls, std::vector<std::string>{"destroy"});
    EXPECT_TRUE(dialog.IsDestroyed());
}

TEST(QtHost, WindowTimerTicksUntilKilled) {
    fw::QtHost host;
    res::RegisterResources(host);
    ScriptedDialog dialog(host, res::IDD_SCAN_CHANNELS);
    int ticks = 0;
    dialog.onInit = [](ScriptedDialog& d) { EXPECT_EQ(d.SetTimer(1025, 10), 1025u); };
    dialog.onTimer = [&](ScriptedDialog& d, unsigned id) {
        EXPECT_EQ(id, 1025u);
        if (++ticks == 3) {
            d.KillTimer(1025);
            // Ended from inside the handler, as the scan ends itself.
            d.EndDialog(fw::IDOK);
        }
    };
    EXPECT_EQ(RunModalWith(host, dialog, [] {}), fw::IDOK);
    EXPECT_EQ(ticks, 3);
    // Nothing left that could tick again.
    for (const QTimer* timer : host.findChildren<QTimer*>()) EXPECT_FALSE(timer->isActive());
}

TEST(QtHost, PostedWorkRunsInTimeOrderOnTheGuiThreadAndCancelledWorkNever) {
    fw::QtHost host;
    res::RegisterResources(host);
    std::vector<std::string> order;
    const auto start = host.GetClock().NowMs();
    int64_t lateRanAt = 0;
    host.Post([&] { order.push_back("40ms"), lateRanAt = host.GetClock().NowMs(); }, 40);
    host.Post([&] { order.push_back("10ms"); }, 10);
    host.Post([&] { order.push_back("now"); });
    const fw::TaskId cancelled = host.Post([&] { order.push_back("cancelled"); }, 20);
    host.Cancel(cancelled);
    host.Cancel(cancelled);  // twice, and a task that never was: harmless
    host.Cancel(999999);
    QThread* guiThread = QThread::currentThread();
    bool fromWorkerOnGui = false;
    std::thread worker([&] {
        host.Post([&] {
            fromWorkerOnGui = QThread::currentThread() == guiThread;
            order.push_back("worker");
        });
    });
    worker.join();
    ASSERT_TRUE(WaitFor([&] { return order.size() == 4; }));
    // The cancelled task was due before the 40 ms one, and nothing is left
    // pending that could still run it.
    EXPECT_EQ(std::count(order.begin(), order.end(), "cancelled"), 0);
    order.erase(std::find(order.begin(), order.end(), "worker"));
    EXPECT_EQ(order, (std::vector<std::string>{"now", "10ms", "40ms"}));
    EXPECT_TRUE(fromWorkerOnGui);
    EXPECT_GE(lateRanAt - start, 39);  // two clocks, each to the millisecond
    EXPECT_EQ(host.PendingTasks(), 0u);
}

// The framework has no templates or icons of its own: what the host shows is
// what the application registered, pixel for pixel.
TEST(QtHost, TemplatesAndIconsAreTheOnesTheApplicationRegistered) {
    fw::QtHost host;
    EXPECT_TRUE(host.Icon(res::IDI_APP).isNull());
    res::RegisterResources(host);
    EXPECT_EQ(host.GetDialogTemplate(res::IDD_SCAN_CHANNELS).caption, "Scan Channels");
    EXPECT_TRUE(host.Icon(res::IDD_PROGRAM_LIST).isNull());
    const QImage icon =
        host.Icon(res::IDI_APP).pixmap(res::kAppIconSize).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(icon.size(), QSize(res::kAppIconSize, res::kAppIconSize));
    const auto& pixels = res::AppIconPixels();
    for (int y = 0; y < res::kAppIconSize; ++y) {
        for (int x = 0; x < res::kAppIconSize; ++x)
            ASSERT_EQ(icon.pixel(x, y), pixels[static_cast<size_t>(y * res::kAppIconSize + x)]) << x << "," << y;
    }
}

TEST(QtHost, WindowGeometryFollowsTheProgramAndTheUser) {
    fw::QtHost host;
    res::RegisterResources(host);
    ScriptedDialog dialog(host, res::IDD_PROGRAM_LIST);
    dialog.onInit = [](ScriptedDialog& d) {
        d.MoveWindow(fw::Rect{100, 80, 900, 680});
        d.SetIcon(res::IDI_APP);
    };
    RunModalWith(host, dialog, [&] {
        QDialog* window = host.WindowOf(dialog);
        // The dialog's window rectangle is the outer one, frame included.
        EXPECT_EQ(window->frameGeometry(), QRect(100, 80, 800, 600));
        const fw::FrameMetrics frame = host.Frame(dialog.Template());
        EXPECT_EQ(window->geometry(), QRect(100 + frame.left, 80 + frame.top, 800 - frame.left - frame.right,
                                            600 - frame.top - frame.bottom));
        EXPECT_FALSE(window->windowIcon().isNull());
        EXPECT_TRUE(window->windowFlags() & Qt::WindowMaximizeButtonHint);

        dialog.calls.clear();
        window->resize(840, 630);
        EXPECT_TRUE(WaitFor([&] { return dialog.GetClientRect() == fw::Rect{0, 0, 840, 630}; }));
        EXPECT_EQ(dialog.calls, std::vector<std::string>{"size 840x630"});
        window->move(20, 30);
        const fw::Rect moved{20, 30, 20 + 840 + frame.left + frame.right, 30 + 630 + frame.top + frame.bottom};
        EXPECT_TRUE(WaitFor([&] { return dialog.GetWindowRect() == moved; }));
        dialog.EndDialog(fw::IDOK);
    });

    // A fixed frame keeps the size the program gives it.
    ScriptedDialog details(host, res::IDD_PROGRAM_DETAILS);
    RunModalWith(host, details, [&] {
        QDialog* window = host.WindowOf(details);
        EXPECT_EQ(window->minimumSize(), window->maximumSize());
        EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
        details.MoveWindow(fw::Rect{0, 0, 500, 400});
        EXPECT_EQ(window->frameGeometry().size(), QSize(500, 400));
        details.EndDialog(fw::IDOK);
    });
}

// A dialog over the scan template whose lists a test fills.
void FillList(fw::ListView& list, int rows) {
    list.InsertColumn(0, "TS", fw::Align::Center, 60);
    list.InsertColumn(1, "Name", fw::Align::Left, 140);
    list.InsertColumn(2, "Freq", fw::Align::Right, 90);
    for (int i = 0; i < rows; ++i) {
        const int at = list.InsertItem(i, std::to_string(i));
        list.SetItemText(at, 1, "Service " + std::to_string(i));
        list.SetItemText(at, 2, std::to_string(30600000 + i * 800000));
        list.SetItemData(at, static_cast<uint32_t>(i));
    }
}

TEST(QtHost, ListSelectionWidthsAndClicksReachTheListView) {
    fw::QtHost host;
    res::RegisterResources(host);
    ScriptedDialog dialog(host, res::IDD_PROGRAM_LIST);
    dialog.onInit = [](ScriptedDialog& d) { FillList(d.List(res::IDC_PROGRAM_LIST), 200); };
    RunModalWith(host, dialog, [&] {
        auto* view = qobject_cast<QTreeView*>(host.ControlWidget(dialog, res::IDC_PROGRAM_LIST));
        ASSERT_NE(view, nullptr);
        fw::ListView& list = dialog.List(res::IDC_PROGRAM_LIST);
        QAbstractItemModel* model = view->model();
        EXPECT_EQ(view->header()->sectionSize(1), 140);
        EXPECT_FALSE(view->header()->isHidden());

        // The user's click selects, focuses and marks the row.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(model->index(5, 1)).center());
        EXPECT_EQ(list.GetNextItem(-1, fw::kItemSelected), 5);
        EXPECT_EQ(list.GetNextItem(-1, fw::kItemFocused), 5);
        EXPECT_EQ(list.GetSelectionMark(), 5);
        QTest::keyClick(view, Qt::Key_Down);
        EXPECT_EQ(list.GetNextItem(-1, fw::kItemSelected), 6);
        EXPECT_EQ(list.GetSelectionMark(), 6);

        // The program's selection shows.
        list.SetItemState(7, fw::kItemSelected | fw::kItemFocused, fw::kItemSelected | fw::kItemFocused);
        const QModelIndexList shown = view->selectionModel()->selectedRows();
        ASSERT_EQ(shown.size(), 1);
        EXPECT_EQ(shown.front().row(), 7);
        EXPECT_EQ(view->currentIndex().row(), 7);

        // A double click arrives as a click and then the double click.
        const QPoint third = view->visualRect(model->index(3, 0)).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, third);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, third);
        EXPECT_TRUE(Called(dialog, "dblclk 1150"));
        EXPECT_EQ(list.GetSelectionMark(), 3);

        QHeaderView* header = view->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(2) + 10, header->height() / 2));
        EXPECT_TRUE(Called(dialog, "column 1150 2"));

        // A column edge dragged by the user ends in a resized section.
        header->resizeSection(1, 175);
        EXPECT_EQ(list.GetColumnWidth(1), 175);
        list.SetColumnWidth(0, 33);
        EXPECT_EQ(header->sectionSize(0), 33);

        list.EnsureVisible(199);
        EXPECT_TRUE(WaitFor([&] {
            return view->viewport()->rect().intersects(view->visualRect(model->index(199, 0)));
        }));

        // A sort replaces the rows; selection and widths stay with the list.
        list.SortItems([](uint32_t a, uint32_t b) { return a > b ? -1 : a < b ? 1 : 0; });
        EXPECT_EQ(model->data(model->index(0, 1)).toString(), "Service 199");
        const QModelIndexList after = view->selectionModel()->selectedRows();
        ASSERT_EQ(after.size(), 1);
        EXPECT_EQ(after.front().row(), 199 - 3);
        EXPECT_EQ(header->sectionSize(1), 175);

        // Deleting the selected row leaves nothing selected in either.
        list.DeleteItem(196);
        EXPECT_TRUE(view->selectionModel()->selectedRows().isEmpty());
        EXPECT_EQ(list.GetNextItem(-1, fw::kItemSelected), -1);
        dialog.EndDialog(fw::IDOK);
    });
}

TEST(QtHost, ScanListsHaveNoHeaderOrNoClickableHeader) {
    fw::QtHost host;
    res::RegisterResources(host);
    ScriptedDialog dialog(host, res::IDD_SCAN_CHANNELS);
    dialog.onInit = [](ScriptedDialog& d) {
        FillList(d.List(res::IDC_SCAN_TRANSPORTS), 5);
        d.List(res::IDC_SCAN_LOG).InsertColumn(0, "", fw::Align::Left, 200);
        d.List(res::IDC_SCAN_LOG).InsertItem(0, "Request NIT");
    };
    RunModalWith(host, dialog, [&] {
        auto* log = qobject_cast<QTreeView*>(host.ControlWidget(dialog, res::IDC_SCAN_LOG));
        auto* transports = qobject_cast<QTreeView*>(host.ControlWidget(dialog, res::IDC_SCAN_TRANSPORTS));
        ASSERT_TRUE(log && transports);
        EXPECT_TRUE(log->header()->isHidden());
        EXPECT_EQ(log->selectionMode(), QAbstractItemView::ExtendedSelection);
        EXPECT_EQ(transports->selectionMode(), QAbstractItemView::SingleSelection);
        QHeaderView* header = transports->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(10, header->height() / 2));
        EXPECT_FALSE(Called(dialog, "column 1004 0"));
        dialog.EndDialog(fw::IDOK);
    });
}

}  // namespace
