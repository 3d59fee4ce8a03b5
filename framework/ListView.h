#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fw {

enum class Align { Left, Center, Right };

// Item state bits, as the report-style list view has them.
enum ItemState : unsigned {
    kItemFocused = 0x1,
    kItemSelected = 0x2,
};

struct ListColumn {
    std::string title;
    Align align = Align::Left;
    int width = 0;
};

// Told of every change, so a host view can mirror the model. Begin/End pairs
// bracket structural changes (a Qt model needs both).
class ListViewObserver {
public:
    virtual ~ListViewObserver() = default;
    virtual void ColumnsChanged() {}
    virtual void BeginInsertRows(int first, int last) { (void)first, (void)last; }
    virtual void EndInsertRows() {}
    virtual void BeginRemoveRows(int first, int last) { (void)first, (void)last; }
    virtual void EndRemoveRows() {}
    virtual void BeginReset() {}
    virtual void EndReset() {}
    virtual void CellChanged(int row, int column) { (void)row, (void)column; }
    virtual void StateChanged(int row) { (void)row; }
    virtual void EnsureVisible(int row) { (void)row; }
};

// A report-style list-view control as a plain model: the scan lists are the
// scan's working memory, so this follows the control's behaviour exactly
// (indices, item data, state, selection mark, sorted-by-text style).
class ListView {
public:
    ListView() = default;
    ListView(const ListView&) = delete;
    ListView& operator=(const ListView&) = delete;

    // Styles.
    void SetSortAscending(bool on) { m_SortAscending = on; }
    bool SortAscending() const { return m_SortAscending; }
    void SetSingleSelection(bool on) { m_SingleSelection = on; }
    void SetFullRowSelect(bool on) { m_FullRowSelect = on; }
    bool FullRowSelect() const { return m_FullRowSelect; }

    // Columns.
    int InsertColumn(int column, const std::string& title, Align align, int width);
    int GetColumnCount() const { return static_cast<int>(m_Columns.size()); }
    const ListColumn& Column(int column) const { return m_Columns.at(static_cast<size_t>(column)); }
    int GetColumnWidth(int column) const;
    bool SetColumnWidth(int column, int width);
    bool SetColumnAlign(int column, Align align);

    // Rows. Indices outside the list make every call fail or return empty.
    int GetItemCount() const { return static_cast<int>(m_Rows.size()); }
    // Inserts before `item` (clamped to the end); with the sorted style the text
    // decides the place (after rows whose text is equal). Returns the new
    // index, or -1.
    int InsertItem(int item, const std::string& text);
    bool DeleteItem(int item);
    bool DeleteAllItems();
    std::string GetItemText(int item, int subItem) const;
    // The cell's text without a copy; an empty text for a cell that is not there.
    const std::string& ItemText(int item, int subItem) const;
    bool SetItemText(int item, int subItem, const std::string& text);
    uint32_t GetItemData(int item) const;
    bool SetItemData(int item, uint32_t data);
    // A second value kept with a row beside its item data, for what a
    // window keeps per row and shows in no column: it moves with the row in
    // sorts and goes with it. 0 in a new row.
    uint32_t GetItemAttachment(int item) const;
    bool SetItemAttachment(int item, uint32_t value);
    // The first row from the top whose item data equals `data`, or -1.
    int FindItemByData(uint32_t data) const;

    unsigned GetItemState(int item, unsigned mask) const;
    bool SetItemState(int item, unsigned state, unsigned mask);
    // The first row after `start` (-1: from the top) whose state has all bits
    // of `stateMask`; with a mask of 0, simply the next row. -1 when none.
    int GetNextItem(int start, unsigned stateMask) const;
    int GetSelectionMark() const { return m_SelectionMark; }
    int SetSelectionMark(int item);
    // Asks the host to scroll the row into view.
    bool EnsureVisible(int item);
    int LastEnsuredVisible() const { return m_LastEnsured; }

    // Stable sorts; comparisons return negative, zero or positive.
    bool SortItems(const std::function<int(uint32_t, uint32_t)>& compareData);
    // Compares rows by their index before the sort started.
    bool SortItemsByRow(const std::function<int(int, int)>& compareRows);

    // Every row as it stands (cells, item data, attachment, state) and the
    // selection mark, packed into a few blocks: an undo history keeps many
    // of these for lists of thousands of rows.
    class Snapshot {
    public:
        int RowCount() const { return static_cast<int>(m_Rows.size()); }
        // What it holds in memory, roughly.
        size_t Bytes() const;

    private:
        friend class ListView;
        struct RowFields {
            uint32_t cellCount = 0;
            uint32_t data = 0;
            uint32_t attachment = 0;
            bool operator==(const RowFields&) const = default;
        };
        std::string m_Text;               // every cell's text, one after another
        std::vector<uint32_t> m_CellEnds;  // per cell, where its text ends in m_Text
        std::vector<RowFields> m_Rows;
        std::vector<unsigned> m_States;
        int m_SelectionMark = -1;
    };
    Snapshot TakeSnapshot() const;
    // Puts the snapshot's rows, states and selection mark in place of the
    // list's, in one reset. The columns stay as they are.
    void RestoreSnapshot(const Snapshot& snapshot);
    // Whether the rows are those of the snapshot: the same cells, item data
    // and attachments. States and the selection mark are not compared.
    bool HoldsRowsOf(const Snapshot& snapshot) const;

    void SetObserver(ListViewObserver* observer) { m_Observer = observer; }

private:
    struct Row {
        std::vector<std::string> cells;
        uint32_t data = 0;
        uint32_t attachment = 0;
        unsigned state = 0;
    };

    bool ValidRow(int item) const { return item >= 0 && item < GetItemCount(); }
    void ApplyPermutation(const std::vector<int>& order);

    std::vector<ListColumn> m_Columns;
    std::vector<Row> m_Rows;
    int m_SelectionMark = -1;
    int m_LastEnsured = -1;
    bool m_SortAscending = false;
    bool m_SingleSelection = false;
    bool m_FullRowSelect = false;
    ListViewObserver* m_Observer = nullptr;
};

}  // namespace fw
