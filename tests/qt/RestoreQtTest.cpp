// Restore… on the real window: the backup a Save kept, chosen from the menu
// that lists the backups, back in the list.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "board/BoardDatabase.h"
#include "card/DBDVBX32.h"
#include "card/ProgramFields.h"
#include "cardlib/Card.h"
#include "framework/Profile.h"
#include "framework/qt/QtHost.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "tests/HostSupport.h"
#include "tests/qt/QtTestSupport.h"

namespace {


std::vector<std::string> Names(const QAbstractItemModel& model) {
    std::vector<std::string> names;
    for (int row = 0; row < model.rowCount(); ++row)
        names.push_back(model.data(model.index(row, kColumnName)).toString().toStdString());
    return names;
}

TEST(RestoreQt, ABackupChosenFromTheMenuComesBackIntoTheList) {
    const std::filesystem::path dir = qttest::MakeTempDir();
    fw::QtHost host;
    hosttest::RegisteredResources resources{host};
    fw::Profile profile((dir / "kelvane.INI").string());
    host.SetProfile(&profile);
    host.SetMessageHandler([](const std::string& text) { ADD_FAILURE() << "message: " << text; });
    cardlib::Board board{(dir / "board.db").string()};
    cardlib::Card card;
    {
        cardlib::Board seeding(board.Path());
        ASSERT_EQ(DVB_LoadDBProgData(), DVB_ERR_OK);
        for (uint32_t n = 1; n <= 3; ++n) {
            TunProgDataTag record;
            record.index = n;
            record.name = "Programm " + std::to_string(n);
            record.progId = static_cast<uint16_t>(n);
            ASSERT_EQ(DVB_SetDBProgData(kTunProgDataTagSize, &record), DVB_ERR_OK);
        }
        ASSERT_EQ(DVB_SaveDBProgData(), DVB_ERR_OK);
    }

    ProgramListDialog window(host);
    std::vector<std::string> offered;
    qttest::RunModalWith(host, window, [&] {
        QDialog* dialog = host.WindowOf(window);
        auto* view = qobject_cast<QTreeView*>(host.ControlWidget(window, res::IDC_PROGRAM_LIST));
        ASSERT_TRUE(dialog && view);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_O, Qt::ControlModifier);
        const std::vector<std::string> stored = Names(*view->model());
        ASSERT_EQ(stored.size(), 3u);
        // A change saved: the list it replaced is kept.
        view->setCurrentIndex(view->model()->index(0, 0));
        window.ProgramList().SetSelectionMark(0);
        QTest::keyClick(view, Qt::Key_Delete);
        QTest::keyClick(view, Qt::Key_S, Qt::ControlModifier);
        ASSERT_EQ(view->model()->rowCount(), 2);

        QAction* restore = nullptr;
        for (QAction* action : dialog->findChild<QMenuBar*>()->findChildren<QAction*>()) {
            if (action->text() == QStringLiteral("&Restore\u2026")) restore = action;
        }
        ASSERT_NE(restore, nullptr);
        host.Post(
            [&] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                ASSERT_NE(menu, nullptr);
                (void)QTest::qWaitForWindowExposed(menu, 2000);
                for (const QAction* action : menu->actions()) offered.push_back(action->text().toStdString());
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().value(0)).center());
            },
            200);
        restore->trigger();
        EXPECT_EQ(Names(*view->model()), stored);
        EXPECT_EQ(dialog->windowTitle(), "*Kelvane 2.3");
        EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("statusLine"))->text().left(13).toStdString(), "Backup 1 of 2");
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(view->model()->rowCount(), 2);
        host.SetQuestionHandler([](const std::string&, fw::QuestionButtons) { return fw::Answer::Discard; });
        QTest::keyClick(view, Qt::Key_Q, Qt::ControlModifier);
    });
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_NE(offered[0].find("3 programs   kelvane"), std::string::npos) << offered[0];
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace
