#include "framework/qt/QtListModel.h"

#include <QTimer>
#include <algorithm>

namespace fw {

QtListModel::QtListModel(ListView& list, QObject* parent)
    : QAbstractTableModel(parent), m_List(list), m_FlushTimer(new QTimer(this)) {
    m_FlushTimer->setSingleShot(true);
    connect(m_FlushTimer, &QTimer::timeout, this, &QtListModel::FlushChangedCells);
    m_ColumnCount = m_List.GetColumnCount();
    for (int c = 0; c < m_ColumnCount; ++c) m_Aligns.push_back(m_List.Column(c).align);
    m_List.SetObserver(this);
}

QtListModel::~QtListModel() { Detach(); }

void QtListModel::Detach() {
    if (!m_Attached) return;
    m_ChangedCells = QRect();
    m_FlushTimer->stop();
    m_Attached = false;
    m_List.SetObserver(nullptr);
    // The view must not read a ListView that may be gone.
    beginResetModel();
    m_ColumnCount = 0;
    m_Aligns.clear();
    endResetModel();
}

int QtListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !m_Attached) return 0;
    return m_List.GetItemCount();
}

int QtListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_ColumnCount; }

Qt::Alignment QtListModel::ToQt(Align align) {
    switch (align) {
        case Align::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
        case Align::Right: return Qt::AlignRight | Qt::AlignVCenter;
        case Align::Left: break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

QVariant QtListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !m_Attached) return {};
    const int row = index.row();
    const int column = index.column();
    if (row < 0 || row >= m_List.GetItemCount() || column < 0 || column >= m_ColumnCount) return {};
    switch (role) {
        case Qt::DisplayRole: {
            const std::string& text = m_List.ItemText(row, column);
            return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        }
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(ToQt(m_Aligns[static_cast<size_t>(column)]));
        default:
            return {};
    }
}

QVariant QtListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= m_ColumnCount || !m_Attached) return {};
    if (section >= m_List.GetColumnCount()) return {};
    switch (role) {
        case Qt::DisplayRole: return QString::fromStdString(m_List.Column(section).title);
        case Qt::TextAlignmentRole: return QVariant::fromValue(ToQt(m_Aligns[static_cast<size_t>(section)]));
        default: return {};
    }
}

Qt::ItemFlags QtListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void QtListModel::ColumnsChanged() {
    FlushChangedCells();
    ++m_Changing;
    const int count = m_List.GetColumnCount();
    const bool grew = count > m_ColumnCount;
    if (grew) {
        beginInsertColumns(QModelIndex(), m_ColumnCount, count - 1);
        m_ColumnCount = count;
        m_Aligns.resize(static_cast<size_t>(count), Align::Left);
        endInsertColumns();
    }
    bool alignChanged = false;
    for (int c = 0; c < m_ColumnCount; ++c) {
        const Align align = m_List.Column(c).align;
        if (m_Aligns[static_cast<size_t>(c)] != align) {
            m_Aligns[static_cast<size_t>(c)] = align;
            alignChanged = true;
        }
    }
    if (m_ColumnCount > 0) {
        emit headerDataChanged(Qt::Horizontal, 0, m_ColumnCount - 1);
        // A column inserted before others shifts their cells; an alignment
        // changes how every cell of the column is drawn.
        if ((alignChanged || grew) && m_List.GetItemCount() > 0)
            emit dataChanged(index(0, 0), index(m_List.GetItemCount() - 1, m_ColumnCount - 1));
    }
    emit columnsChanged();
    --m_Changing;
}

void QtListModel::BeginInsertRows(int first, int last) {
    FlushChangedCells();
    ++m_Changing;
    beginInsertRows(QModelIndex(), first, last);
}

void QtListModel::EndInsertRows() {
    endInsertRows();
    --m_Changing;
}

void QtListModel::BeginRemoveRows(int first, int last) {
    FlushChangedCells();
    ++m_Changing;
    beginRemoveRows(QModelIndex(), first, last);
}

void QtListModel::EndRemoveRows() {
    endRemoveRows();
    --m_Changing;
}

void QtListModel::BeginReset() {
    FlushChangedCells();
    ++m_Changing;
    beginResetModel();
}

void QtListModel::EndReset() {
    endResetModel();
    emit rowsReset();
    --m_Changing;
}

void QtListModel::CellChanged(int row, int column) {
    if (column >= m_ColumnCount || row < 0 || column < 0) return;
    m_ChangedCells |= QRect(column, row, 1, 1);
    if (!m_FlushTimer->isActive()) m_FlushTimer->start(0);
}

void QtListModel::FlushChangedCells() {
    if (m_ChangedCells.isNull()) return;
    const QRect cells = m_ChangedCells;
    m_ChangedCells = QRect();
    m_FlushTimer->stop();
    const int lastRow = std::min(cells.bottom(), m_List.GetItemCount() - 1);
    const int lastColumn = std::min(cells.right(), m_ColumnCount - 1);
    if (!m_Attached || cells.top() > lastRow || cells.left() > lastColumn) return;
    emit dataChanged(index(cells.top(), cells.left()), index(lastRow, lastColumn));
}

void QtListModel::StateChanged(int row) { emit stateChanged(row); }

void QtListModel::EnsureVisible(int row) { emit ensureVisible(row); }

}  // namespace fw
