// The message boxes and question boxes as Qt draws them: their buttons, the
// application's name, and Escape.
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

TEST(QtHost, MessageBoxHasOkAndTheApplicationName) {
    fw::QtHost host;
    res::RegisterResources(host);
    host.SetAppName("Kelvane");
    QString title, text;
    host.Post([&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        EXPECT_EQ(box->buttons().size(), 1);
        box->button(QMessageBox::Ok)->click();
    }, 50);
    host.ShowMessage(nullptr, "Error on DVB_OpenBoard: 3");
    EXPECT_EQ(title, "Kelvane");
    EXPECT_EQ(text, "Error on DVB_OpenBoard: 3");

    std::vector<std::string> answered;
    host.SetMessageHandler([&](const std::string& m) { answered.push_back(m); });
    host.ShowMessage(nullptr, "second");
    EXPECT_EQ(answered, std::vector<std::string>{"second"});
    EXPECT_EQ(host.Messages(), (std::vector<std::string>{"Error on DVB_OpenBoard: 3", "second"}));
}

TEST(QtHost, QuestionBoxesOfferTheirButtonsAndEscapeChangesNothing) {
    fw::QtHost host;
    res::RegisterResources(host);
    struct Case {
        fw::QuestionButtons buttons;
        QMessageBox::StandardButtons offered;
        QMessageBox::StandardButton clicked;  // NoButton: Escape
        fw::Answer answer;
    } cases[] = {
        {fw::QuestionButtons::YesNo, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, fw::Answer::Yes},
        {fw::QuestionButtons::YesNo, QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton, fw::Answer::No},
        {fw::QuestionButtons::SaveDiscardCancel, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
         QMessageBox::Discard, fw::Answer::Discard},
        {fw::QuestionButtons::SaveDiscardCancel, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
         QMessageBox::NoButton, fw::Answer::Cancel},
    };
    for (const Case& c : cases) {
        QMessageBox::StandardButtons offered;
        QString text;
        host.Post([&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            offered = box->standardButtons();
            text = box->text();
            if (c.clicked == QMessageBox::NoButton) QTest::keyClick(box, Qt::Key_Escape);
            else box->button(c.clicked)->click();
        }, 50);
        EXPECT_EQ(host.Ask(nullptr, "Replace them?", c.buttons), c.answer);
        EXPECT_EQ(offered, c.offered);
        EXPECT_EQ(text, "Replace them?");
    }
}

}  // namespace
