// "Scan Transport…" through the real widgets: the list's context menu, the
// question for the transport, the scan window on the real event loop.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QInputDialog>
#include <QMenu>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <functional>

#include "board/BoardDatabase.h"
#include "card/ProgramFields.h"
#include "cardlib/Card.h"
#include "framework/Profile.h"
#include "framework/qt/QtHost.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"
#include "simnet/SimBackend.h"
#include "simnet/SimNetwork.h"
#include "tests/qt/QtTestSupport.h"

namespace {

template <typename T>
void WhenUp(fw::QtHost& host, std::function<T*()> find, std::function<void(T*)> handle, int triesLeft = 200) {
    host.Post(
        [&host, find, handle, triesLeft] {
            if (T* widget = find()) handle(widget);
            else if (triesLeft > 0) WhenUp<T>(host, find, handle, triesLeft - 1);
            else ADD_FAILURE() << "the window never came up";
        },
        20);
}

TEST(ScanTransportQt, TheContextMenusScanTransportScansTheTransportTyped) {
    const std::filesystem::path dir = qttest::MakeTempDir();
    cardlib::Board board((dir / "board.db").string());
    fw::Profile profile((dir / "kelvane.INI").string());
    profile.WriteInt("ScanNetwork", "TickMs", 50);
    fw::QtHost host;
    res::RegisterResources(host);
    host.SetProfile(&profile);
    std::vector<std::string> messages;
    host.SetMessageHandler([&](const std::string& text) { messages.push_back(text); });
    host.SetQuestionHandler([](const std::string&, fw::QuestionButtons buttons) {
        return buttons == fw::QuestionButtons::YesNo ? fw::Answer::No : fw::Answer::Discard;
    });
    // Two transports of two services, quick to lock and to send their SDT:
    // only the second one's services are to come.
    cardlib::SimNetwork network = qttest::ShortNetwork(2, 2);
    network.timing.lockMinMs = network.timing.lockMaxMs = 100;
    network.timing.sdtIntervalMs = 300;
    cardlib::Card card;
    card.UseBackend(std::make_unique<cardlib::SimBackend>(network));
    card.Attach(host);

    ProgramListDialog window(host);
    std::string prompt;
    qttest::RunModalWith(
        host, window,
        [&] {
            auto* view = qobject_cast<QTreeView*>(host.ControlWidget(window, res::IDC_PROGRAM_LIST));
            ASSERT_NE(view, nullptr);
            WhenUp<QMenu>(
                host, [] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
                [&](QMenu* menu) {
                    (void)QTest::qWaitForWindowExposed(menu, 2000);
                    QAction* action = menu->actions().value(menu->actions().size() - 1);
                    ASSERT_NE(action, nullptr);
                    EXPECT_EQ(action->text().toStdString(), "Scan Transport\u2026");
                    WhenUp<QInputDialog>(
                        host, [] { return qobject_cast<QInputDialog*>(QApplication::activeModalWidget()); },
                        [&](QInputDialog* box) {
                            prompt = box->labelText().toStdString();
                            box->setTextValue(QString::number(network.transports[1].frequencyKHz) + " 6900 64");
                            box->accept();
                        });
                    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                });
            const QPoint at = view->viewport()->rect().center();
            QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
            QApplication::sendEvent(view->viewport(), &event);
            QTest::mouseClick(host.ControlWidget(window, fw::IDCANCEL), Qt::LeftButton);
        },
        30000);
    EXPECT_EQ(prompt.rfind("Frequency in kHz", 0), 0u) << prompt;
    ASSERT_EQ(messages, std::vector<std::string>{"Scan: 2 added, 0 updated, 0 actual, 0 missing; every transport locked"});
    ASSERT_EQ(window.ProgramList().GetItemCount(), 2);
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(window.ProgramList().GetItemText(row, kColumnName), network.transports[1].services[row].name);
        EXPECT_EQ(window.ProgramList().GetItemText(row, kColumnModulation), "3");
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace
