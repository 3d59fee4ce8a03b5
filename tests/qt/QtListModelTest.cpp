#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QTreeView>
#include <memory>

#include "framework/ListView.h"
#include "framework/qt/QtListModel.h"

namespace {

// Collects what QAbstractItemModelTester reports instead of letting it abort.
class TesterMessages {
public:
    TesterMessages() {
        s_Messages.clear();
        m_Previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type != QtDebugMsg && type != QtInfoMsg) s_Messages.push_back(text.toStdString());
        });
    }
    ~TesterMessages() { qInstallMessageHandler(m_Previous); }
    const std::vector<std::string>& Messages() const { return s_Messages; }

private:
    static inline std::vector<std::string> s_Messages;
    QtMessageHandler m_Previous;
};

std::string Cell(const QAbstractItemModel& model, int row, int column, int role = Qt::DisplayRole) {
    return model.data(model.index(row, column), role).toString().toStdString();
}

TEST(QtListModel, FollowsEveryKindOfListChangeUnderTheModelTester) {
    TesterMessages messages;
    fw::ListView list;
    fw::QtListModel model(list);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    QTreeView view;  // a view over it too, as in a window
    view.setModel(&model);

    // Columns arrive after the adapter exists, as a dialog's init adds them.
    list.InsertColumn(0, "Nr", fw::Align::Left, 40);
    list.InsertColumn(1, "Programm", fw::Align::Left, 120);
    list.InsertColumn(2, "Frequenz", fw::Align::Right, 80);
    list.SetColumnAlign(0, fw::Align::Center);
    ASSERT_EQ(model.columnCount(), 3);

    const struct {
        const char* nr;
        const char* name;
        const char* frequency;
    } rows[] = {{"1", "Das Erste", "45000000"}, {"2", "ZDF", "45000000"}, {"3", "arte", "39400000"}};
    for (const auto& r : rows) {
        const int at = list.InsertItem(list.GetItemCount(), r.nr);
        list.SetItemText(at, 1, r.name);
        list.SetItemText(at, 2, r.frequency);
        list.SetItemData(at, static_cast<uint32_t>(at));
    }
    list.InsertItem(1, "between");
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_EQ(Cell(model, 1, 0), "between");
    EXPECT_EQ(Cell(model, 2, 1), "ZDF");

    list.SetItemText(2, 1, "ZDF HD");
    EXPECT_EQ(Cell(model, 2, 1), "ZDF HD");
    list.DeleteItem(1);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(Cell(model, 1, 1), "ZDF HD");

    // Sort by name descending: a reset, after which the cells show the order.
    list.SortItemsByRow([&](int a, int b) { return -list.GetItemText(a, 1).compare(list.GetItemText(b, 1)); });
    EXPECT_EQ(Cell(model, 0, 1), "arte");
    EXPECT_EQ(Cell(model, 2, 1), "Das Erste");

    // A column inserted in front shifts the cells.
    list.InsertColumn(0, "State", fw::Align::Left, 30);
    EXPECT_EQ(model.columnCount(), 4);
    EXPECT_EQ(Cell(model, 0, 2), "arte");
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString().toStdString(), "State");
    EXPECT_EQ(model.headerData(3, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
              Qt::AlignRight);

    list.DeleteAllItems();
    EXPECT_EQ(model.rowCount(), 0);
    for (int i = 0; i < 50; ++i) list.InsertItem(0, std::to_string(i));
    EXPECT_EQ(model.rowCount(), 50);
    EXPECT_EQ(Cell(model, 0, 0), "49");

    EXPECT_TRUE(messages.Messages().empty()) << messages.Messages().front();
}

TEST(QtListModel, DataOutsideTheRowsIsEmpty) {
    fw::ListView list;
    fw::QtListModel model(list);
    list.InsertColumn(0, "A", fw::Align::Center, 10);
    list.InsertItem(0, "only");
    const QModelIndex valid = model.index(0, 0);
    EXPECT_EQ(model.data(valid).toString(), "only");
    EXPECT_EQ(model.data(valid, Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignHCenter | Qt::AlignVCenter);
    // An index made before a removal points past the end afterwards.
    list.DeleteItem(0);
    EXPECT_FALSE(model.data(valid).isValid());
    EXPECT_FALSE(model.data(model.index(5, 0)).isValid());
    EXPECT_FALSE(model.headerData(7, Qt::Horizontal).isValid());
    // A detached model no longer reads the list.
    list.InsertItem(0, "again");
    model.Detach();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 0);
    list.InsertItem(0, "after detach");  // no observer: nothing to crash into
    EXPECT_EQ(list.GetItemCount(), 2);
}

}  // namespace
