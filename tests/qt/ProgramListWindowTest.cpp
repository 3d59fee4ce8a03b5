#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QLabel>
#include <QPainter>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>

#include "card/DBDVBX32.h"
#include "board/BoardDatabase.h"
#include "cardlib/Card.h"
#include "exchange/Exchange.h"
#include "framework/Profile.h"
#include "framework/qt/QtHost.h"
#include "card/ProgramFields.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "tests/HostSupport.h"
#include "tests/qt/QtTestSupport.h"

namespace {

using qttest::ScreenshotPath;

// A few programs of a German cable network, as a board database holds them.
std::vector<TunProgDataTag> CablePrograms() {
    struct Row {
        const char* name;
        uint32_t kHz;
        uint16_t sid, tsid, video, audio, pmt, txt;
    };
    const Row rows[] = {
        {"Kanal Elf HD", 330000, 10301, 1019, 5101, 5102, 5100, 5104},
        {"Rheinwelle HD", 450000, 11110, 1011, 6110, 6120, 6100, 6130},
        {"Doku Horizont HD", 330000, 10302, 1019, 5111, 5112, 5110, 5114},
        {"Bergsee TV", 346000, 28007, 1079, 1210, 1220, 1200, 1230},
        {"Kinderinsel", 346000, 28008, 1079, 1310, 1320, 1300, 1330},
        {"Parlament Direkt", 346000, 28725, 1079, 1410, 1420, 1400, 1430},
        {"Hafenblick Köln", 538000, 28111, 1201, 3301, 3302, 3300, 3304},
        {"Südwind Fernsehen", 538000, 28107, 1201, 3401, 3402, 3400, 3404},
    };
    std::vector<TunProgDataTag> records;
    uint32_t n = 0;
    for (const Row& r : rows) {
        TunProgDataTag p;
        p.index = ++n;
        p.name = r.name;
        p.frequency = r.kHz;
        p.serviceId = r.sid;
        p.progId = r.sid;
        p.tsId = r.tsid;
        p.nwId = 61441;
        p.modulation = 5;
        p.fec = 0;
        p.symbolRate = 6900000;
        p.progType = 1;
        p.videoPid = r.video;
        p.audioPid = r.audio;
        p.pmtPid = r.pmt;
        p.txtPid = r.txt;
        records.push_back(p);
    }
    return records;
}

class ProgramListWindow : public ::testing::Test {
protected:
    void SetUp() override {
        m_Profile = std::make_unique<fw::Profile>((m_Dir / "kelvane.INI").string());
        host.SetProfile(m_Profile.get());
        host.SetMessageHandler([](const std::string& text) { ADD_FAILURE() << "message: " << text; });
        // Closing after the scan's merges asks whether to save them: the user discards.
        host.SetQuestionHandler([](const std::string&, fw::QuestionButtons buttons) {
            return buttons == fw::QuestionButtons::YesNo ? fw::Answer::No : fw::Answer::Discard;
        });

        // Stored through a library of its own, as an earlier run of the program would have.
        cardlib::Board seeding(board.Path());
        ASSERT_EQ(DVB_LoadDBProgData(), DVB_ERR_OK);
        ASSERT_EQ(DVB_DelAllDBProgData(), DVB_ERR_OK);
        for (TunProgDataTag record : CablePrograms()) ASSERT_EQ(DVB_SetDBProgData(kTunProgDataTagSize, &record), DVB_ERR_OK);
        ASSERT_EQ(DVB_SaveDBProgData(), DVB_ERR_OK);
    }

    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(m_Dir, ec);
    }


    std::filesystem::path m_Dir = qttest::MakeTempDir();
    fw::QtHost host;
    hosttest::RegisteredResources resources{host};
    cardlib::Board board{(m_Dir / "board.db").string()};
    cardlib::Card card;
    std::unique_ptr<fw::Profile> m_Profile;
};

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs `handle` on the modal window of type T once it is up (a nested modal
// loop runs below the caller, so this polls from the event loop).
template <typename T>
void WhenUp(fw::QtHost& host, std::function<T*()> find, std::function<void(T*)> handle, int triesLeft = 200) {
    host.Post(
        [&host, find, handle, triesLeft] {
            if (T* widget = find()) {
                handle(widget);
            } else if (triesLeft > 0) {
                WhenUp<T>(host, find, handle, triesLeft - 1);
            } else {
                ADD_FAILURE() << "the window never came up";
            }
        },
        20);
}

std::vector<std::string> ColumnTexts(const QAbstractItemModel& model, int column) {
    std::vector<std::string> cells;
    for (int row = 0; row < model.rowCount(); ++row)
        cells.push_back(model.data(model.index(row, column)).toString().toStdString());
    return cells;
}

TEST_F(ProgramListWindow, LoadSortEditAndScreenshots) {
    ProgramListDialog window(host);
    std::string detailsName;
    qttest::RunModalWith(host, window, [&] {
        QDialog* dialog = host.WindowOf(window);
        auto* view = qobject_cast<QTreeView*>(host.ControlWidget(window, res::IDC_PROGRAM_LIST));
        ASSERT_TRUE(dialog && view);
        EXPECT_EQ(dialog->windowTitle(), "Kelvane 2.3");
        EXPECT_FALSE(dialog->windowIcon().isNull());
        EXPECT_EQ(view->model()->columnCount(), kProgramListColumnCount);
        EXPECT_EQ(view->model()->rowCount(), 0);  // nothing before Load

        QTest::mouseClick(host.ControlWidget(window, res::IDC_LOAD), Qt::LeftButton);
        QAbstractItemModel& model = *view->model();
        ASSERT_EQ(model.rowCount(), 8);
        EXPECT_EQ(ColumnTexts(model, kColumnName).front(), "Kanal Elf HD");

        // A click on "Frequenz" sorts by frequency; equal ones keep their order.
        QHeaderView* header = view->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(kColumnFrequency) + 5, header->height() / 2));
        EXPECT_EQ(ColumnTexts(model, kColumnName),
                  (std::vector<std::string>{"Kanal Elf HD", "Doku Horizont HD", "Bergsee TV", "Kinderinsel", "Parlament Direkt", "Rheinwelle HD",
                                            "Hafenblick Köln", "Südwind Fernsehen"}));
        EXPECT_EQ(ColumnTexts(model, kColumnFrequency).front(), "33000000");

        const QPoint kinderinsel = view->visualRect(model.index(3, kColumnName)).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, kinderinsel);
        ASSERT_TRUE(dialog->grab().save(QString::fromStdString(ScreenshotPath("program-list.png").string())));

        // The details dialog runs its own modal loop; this looks at it from inside.
        host.Post([&] {
            auto* details = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(details, nullptr);
            ASSERT_NE(details, dialog);
            (void)QTest::qWaitForWindowExposed(details, 2000);
            EXPECT_EQ(details->windowTitle(), "Program Details");
            if (auto* name = details->findChild<QLineEdit*>(QStringLiteral("control%1").arg(res::IDC_NAME)))
                detailsName = name->text().toStdString();
            EXPECT_TRUE(details->grab().save(QString::fromStdString(ScreenshotPath("program-details.png").string())));
            details->findChild<QPushButton*>(QStringLiteral("control%1").arg(fw::IDCANCEL))->click();
        });
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, kinderinsel);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, kinderinsel);
        EXPECT_EQ(detailsName, "Kinderinsel");

        QTest::mouseClick(host.ControlWidget(window, fw::IDCANCEL), Qt::LeftButton);
    });
    EXPECT_TRUE(window.IsDestroyed());
    // The end of the window wrote what the user saw.
    EXPECT_GT(m_Profile->GetInt("Columns", "Col_1", -1), 0);
    EXPECT_GT(m_Profile->GetInt("MainFrame", "Right", -1), m_Profile->GetInt("MainFrame", "Left", 0));
}

TEST_F(ProgramListWindow, ExportAndImportFromTheListsContextMenu) {
    ProgramListDialog window(host);
    const std::string file = (m_Dir / "programs.csv").string();
    std::vector<std::string> menuItems;
    qttest::RunModalWith(host, window, [&] {
        QDialog* dialog = host.WindowOf(window);
        auto* view = qobject_cast<QTreeView*>(host.ControlWidget(window, res::IDC_PROGRAM_LIST));
        ASSERT_TRUE(dialog && view);
        QTest::mouseClick(host.ControlWidget(window, res::IDC_LOAD), Qt::LeftButton);
        ASSERT_EQ(view->model()->rowCount(), 8);
        const QPoint at = view->visualRect(view->model()->index(2, kColumnName)).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);

        // A right click: the menu, then the chooser of the item taken.
        const auto chooseFromMenu = [&](int item, const char* filter, bool screenshot) {
            WhenUp<QMenu>(
                host, [] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
                [&, item, filter, screenshot](QMenu* menu) {
                    (void)QTest::qWaitForWindowExposed(menu, 2000);
                    menuItems.clear();
                    for (const QAction* action : menu->actions()) {
                        const QString keys = action->shortcut().toString();
                        menuItems.push_back(action->isSeparator() ? "-"
                                                                  : (action->text() + (keys.isEmpty() ? "" : "\t" + keys)).toStdString());
                    }
                    if (screenshot) {
                        QPixmap shot = dialog->grab();
                        QPainter painter(&shot);
                        painter.drawPixmap(dialog->mapFromGlobal(menu->pos()), menu->grab());
                        painter.end();
                        EXPECT_TRUE(shot.save(QString::fromStdString(ScreenshotPath("program-list-menu.png").string())));
                    }
                    WhenUp<QFileDialog>(
                        host, [] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); },
                        [&, filter](QFileDialog* chooser) {
                            chooser->selectNameFilter(QString::fromUtf8(filter));
                            // Typed, as a user does: selectFile leaves the name
                            // box alone while it has the focus.
                            const QString path = QString::fromStdString(file);
                            chooser->setDirectory(QFileInfo(path).absolutePath());
                            auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                            ASSERT_NE(name, nullptr);
                            name->setText(QFileInfo(path).fileName());
                            WhenUp<QFileDialog>(
                                host, [chooser, path] { return chooser->selectedFiles().value(0) == path ? chooser : nullptr; },
                                [](QFileDialog* ready) { QMetaObject::invokeMethod(ready, "accept"); });
                        });
                    QAction* action = menu->actions().value(item);
                    ASSERT_NE(action, nullptr);
                    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                });
            QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
            QApplication::sendEvent(view->viewport(), &event);
        };

        chooseFromMenu(0, "CSV files (*.csv)", true);
        EXPECT_EQ(menuItems, (std::vector<std::string>{"Export\u2026", "Import\u2026", "-", "Order by Channel Number", "Order Like\u2026", "-",
                                                       "Move to Top", "Move to Bottom", "Move to Position\u2026", "-",
                                                       "Find\u2026\tCtrl+F", "Remove Duplicates", "Remove\u2026", "-",
                                                       "Undo\tCtrl+Z", "Redo\tCtrl+Y", "-", "Scan Transport\u2026"}));
        std::vector<TunProgDataTag> rows;
        for (int row = 0; row < 8; ++row) rows.push_back(window.RowToRecord(row));
        EXPECT_EQ(ReadWholeFile(file), exchange::Export(exchange::Format::Csv, rows));

        std::vector<std::string> messages;
        host.SetMessageHandler([&messages](const std::string& text) { messages.push_back(text); });
        chooseFromMenu(1, "CSV files (*.csv)", false);
        EXPECT_EQ(view->model()->rowCount(), 16);
        EXPECT_EQ(ColumnTexts(*view->model(), kColumnName)[8], "Kanal Elf HD");
        EXPECT_EQ(messages, (std::vector<std::string>{"8 programs imported from " + file +
                                                      "; 8 were already in the list (same NW-ID and Prog-ID)"}));

        // The copies go again through the menu, and come back with the keys.
        WhenUp<QMenu>(
            host, [] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
            [](QMenu* menu) {
                (void)QTest::qWaitForWindowExposed(menu, 2000);
                QAction* action = menu->actions().value(11);  // separators count as actions
                ASSERT_NE(action, nullptr);
                EXPECT_EQ(action->text().toStdString(), "Remove Duplicates");
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
            });
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view->viewport(), &event);
        EXPECT_EQ(view->model()->rowCount(), 8);
        EXPECT_EQ(messages.back(), "8 duplicates removed: each had the NW-ID and Prog-ID of a program above it.");
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(view->model()->rowCount(), 16);
        QTest::keyClick(view, Qt::Key_Y, Qt::ControlModifier);
        EXPECT_EQ(view->model()->rowCount(), 8);
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(view->model()->rowCount(), 8);
        EXPECT_FALSE(window.HasChanges());
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(view->model()->rowCount(), 16);
        QTest::mouseClick(host.ControlWidget(window, fw::IDCANCEL), Qt::LeftButton);
    });
    EXPECT_TRUE(window.IsDestroyed());
}

// Remove… offers the kinds with their counts in a second menu; the chosen
// kind goes as one step.
TEST_F(ProgramListWindow, RemoveByKindFromTheContextMenu) {
    ProgramListDialog window(host);
    qttest::RunModalWith(host, window, [&] {
        auto* view = qobject_cast<QTreeView*>(host.ControlWidget(window, res::IDC_PROGRAM_LIST));
        ASSERT_NE(view, nullptr);
        QTest::mouseClick(host.ControlWidget(window, res::IDC_LOAD), Qt::LeftButton);
        window.ProgramList().SetItemText(1, kColumnVideoPid, "0");  // "Rheinwelle HD" as radio
        const QPoint at = view->visualRect(view->model()->index(0, kColumnName)).center();
        std::vector<std::string> kinds;
        const auto choose = [&](const char* text, std::vector<std::string>* texts) {
            return [text, texts](QMenu* menu) {
                (void)QTest::qWaitForWindowExposed(menu, 2000);
                QAction* chosen = nullptr;
                for (QAction* action : menu->actions()) {
                    if (texts) texts->push_back(action->text().toStdString());
                    if (action->text().toStdString() == text) chosen = action;
                }
                ASSERT_NE(chosen, nullptr) << text;
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(chosen).center());
            };
        };
        const auto popup = [] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); };
        WhenUp<QMenu>(host, popup, [&](QMenu* menu) {
            WhenUp<QMenu>(host, popup, choose("Radio Programs (1)", &kinds));
            choose("Remove\u2026", nullptr)(menu);
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view->viewport(), &event);
        EXPECT_EQ(kinds, (std::vector<std::string>{"Missing Programs (0)", "Radio Programs (1)", "Data Programs (0)",
                                                   "Encrypted Programs (0)", "Programs without a Name (0)"}));
        EXPECT_EQ(view->model()->rowCount(), 7);
        EXPECT_EQ(window.StatusText(), "1 radio program removed");
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(ColumnTexts(*view->model(), kColumnName)[1], "Rheinwelle HD");
        QTest::mouseClick(host.ControlWidget(window, fw::IDCANCEL), Qt::LeftButton);
    });
}

TEST_F(ProgramListWindow, DragKeysAndTypingReorderAndFindPrograms) {
    ProgramListDialog window(host);
    qttest::RunModalWith(host, window, [&] {
        auto* view = qobject_cast<QTreeView*>(host.ControlWidget(window, res::IDC_PROGRAM_LIST));
        ASSERT_NE(view, nullptr);
        QTest::mouseClick(host.ControlWidget(window, res::IDC_LOAD), Qt::LeftButton);
        QAbstractItemModel& model = *view->model();
        ASSERT_EQ(model.rowCount(), 8);
        const auto rowAt = [&](int row) { return view->visualRect(model.index(row, kColumnName)).center(); };
        const auto selectedName = [&] {
            const int row = window.ProgramList().GetNextItem(-1, fw::kItemSelected);
            return row < 0 ? std::string() : window.ProgramList().GetItemText(row, kColumnName);
        };

        // The first row dragged onto the fourth.
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, rowAt(0));
        QTest::mouseMove(view->viewport(), rowAt(1));
        QTest::mouseMove(view->viewport(), rowAt(3));
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, rowAt(3));
        EXPECT_EQ(ColumnTexts(model, kColumnName)[3], "Kanal Elf HD");
        EXPECT_EQ(ColumnTexts(model, kColumnName)[0], "Rheinwelle HD");
        EXPECT_EQ(view->selectionModel()->selectedRows().value(0).row(), 3);

        view->setFocus();
        QTest::keyClick(view, Qt::Key_Up, Qt::ControlModifier);
        EXPECT_EQ(ColumnTexts(model, kColumnName)[2], "Kanal Elf HD");
        QTest::keyClick(view, Qt::Key_Delete);
        EXPECT_EQ(model.rowCount(), 7);
        EXPECT_EQ(selectedName(), "Bergsee TV");

        // QTest types ASCII only; the umlaut comes as a keyboard sends it.
        QTest::keyClick(view, Qt::Key_S, Qt::ShiftModifier);
        QKeyEvent umlaut(QEvent::KeyPress, Qt::Key_Udiaeresis, Qt::NoModifier, QStringLiteral("\u00fc"));
        QApplication::sendEvent(view, &umlaut);
        QTest::keyClick(view, Qt::Key_D);
        EXPECT_EQ(selectedName(), "S\u00fcdwind Fernsehen");

        WhenUp<QInputDialog>(
            host, [] { return qobject_cast<QInputDialog*>(QApplication::activeModalWidget()); },
            [](QInputDialog* box) {
                box->setTextValue("HORIZONT");
                box->accept();
            });
        QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
        EXPECT_EQ(selectedName(), "Doku Horizont HD");
        QTest::mouseClick(host.ControlWidget(window, fw::IDCANCEL), Qt::LeftButton);
    });
    EXPECT_TRUE(window.IsDestroyed());
}

}  // namespace

namespace {

TEST_F(ProgramListWindow, MenuBarKeysTitleAndStatusLineOnTheRealWindow) {
    ProgramListDialog window(host);
    qttest::RunModalWith(host, window, [&] {
        QDialog* dialog = host.WindowOf(window);
        auto* view = qobject_cast<QTreeView*>(host.ControlWidget(window, res::IDC_PROGRAM_LIST));
        ASSERT_TRUE(dialog && view);
        auto* bar = dialog->findChild<QMenuBar*>();
        ASSERT_NE(bar, nullptr);
        // The template's controls sit below the menu bar, not under it.
        EXPECT_GE(view->mapTo(dialog, QPoint(0, 0)).y(), bar->geometry().bottom());
        auto* status = dialog->findChild<QLabel*>(QStringLiteral("statusLine"));
        ASSERT_NE(status, nullptr);
        EXPECT_GT(status->geometry().top(), host.ControlWidget(window, fw::IDCANCEL)->mapTo(dialog, QPoint(0, 0)).y());

        view->setFocus();
        QTest::keyClick(view, Qt::Key_O, Qt::ControlModifier);
        EXPECT_EQ(status->text(), "8 programs loaded");
        view->setCurrentIndex(view->model()->index(1, 0));
        window.ProgramList().SetSelectionMark(1);
        QTest::keyClick(view, Qt::Key_Up, Qt::ControlModifier);
        EXPECT_EQ(dialog->windowTitle(), "*Kelvane 2.3");
        QTest::keyClick(view, Qt::Key_S, Qt::ControlModifier);
        EXPECT_EQ(status->text(), "8 programs saved");
        // One line high: the first line of a summary, the whole in the tooltip.
        window.SetStatusText("Scan: 8 added\nNetworks on this cable: 12545, 12546");
        EXPECT_EQ(status->text(), "Scan: 8 added …");
        EXPECT_EQ(status->toolTip(), "Scan: 8 added\nNetworks on this cable: 12545, 12546");
        EXPECT_EQ(dialog->windowTitle(), "Kelvane 2.3");
        EXPECT_TRUE(qttest::WaitFor([&] { return dialog->isVisible(); }));
        EXPECT_TRUE(dialog->grab().save(QString::fromStdString(ScreenshotPath("program-list-menubar.png").string())));
        QTest::keyClick(view, Qt::Key_Q, Qt::ControlModifier);
    });
    EXPECT_TRUE(window.IsDestroyed());
}

}  // namespace
