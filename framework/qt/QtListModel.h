#pragma once

#include <QAbstractTableModel>
#include <QRect>
#include <vector>

#include "framework/ListView.h"

class QTimer;

namespace fw {

// A Qt table model over a ListView: the ListView stays the only store of the
// rows; this adapter reads it lazily and turns its observer calls into the
// model's begin/end notifications, so a view of 100,000 rows costs only the
// rows on screen.
class QtListModel final : public QAbstractTableModel, public ListViewObserver {
    Q_OBJECT
public:
    explicit QtListModel(ListView& list, QObject* parent = nullptr);
    ~QtListModel() override;

    ListView& List() const { return m_List; }
    // Stops mirroring; the ListView may go away after this.
    void Detach();
    // True while the ListView is inserting, removing, resetting or changing
    // columns: what the view does then is the model's doing, not the user's.
    bool Changing() const { return m_Changing > 0; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // Column titles, widths or alignments changed in the ListView.
    void columnsChanged();
    // Item state (selected, focused) of a row changed in the ListView.
    void stateChanged(int row);
    // The ListView asks for the row to be scrolled into view.
    void ensureVisible(int row);
    // The rows were replaced (sorted or cleared): the view must restore the
    // selection and the column widths from the ListView.
    void rowsReset();

private:
    void ColumnsChanged() override;
    void BeginInsertRows(int first, int last) override;
    void EndInsertRows() override;
    void BeginRemoveRows(int first, int last) override;
    void EndRemoveRows() override;
    void BeginReset() override;
    void EndReset() override;
    void CellChanged(int row, int column) override;
    void StateChanged(int row) override;
    void EnsureVisible(int row) override;

    static Qt::Alignment ToQt(Align align);
    // Cell changes are told to the views as one rectangle, once the program
    // is done (or before the rows move): a row filled cell by cell would
    // otherwise cost one notification per cell.
    void FlushChangedCells();

    ListView& m_List;
    bool m_Attached = true;
    int m_Changing = 0;
    // The columns as the model last announced them: the ListView tells of a
    // new column only after inserting it, so the count Qt sees is kept here.
    int m_ColumnCount = 0;
    std::vector<Align> m_Aligns;
    QRect m_ChangedCells;  // rows and columns changed but not yet announced
    QTimer* m_FlushTimer;
};

}  // namespace fw
