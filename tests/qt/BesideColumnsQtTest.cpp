// "LCN" and "CA", the two columns after "State" that the board database
// keeps beside the record, in the real window.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

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

struct Stored {
    const char* name;
    uint32_t channelNumber;
    uint32_t caSystems;
};

// Pay TV among free programs, some without a channel number.
const Stored kStored[] = {
    {"Kanal Elf HD", 3, 0},
    {"Kinowelt Abruf", 0, 0x0B00u << 16 | 0x1702},
    {"Bergsee TV", 12, 0},
    {"Sport Arena", 1, 0x0D95},
    {"Kinderinsel", 7, 0x0500},
};

class BesideColumns : public ::testing::Test {
protected:
    void SetUp() override {
        m_Profile = std::make_unique<fw::Profile>((m_Dir / "kelvane.INI").string());
        host.SetProfile(m_Profile.get());
        host.SetMessageHandler([](const std::string& text) { ADD_FAILURE() << "message: " << text; });
        host.SetQuestionHandler([](const std::string& text, fw::QuestionButtons) {
            ADD_FAILURE() << "question: " << text;
            return fw::Answer::No;
        });
        cardlib::Board seeding(board.Path());
        ASSERT_EQ(DVB_LoadDBProgData(), DVB_ERR_OK);
        uint32_t index = 0;
        for (const Stored& s : kStored) {
            TunProgDataTag record = PresetProgram();
            record.index = ++index;
            record.name = s.name;
            record.frequency = 330000;
            record.progId = record.serviceId = static_cast<uint16_t>(100 + index);
            record.nwId = 61441;
            ASSERT_EQ(DVB_SetDBProgData(kTunProgDataTagSize, &record), DVB_ERR_OK);
            ASSERT_EQ(DVB_SetDBProgChannelNumber(index, s.channelNumber), DVB_ERR_OK);
            ASSERT_EQ(DVB_SetDBProgCaSystems(index, s.caSystems), DVB_ERR_OK);
        }
        ASSERT_EQ(DVB_SaveDBProgData(), DVB_ERR_OK);
    }

    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(m_Dir, ec);
    }


    QTreeView* LoadedList(ProgramListDialog& window) {
        auto* view = qobject_cast<QTreeView*>(host.ControlWidget(window, res::IDC_PROGRAM_LIST));
        if (!view) return nullptr;
        QTest::mouseClick(host.ControlWidget(window, res::IDC_LOAD), Qt::LeftButton);
        return view;
    }

    std::filesystem::path m_Dir = qttest::MakeTempDir();
    fw::QtHost host;
    hosttest::RegisteredResources resources{host};
    cardlib::Board board{(m_Dir / "board.db").string()};
    cardlib::Card card;
    std::unique_ptr<fw::Profile> m_Profile;
};

std::vector<std::string> ColumnTexts(const QAbstractItemModel& model, int column) {
    std::vector<std::string> cells;
    for (int row = 0; row < model.rowCount(); ++row)
        cells.push_back(model.data(model.index(row, column)).toString().toStdString());
    return cells;
}

void ClickTitle(QTreeView& view, int column) {
    view.scrollTo(view.model()->index(0, column));
    QHeaderView* header = view.header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2));
}

TEST_F(BesideColumns, FollowStateWithWholeTitlesAndSortByAClickOnTheirTitles) {
    ProgramListDialog window(host);
    qttest::RunModalWith(host, window, [&] {
        QTreeView* view = LoadedList(window);
        ASSERT_NE(view, nullptr);
        QAbstractItemModel& model = *view->model();
        ASSERT_EQ(model.rowCount(), 5);
        QHeaderView* header = view->header();
        const QFontMetrics metrics(header->font());
        const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        int place = header->visualIndex(kColumnState);
        for (const auto& [column, title] : {std::pair{kColumnLcn, "LCN"}, std::pair{kColumnCa, "CA"}}) {
            EXPECT_EQ(header->visualIndex(column), ++place) << title;
            EXPECT_FALSE(header->isSectionHidden(column)) << title;
            EXPECT_EQ(model.headerData(column, Qt::Horizontal).toString(), title);
            EXPECT_LE(metrics.horizontalAdvance(title) + 2 * margin, header->sectionSize(column)) << title;
        }
        EXPECT_EQ(ColumnTexts(model, kColumnLcn), (std::vector<std::string>{"3", "", "12", "1", "7"}));
        EXPECT_EQ(ColumnTexts(model, kColumnCa), (std::vector<std::string>{"", "1702 0B00", "", "0D95", "0500"}));

        view->scrollTo(model.index(0, kColumnCa));
        EXPECT_TRUE(qttest::WaitFor([&] { return host.WindowOf(window)->isVisible(); }));
        EXPECT_TRUE(host.WindowOf(window)->grab().save(
            QString::fromStdString(qttest::ScreenshotPath("program-list-lcn-ca.png").string())));

        // Rows move whole; no number sorts before every number, as an empty cell does elsewhere.
        ClickTitle(*view, kColumnLcn);
        EXPECT_EQ(ColumnTexts(model, kColumnLcn), (std::vector<std::string>{"", "1", "3", "7", "12"}));
        EXPECT_EQ(ColumnTexts(model, kColumnName).front(), "Kinowelt Abruf");
        ClickTitle(*view, kColumnCa);
        EXPECT_EQ(ColumnTexts(model, kColumnCa), (std::vector<std::string>{"", "", "0500", "0D95", "1702 0B00"}));
        EXPECT_EQ(ColumnTexts(model, kColumnName), (std::vector<std::string>{"Kanal Elf HD", "Bergsee TV", "Kinderinsel",
                                                                              "Sport Arena", "Kinowelt Abruf"}));
        // The order of a sort is a change the user may undo, as every other column's.
        EXPECT_EQ(host.WindowOf(window)->windowTitle().front(), '*');
        window.EndDialog(fw::IDCANCEL);
    });
}

TEST_F(BesideColumns, ChannelNumberEditedInTheDetailsShowsInTheListAndOutlivesSaveAndLoad) {
    ProgramListDialog window(host);
    std::string label;
    qttest::RunModalWith(host, window, [&] {
        QTreeView* view = LoadedList(window);
        ASSERT_NE(view, nullptr);
        QAbstractItemModel& model = *view->model();
        ASSERT_EQ(model.rowCount(), 5);
        for (const auto& [number, row] : {std::pair{"42", 1}, std::pair{"", 2}}) {
            host.Post([&, number = number] {
                auto* details = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                ASSERT_NE(details, nullptr);
                auto* field = details->findChild<QLineEdit*>(QStringLiteral("control%1").arg(res::IDC_CHANNEL_NUMBER));
                ASSERT_NE(field, nullptr);
                // The field's label is the nearest to its left on the field's line.
                int nearest = -1;
                for (QLabel* l : details->findChildren<QLabel*>()) {
                    const QRect r = l->geometry();
                    if (r.right() <= field->geometry().left() && r.right() > nearest &&
                        r.center().y() >= field->geometry().top() && r.center().y() <= field->geometry().bottom()) {
                        nearest = r.right();
                        label = l->text().toStdString();
                    }
                }
                // Typed as the user types: over what the field shows.
                field->setFocus();
                field->selectAll();
                QTest::keyClick(field, Qt::Key_Backspace);
                QTest::keyClicks(field, QString::fromUtf8(number));
                details->findChild<QPushButton*>(QStringLiteral("control%1").arg(fw::IDOK))->click();
            });
            const QPoint cell = view->visualRect(model.index(row, kColumnName)).center();
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell);
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell);
        }
        EXPECT_EQ(ColumnTexts(model, kColumnLcn), (std::vector<std::string>{"3", "42", "", "1", "7"}));

        QTest::mouseClick(host.ControlWidget(window, res::IDC_SAVE), Qt::LeftButton);
        QTest::mouseClick(host.ControlWidget(window, res::IDC_LOAD), Qt::LeftButton);
        EXPECT_EQ(ColumnTexts(model, kColumnLcn), (std::vector<std::string>{"3", "42", "", "1", "7"}));
        EXPECT_EQ(ColumnTexts(model, kColumnCa), (std::vector<std::string>{"", "1702 0B00", "", "0D95", "0500"}));
        window.EndDialog(fw::IDCANCEL);
    });
    EXPECT_EQ(label, "LCN:");
}

}  // namespace
