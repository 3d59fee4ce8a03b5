#include "framework/ListView.h"

#include <algorithm>
#include <numeric>
#include <string_view>

#include "framework/AsciiCase.h"

namespace fw {

namespace {
const std::string kEmpty;
}  // namespace

int ListView::InsertColumn(int column, const std::string& title, Align align, int width) {
    if (column < 0) return -1;
    const auto at = static_cast<size_t>(std::min(column, GetColumnCount()));
    m_Columns.insert(m_Columns.begin() + static_cast<std::ptrdiff_t>(at), ListColumn{title, align, std::max(width, 0)});
    for (auto& row : m_Rows) {
        if (row.cells.size() > at) row.cells.insert(row.cells.begin() + static_cast<std::ptrdiff_t>(at), std::string());
    }
    if (m_Observer) m_Observer->ColumnsChanged();
    return static_cast<int>(at);
}

int ListView::GetColumnWidth(int column) const {
    if (column < 0 || column >= GetColumnCount()) return 0;
    return m_Columns[static_cast<size_t>(column)].width;
}

bool ListView::SetColumnWidth(int column, int width) {
    if (column < 0 || column >= GetColumnCount()) return false;
    m_Columns[static_cast<size_t>(column)].width = std::max(width, 0);
    if (m_Observer) m_Observer->ColumnsChanged();
    return true;
}

bool ListView::SetColumnAlign(int column, Align align) {
    if (column < 0 || column >= GetColumnCount()) return false;
    m_Columns[static_cast<size_t>(column)].align = align;
    if (m_Observer) m_Observer->ColumnsChanged();
    return true;
}

int ListView::InsertItem(int item, const std::string& text) {
    if (item < 0) return -1;
    int at = std::min(item, GetItemCount());
    if (m_SortAscending) {
        // After the last row whose text sorts at or before the new one.
        auto it = std::upper_bound(m_Rows.begin(), m_Rows.end(), text, [](const std::string& t, const Row& r) {
            return CompareAsciiNoCase(t, r.cells.empty() ? kEmpty : r.cells[0]) < 0;
        });
        at = static_cast<int>(it - m_Rows.begin());
    }
    if (m_Observer) m_Observer->BeginInsertRows(at, at);
    Row row;
    row.cells.push_back(text);
    m_Rows.insert(m_Rows.begin() + at, std::move(row));
    if (m_SelectionMark >= at) ++m_SelectionMark;
    if (m_Observer) m_Observer->EndInsertRows();
    return at;
}

bool ListView::DeleteItem(int item) {
    if (!ValidRow(item)) return false;
    if (m_Observer) m_Observer->BeginRemoveRows(item, item);
    m_Rows.erase(m_Rows.begin() + item);
    if (m_SelectionMark == item) m_SelectionMark = -1;
    else if (m_SelectionMark > item) --m_SelectionMark;
    if (m_Observer) m_Observer->EndRemoveRows();
    return true;
}

bool ListView::DeleteAllItems() {
    if (m_Observer) m_Observer->BeginReset();
    m_Rows.clear();
    m_SelectionMark = -1;
    if (m_Observer) m_Observer->EndReset();
    return true;
}

std::string ListView::GetItemText(int item, int subItem) const { return ItemText(item, subItem); }

const std::string& ListView::ItemText(int item, int subItem) const {
    if (!ValidRow(item) || subItem < 0) return kEmpty;
    const auto& cells = m_Rows[static_cast<size_t>(item)].cells;
    return static_cast<size_t>(subItem) < cells.size() ? cells[static_cast<size_t>(subItem)] : kEmpty;
}

bool ListView::SetItemText(int item, int subItem, const std::string& text) {
    if (!ValidRow(item) || subItem < 0) return false;
    // Cells exist for the columns; column 0 always exists, as in the control.
    if (subItem > 0 && subItem >= GetColumnCount()) return false;
    auto& cells = m_Rows[static_cast<size_t>(item)].cells;
    if (cells.size() <= static_cast<size_t>(subItem)) cells.resize(static_cast<size_t>(subItem) + 1);
    cells[static_cast<size_t>(subItem)] = text;
    if (m_Observer) m_Observer->CellChanged(item, subItem);
    return true;
}

uint32_t ListView::GetItemData(int item) const {
    return ValidRow(item) ? m_Rows[static_cast<size_t>(item)].data : 0;
}

bool ListView::SetItemData(int item, uint32_t data) {
    if (!ValidRow(item)) return false;
    m_Rows[static_cast<size_t>(item)].data = data;
    return true;
}

uint32_t ListView::GetItemAttachment(int item) const {
    return ValidRow(item) ? m_Rows[static_cast<size_t>(item)].attachment : 0;
}

bool ListView::SetItemAttachment(int item, uint32_t value) {
    if (!ValidRow(item)) return false;
    m_Rows[static_cast<size_t>(item)].attachment = value;
    return true;
}

int ListView::FindItemByData(uint32_t data) const {
    for (size_t i = 0; i < m_Rows.size(); ++i) {
        if (m_Rows[i].data == data) return static_cast<int>(i);
    }
    return -1;
}

unsigned ListView::GetItemState(int item, unsigned mask) const {
    return ValidRow(item) ? (m_Rows[static_cast<size_t>(item)].state & mask) : 0;
}

bool ListView::SetItemState(int item, unsigned state, unsigned mask) {
    if (!ValidRow(item)) return false;
    const bool selecting = (mask & kItemSelected) && (state & kItemSelected);
    const bool focusing = (mask & kItemFocused) && (state & kItemFocused);
    for (size_t i = 0; i < m_Rows.size(); ++i) {
        if (static_cast<int>(i) == item) continue;
        unsigned before = m_Rows[i].state;
        // One row holds the focus; single selection lets one row be selected.
        if (focusing) m_Rows[i].state &= ~kItemFocused;
        if (selecting && m_SingleSelection) m_Rows[i].state &= ~kItemSelected;
        if (before != m_Rows[i].state && m_Observer) m_Observer->StateChanged(static_cast<int>(i));
    }
    auto& row = m_Rows[static_cast<size_t>(item)];
    row.state = (row.state & ~mask) | (state & mask);
    if (m_Observer) m_Observer->StateChanged(item);
    return true;
}

int ListView::GetNextItem(int start, unsigned stateMask) const {
    for (int i = std::max(start + 1, 0); i < GetItemCount(); ++i) {
        if ((m_Rows[static_cast<size_t>(i)].state & stateMask) == stateMask) return i;
    }
    return -1;
}

int ListView::SetSelectionMark(int item) {
    const int old = m_SelectionMark;
    m_SelectionMark = ValidRow(item) ? item : -1;
    return old;
}

bool ListView::EnsureVisible(int item) {
    if (!ValidRow(item)) return false;
    m_LastEnsured = item;
    if (m_Observer) m_Observer->EnsureVisible(item);
    return true;
}

void ListView::ApplyPermutation(const std::vector<int>& order) {
    if (m_Observer) m_Observer->BeginReset();
    std::vector<Row> sorted;
    sorted.reserve(m_Rows.size());
    int mark = -1;
    for (size_t i = 0; i < order.size(); ++i) {
        if (order[i] == m_SelectionMark) mark = static_cast<int>(i);
        sorted.push_back(std::move(m_Rows[static_cast<size_t>(order[i])]));
    }
    m_Rows = std::move(sorted);
    m_SelectionMark = mark;
    if (m_Observer) m_Observer->EndReset();
}

bool ListView::SortItems(const std::function<int(uint32_t, uint32_t)>& compareData) {
    std::vector<int> order(m_Rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return compareData(m_Rows[static_cast<size_t>(a)].data, m_Rows[static_cast<size_t>(b)].data) < 0;
    });
    ApplyPermutation(order);
    return true;
}

bool ListView::SortItemsByRow(const std::function<int(int, int)>& compareRows) {
    std::vector<int> order(m_Rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return compareRows(a, b) < 0; });
    ApplyPermutation(order);
    return true;
}

size_t ListView::Snapshot::Bytes() const {
    return sizeof(*this) + m_Text.capacity() + m_CellEnds.capacity() * sizeof(uint32_t) +
           m_Rows.capacity() * sizeof(RowFields) + m_States.capacity() * sizeof(unsigned);
}

ListView::Snapshot ListView::TakeSnapshot() const {
    Snapshot snapshot;
    size_t cells = 0, text = 0;
    for (const Row& row : m_Rows) {
        cells += row.cells.size();
        for (const std::string& cell : row.cells) text += cell.size();
    }
    snapshot.m_Text.reserve(text);
    snapshot.m_CellEnds.reserve(cells);
    snapshot.m_Rows.reserve(m_Rows.size());
    snapshot.m_States.reserve(m_Rows.size());
    for (const Row& row : m_Rows) {
        for (const std::string& cell : row.cells) {
            snapshot.m_Text += cell;
            snapshot.m_CellEnds.push_back(static_cast<uint32_t>(snapshot.m_Text.size()));
        }
        snapshot.m_Rows.push_back({static_cast<uint32_t>(row.cells.size()), row.data, row.attachment});
        snapshot.m_States.push_back(row.state);
    }
    snapshot.m_SelectionMark = m_SelectionMark;
    return snapshot;
}

void ListView::RestoreSnapshot(const Snapshot& snapshot) {
    if (m_Observer) m_Observer->BeginReset();
    std::vector<Row> rows(snapshot.m_Rows.size());
    size_t cell = 0;
    uint32_t start = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const Snapshot::RowFields& fields = snapshot.m_Rows[i];
        Row& row = rows[i];
        row.cells.reserve(fields.cellCount);
        for (uint32_t c = 0; c < fields.cellCount; ++c, ++cell) {
            const uint32_t end = snapshot.m_CellEnds[cell];
            row.cells.emplace_back(snapshot.m_Text, start, end - start);
            start = end;
        }
        row.data = fields.data;
        row.attachment = fields.attachment;
        row.state = snapshot.m_States[i];
    }
    m_Rows = std::move(rows);
    m_SelectionMark = snapshot.m_SelectionMark < GetItemCount() ? snapshot.m_SelectionMark : -1;
    if (m_Observer) m_Observer->EndReset();
}

bool ListView::HoldsRowsOf(const Snapshot& snapshot) const {
    if (m_Rows.size() != snapshot.m_Rows.size()) return false;
    size_t cell = 0;
    uint32_t start = 0;
    const std::string_view text = snapshot.m_Text;
    for (size_t i = 0; i < m_Rows.size(); ++i) {
        const Row& row = m_Rows[i];
        if (!(Snapshot::RowFields{static_cast<uint32_t>(row.cells.size()), row.data, row.attachment} ==
              snapshot.m_Rows[i]))
            return false;
        for (const std::string& value : row.cells) {
            const uint32_t end = snapshot.m_CellEnds[cell++];
            if (text.substr(start, end - start) != value) return false;
            start = end;
        }
    }
    return true;
}

}  // namespace fw
