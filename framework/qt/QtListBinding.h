#pragma once

#include <QItemSelection>
#include <QMetaObject>
#include <QModelIndex>
#include <vector>

class QEvent;
class QObject;
class QTimer;
class QTreeView;
class QWidget;

namespace fw {

class Dialog;
class ListView;
class QtListModel;
struct Control;

// One list-view control: a report-style QTreeView over the ListView, with
// the selection, the focus row and the column widths kept equal both ways.
class QtListBinding {
public:
    QtListBinding(Dialog& dialog, const Control& control, QWidget* parent);
    ~QtListBinding();
    QtListBinding(const QtListBinding&) = delete;
    QtListBinding& operator=(const QtListBinding&) = delete;

    int Id() const { return m_Id; }
    QTreeView* View() const { return m_View; }
    void Detach();

private:
    void ApplyColumns();
    void RestoreSelection();
    void OnStateChanged(int row);
    void OnRowsRemoved();
    void OnUserSelection(const QItemSelection& selected, const QItemSelection& deselected);
    void OnUserCurrent(const QModelIndex& current, const QModelIndex& previous);
    void OnSectionResized(int column, int newSize);
    void ScheduleScroll(int row);
    // Keys and drags, on their way to the view: true when the dialog took them.
    bool FilterViewEvent(QEvent* event);
    bool FilterViewportEvent(QEvent* event);
    bool Mirroring() const;

    Dialog& m_Dialog;
    int m_Id;
    ListView& m_List;
    QTreeView* m_View;
    QtListModel* m_Model;
    QTimer* m_ScrollTimer;
    int m_ScrollRow = -1;
    QObject* m_EventFilter;
    // A press on a row starts a drag once the mouse has moved far enough;
    // the release drops it on the row under the mouse.
    int m_DragFrom = -1;
    bool m_Dragging = false;
    int m_PressX = 0, m_PressY = 0;
    bool m_Syncing = false;
    std::vector<QMetaObject::Connection> m_Connections;
};

}  // namespace fw
