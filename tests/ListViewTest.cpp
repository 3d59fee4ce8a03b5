#include <gtest/gtest.h>

#include "framework/ListView.h"

namespace {

TEST(ListView, SortedStyleInsertsByTextAfterEqualRows) {
    fw::ListView list;
    list.SetSortAscending(true);
    list.InsertColumn(0, "PID", fw::Align::Left, 50);
    list.InsertItem(0, "  256");
    list.InsertItem(0, "   17");
    const int second = list.InsertItem(0, "   17");
    list.SetItemData(second, 99);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(list.GetItemText(2, 0), "  256");
    EXPECT_EQ(list.FindItemByData(99), 1);
}

TEST(ListView, StableSortKeepsEqualRowsAndMovesSelectionMark) {
    fw::ListView list;
    list.InsertColumn(0, "A", fw::Align::Left, 10);
    const uint32_t data[] = {3, 1, 3, 2};
    for (int i = 0; i < 4; ++i) list.SetItemData(list.InsertItem(i, std::to_string(i)), data[i]);
    list.SetSelectionMark(2);
    list.SortItems([](uint32_t a, uint32_t b) { return a < b ? -1 : a > b ? 1 : 0; });
    std::vector<std::string> order;
    for (int i = 0; i < 4; ++i) order.push_back(list.GetItemText(i, 0));
    EXPECT_EQ(order, (std::vector<std::string>{"1", "3", "0", "2"}));
    EXPECT_EQ(list.GetSelectionMark(), 3);
}

TEST(ListView, SingleSelectionAndOutOfRangeAccess) {
    fw::ListView list;
    list.SetSingleSelection(true);
    list.InsertColumn(0, "A", fw::Align::Left, 10);
    list.InsertColumn(1, "B", fw::Align::Left, 10);
    list.InsertItem(0, "x");
    list.InsertItem(1, "y");
    list.SetItemState(0, fw::kItemSelected | fw::kItemFocused, fw::kItemSelected | fw::kItemFocused);
    list.SetItemState(1, fw::kItemSelected | fw::kItemFocused, fw::kItemSelected | fw::kItemFocused);
    EXPECT_EQ(list.GetNextItem(-1, fw::kItemSelected), 1);
    EXPECT_EQ(list.GetItemState(0, fw::kItemSelected | fw::kItemFocused), 0u);
    EXPECT_EQ(list.GetItemText(5, 0), "");
    EXPECT_FALSE(list.SetItemText(0, 2, "no such column"));
    EXPECT_FALSE(list.DeleteItem(2));
}

}  // namespace
