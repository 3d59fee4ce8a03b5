#include "framework/qt/QtListBinding.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QStyle>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>
#include <cstdlib>
#include <functional>

#include "framework/Dialog.h"
#include "framework/ListView.h"
#include "framework/qt/FlagGuard.h"
#include "framework/qt/QtListModel.h"

namespace fw {

namespace {

// Hands a watched object's events to a function.
class EventFilter final : public QObject {
public:
    EventFilter(QObject* parent, std::function<bool(QObject*, QEvent*)> filter)
        : QObject(parent), m_Filter(std::move(filter)) {}
    bool eventFilter(QObject* watched, QEvent* event) override { return m_Filter(watched, event); }

private:
    std::function<bool(QObject*, QEvent*)> m_Filter;
};

// The keys a dialog may want, as the framework names them; Other for the rest.
KeyPress ToKeyPress(const QKeyEvent& event) {
    KeyPress press;
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    press.ctrl = modifiers & Qt::ControlModifier;
    press.shift = modifiers & Qt::ShiftModifier;
    const int key = event.key();
    if (key == Qt::Key_Delete) press.key = Key::Delete;
    else if (key == Qt::Key_Up) press.key = Key::Up;
    else if (key == Qt::Key_Down) press.key = Key::Down;
    else if (key == Qt::Key_F3) press.key = Key::F3;
    else if (key == Qt::Key_Menu || (key == Qt::Key_F10 && press.shift)) press.key = Key::ContextMenu;
    else if (press.ctrl && key >= Qt::Key_A && key <= Qt::Key_Z) {
        press.key = Key::CtrlLetter;
        press.letter = static_cast<char>('A' + (key - Qt::Key_A));
    } else if (!press.ctrl && !(modifiers & Qt::AltModifier) && !event.text().isEmpty() && event.text().at(0).isPrint()) {
        press.key = Key::Text;
        press.text = event.text().toStdString();
    }
    return press;
}

}  // namespace

QtListBinding::QtListBinding(Dialog& dialog, const Control& control, QWidget* parent)
    : m_Dialog(dialog), m_Id(control.id), m_List(*control.list), m_View(new QTreeView(parent)) {
    m_Model = new QtListModel(m_List, m_View);
    m_ScrollTimer = new QTimer(m_View);
    m_ScrollTimer->setSingleShot(true);

    // The look of a report-style list view: rows of cells, no tree.
    m_View->setRootIsDecorated(false);
    m_View->setItemsExpandable(false);
    m_View->setExpandsOnDoubleClick(false);
    m_View->setUniformRowHeights(true);
    m_View->setAllColumnsShowFocus(true);
    m_View->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_View->setSelectionMode((control.style & kListSingleSel) ? QAbstractItemView::SingleSelection
                                                              : QAbstractItemView::ExtendedSelection);
    m_View->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_View->setTextElideMode(Qt::ElideRight);
    m_View->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    if (!(control.style & kBorder)) m_View->setFrameShape(QFrame::NoFrame);
    m_View->setModel(m_Model);

    QHeaderView* header = m_View->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setHighlightSections(false);
    header->setMinimumSectionSize(0);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionsClickable(!(control.style & kListNoSortHeader));
    if (control.style & kListNoHeader) header->hide();

    m_EventFilter = new EventFilter(m_View, [this](QObject* watched, QEvent* event) {
        return watched == m_View ? FilterViewEvent(event) : FilterViewportEvent(event);
    });
    m_View->installEventFilter(m_EventFilter);
    m_View->viewport()->installEventFilter(m_EventFilter);

    QItemSelectionModel* selection = m_View->selectionModel();
    m_Connections = {
        QObject::connect(m_Model, &QtListModel::columnsChanged, [this] { ApplyColumns(); }),
        QObject::connect(m_Model, &QtListModel::rowsReset,
                         [this] {
                             ApplyColumns();
                             RestoreSelection();
                         }),
        QObject::connect(m_Model, &QtListModel::stateChanged, [this](int row) { OnStateChanged(row); }),
        QObject::connect(m_Model, &QtListModel::ensureVisible, [this](int row) { ScheduleScroll(row); }),
        QObject::connect(m_Model, &QAbstractItemModel::rowsRemoved, [this] { OnRowsRemoved(); }),
        QObject::connect(selection, &QItemSelectionModel::selectionChanged,
                         [this](const QItemSelection& s, const QItemSelection& d) { OnUserSelection(s, d); }),
        QObject::connect(selection, &QItemSelectionModel::currentChanged,
                         [this](const QModelIndex& c, const QModelIndex& p) { OnUserCurrent(c, p); }),
        QObject::connect(header, &QHeaderView::sectionResized,
                         [this](int column, int, int size) { OnSectionResized(column, size); }),
        QObject::connect(header, &QHeaderView::sectionClicked,
                         [this](int column) {
                             if (m_View->header()->sectionsClickable()) m_Dialog.OnColumnClick(m_Id, column);
                         }),
        QObject::connect(m_View, &QAbstractItemView::doubleClicked, [this] { m_Dialog.OnListDoubleClick(m_Id); }),
        QObject::connect(m_ScrollTimer, &QTimer::timeout,
                         [this] {
                             if (m_ScrollRow >= 0 && m_ScrollRow < m_Model->rowCount())
                                 m_View->scrollTo(m_Model->index(m_ScrollRow, 0));
                             m_ScrollRow = -1;
                         }),
    };
    ApplyColumns();
    RestoreSelection();
}

QtListBinding::~QtListBinding() { Detach(); }

bool QtListBinding::Mirroring() const { return m_Syncing || m_Model->Changing(); }

void QtListBinding::Detach() {
    for (auto& c : m_Connections) QObject::disconnect(c);
    m_Connections.clear();
    m_ScrollTimer->stop();
    m_View->removeEventFilter(m_EventFilter);
    m_View->viewport()->removeEventFilter(m_EventFilter);
    m_Model->Detach();
}

void QtListBinding::ApplyColumns() {
    FlagGuard guard(m_Syncing);
    QHeaderView* header = m_View->header();
    for (int c = 0; c < m_Model->columnCount(); ++c) {
        const int width = m_List.GetColumnWidth(c);
        if (header->sectionSize(c) != width) header->resizeSection(c, width);
    }
}

void QtListBinding::RestoreSelection() {
    const int columns = m_Model->columnCount();
    if (columns == 0) return;
    FlagGuard guard(m_Syncing);
    QItemSelection selection;
    for (int r = m_List.GetNextItem(-1, kItemSelected); r >= 0; r = m_List.GetNextItem(r, kItemSelected))
        selection.select(m_Model->index(r, 0), m_Model->index(r, columns - 1));
    QItemSelectionModel* model = m_View->selectionModel();
    model->select(selection, QItemSelectionModel::ClearAndSelect);
    const int focused = m_List.GetNextItem(-1, kItemFocused);
    model->setCurrentIndex(focused >= 0 ? m_Model->index(focused, 0) : QModelIndex(), QItemSelectionModel::NoUpdate);
}

void QtListBinding::OnStateChanged(int row) {
    if (m_Syncing || row < 0 || row >= m_Model->rowCount() || m_Model->columnCount() == 0) return;
    FlagGuard guard(m_Syncing);
    QItemSelectionModel* model = m_View->selectionModel();
    const QModelIndex index = m_Model->index(row, 0);
    const unsigned state = m_List.GetItemState(row, kItemSelected | kItemFocused);
    const bool shown = model->isRowSelected(row, QModelIndex());
    if ((state & kItemSelected) && !shown) model->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    if (!(state & kItemSelected) && shown)
        model->select(index, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    if ((state & kItemFocused) && model->currentIndex().row() != row)
        model->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    if (!(state & kItemFocused) && model->currentIndex().row() == row)
        model->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

void QtListBinding::OnRowsRemoved() {
    // Qt moves the current row, and with single selection the selection, off
    // a removed row; the ListView moves neither, so the window follows it.
    FlagGuard guard(m_Syncing);
    QItemSelectionModel* model = m_View->selectionModel();
    for (const QModelIndex& row : model->selectedRows()) {
        if (!m_List.GetItemState(row.row(), kItemSelected))
            model->select(row, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    }
    const QModelIndex current = model->currentIndex();
    if (current.isValid() && !m_List.GetItemState(current.row(), kItemFocused))
        model->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

void QtListBinding::OnUserSelection(const QItemSelection& selected, const QItemSelection& deselected) {
    if (Mirroring()) return;
    FlagGuard guard(m_Syncing);
    for (const QItemSelectionRange& range : deselected) {
        for (int r = range.top(); r <= range.bottom(); ++r) m_List.SetItemState(r, 0, kItemSelected);
    }
    for (const QItemSelectionRange& range : selected) {
        for (int r = range.top(); r <= range.bottom(); ++r) m_List.SetItemState(r, kItemSelected, kItemSelected);
    }
}

void QtListBinding::OnUserCurrent(const QModelIndex& current, const QModelIndex& previous) {
    if (Mirroring()) return;
    FlagGuard guard(m_Syncing);
    if (current.isValid()) {
        m_List.SetItemState(current.row(), kItemFocused, kItemFocused);
        // The row the user last went to is where the next action applies.
        m_List.SetSelectionMark(current.row());
    } else if (previous.isValid()) {
        m_List.SetItemState(previous.row(), 0, kItemFocused);
    }
}

void QtListBinding::OnSectionResized(int column, int newSize) {
    if (Mirroring()) return;
    FlagGuard guard(m_Syncing);
    // The user dragged a column edge: the ListView keeps the width, so the
    // program saves what the user sees.
    m_List.SetColumnWidth(column, newSize);
}

void QtListBinding::ScheduleScroll(int row) {
    // Scrolling lays the view out at once; a batch of rows that each ask to
    // be shown would lay it out once per row, so only the last request is
    // carried out, when the event loop is next idle.
    m_ScrollRow = row;
    if (!m_ScrollTimer->isActive()) m_ScrollTimer->start(0);
}

}  // namespace fw

namespace fw {

bool QtListBinding::FilterViewEvent(QEvent* event) {
    // ShortcutOverride first: a key the dialog takes is no shortcut of the window.
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
    const KeyPress press = ToKeyPress(*static_cast<QKeyEvent*>(event));
    if (press.key == Key::Other) return false;
    if (event->type() == QEvent::ShortcutOverride) {
        // A key of the window's menu is the menu's, wherever the focus is.
        const std::string keys = QKeySequence(static_cast<QKeyEvent*>(event)->keyCombination())
                                     .toString(QKeySequence::PortableText)
                                     .toStdString();
        for (const Menu& menu : m_Dialog.MenuBar()) {
            for (const MenuItem& item : menu.items) {
                for (const std::string& shortcut : item.shortcuts) {
                    if (shortcut == keys) return false;
                }
            }
        }
        // Only Ctrl combinations and F3 could be shortcuts; taking them here
        // makes Qt deliver them as key presses.
        if (press.ctrl || press.key == Key::F3 || press.key == Key::Delete) event->accept();
        return false;
    }
    return m_Dialog.OnListKey(m_Id, press);
}

bool QtListBinding::FilterViewportEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::ToolTip: {
            // A cell its column cuts short shows whole in a tooltip.
            const auto* help = static_cast<QHelpEvent*>(event);
            const QModelIndex index = m_View->indexAt(help->pos());
            const QString text = index.isValid() ? index.data().toString() : QString();
            const QRect cell = m_View->visualRect(index);

            // The delegate's text margins, as QCommonStyle draws an item.
            const int margins = 2 * (m_View->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_View) + 1);
            if (!text.isEmpty() && m_View->fontMetrics().horizontalAdvance(text) + margins > cell.width())
                QToolTip::showText(help->globalPos(), text, m_View->viewport());
            else
                QToolTip::hideText();
            return true;
        }
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            m_Dragging = false;
            m_DragFrom = mouse->button() == Qt::LeftButton ? m_View->indexAt(mouse->position().toPoint()).row() : -1;
            m_PressX = mouse->position().toPoint().x();
            m_PressY = mouse->position().toPoint().y();
            return false;
        }
        case QEvent::MouseMove: {
            if (m_DragFrom < 0) return false;
            const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
            if (!m_Dragging && (std::abs(at.x() - m_PressX) + std::abs(at.y() - m_PressY)) >= QApplication::startDragDistance()) {
                m_Dragging = true;
                m_View->viewport()->setCursor(Qt::ClosedHandCursor);
            }
            // While a row is dragged the selection stays on it.
            return m_Dragging;
        }
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const int from = m_DragFrom;
            const bool dropped = m_Dragging && mouse->button() == Qt::LeftButton;
            m_DragFrom = -1;
            if (m_Dragging) m_View->viewport()->unsetCursor();
            m_Dragging = false;
            if (!dropped || from >= m_Model->rowCount()) return false;
            // Below the last row is the end of the list.
            int to = m_View->indexAt(mouse->position().toPoint()).row();
            if (to < 0) to = m_Model->rowCount() - 1;
            if (to != from) m_Dialog.OnListDrop(m_Id, from, to);
            return false;
        }
        default: return false;
    }
}

}  // namespace fw
