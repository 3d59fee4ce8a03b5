#include "framework/qt/QtDialogWindow.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QTimer>
#include <QTreeView>
#include <algorithm>

#include "framework/qt/QtHost.h"
#include "framework/qt/QtListModel.h"

namespace fw {

namespace {

QRect ToQt(const Rect& r) { return QRect(r.left, r.top, std::max(0, r.Width()), std::max(0, r.Height())); }

// Sets a flag for the lifetime of a scope, so that what a mirror does to a
// widget is not taken for the user's doing.
class FlagGuard {
public:
    explicit FlagGuard(bool& flag) : m_Flag(flag), m_Old(flag) { m_Flag = true; }
    ~FlagGuard() { m_Flag = m_Old; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    bool& m_Flag;
    bool m_Old;
};

}  // namespace

void LeftTextCheckBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const int boxWidth = style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, this);
    const int boxHeight = style()->pixelMetric(QStyle::PM_IndicatorHeight, &option, this);
    const int spacing = style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, this);

    QStyleOptionButton box = option;
    box.rect = QRect(width() - boxWidth, (height() - boxHeight) / 2, boxWidth, boxHeight);
    painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, box);

    const QRect textRect(0, 0, std::max(0, width() - boxWidth - spacing), height());
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic;
    painter.drawItemText(textRect, flags, option.palette, isEnabled(), text(), QPalette::WindowText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = painter.fontMetrics().boundingRect(textRect, flags, text()).adjusted(-1, 0, 1, 0) & rect();
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

bool LeftTextCheckBox::hitButton(const QPoint& pos) const { return rect().contains(pos); }

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
    bool Mirroring() const { return m_Syncing || m_Model->Changing(); }

    Dialog& m_Dialog;
    int m_Id;
    ListView& m_List;
    QTreeView* m_View;
    QtListModel* m_Model;
    QTimer* m_ScrollTimer;
    int m_ScrollRow = -1;
    bool m_Syncing = false;
    std::vector<QMetaObject::Connection> m_Connections;
};

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

void QtListBinding::Detach() {
    for (auto& c : m_Connections) QObject::disconnect(c);
    m_Connections.clear();
    m_ScrollTimer->stop();
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

QtDialogWindow::QtDialogWindow(QtHost& host, Dialog& dialog, QWidget* parent)
    : QDialog(parent), m_Host(host), m_Dialog(dialog) {
    Build();
}

QtDialogWindow::~QtDialogWindow() { Detach(); }

void QtDialogWindow::Detach() {
    if (!m_Attached) return;
    m_Attached = false;
    for (auto& list : m_Lists) list->Detach();
    if (m_Dialog.View() == this) m_Dialog.SetView(nullptr);
}

Qt::WindowFlags QtDialogWindow::FlagsFor(const DialogTemplate& dialogTemplate) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::WindowCloseButtonHint;
    if (dialogTemplate.minimizeBox) flags |= Qt::WindowMinimizeButtonHint;
    if (dialogTemplate.maximizeBox) flags |= Qt::WindowMaximizeButtonHint;
    return flags;
}

void QtDialogWindow::Build() {
    const DialogTemplate& t = m_Dialog.Template();
    setWindowTitle(QString::fromStdString(t.caption));
    setFont(m_Host.DialogFont(t));
    setWindowFlags(FlagsFor(t));
    setSizeGripEnabled(false);

    QWidget* previousTabStop = nullptr;
    for (Control& control : m_Dialog.Controls()) {
        QWidget* widget = MakeWidget(control);
        widget->setObjectName(QStringLiteral("control%1").arg(control.id));
        if (control.kind != ControlKind::Static) {
            // Template order is tab order; controls without a tab stop take
            // the focus only when clicked.
            if (control.style & kTabStop) {
                widget->setFocusPolicy(Qt::StrongFocus);
                if (previousTabStop) QWidget::setTabOrder(previousTabStop, widget);
                previousTabStop = widget;
            } else {
                widget->setFocusPolicy(Qt::ClickFocus);
            }
        }
        m_Widgets.push_back(widget);
    }
    for (const Control& control : m_Dialog.Controls()) ControlChanged(control.id);
    // Controls sharing an id (the labels) are reached by index.
    for (size_t i = 0; i < m_Widgets.size(); ++i) m_Widgets[i]->setGeometry(ToQt(m_Dialog.Controls()[i].rect));
    if (m_Dialog.IconId() != 0) IconChanged();

    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { OnFocusChanged(now); });
}

QWidget* QtDialogWindow::MakeWidget(Control& control) {
    const int id = control.id;
    const QString text = QString::fromStdString(control.text);
    switch (control.kind) {
        case ControlKind::PushButton:
        case ControlKind::DefPushButton: {
            auto* button = new QPushButton(text, this);
            button->setAutoDefault(true);
            button->setDefault(control.kind == ControlKind::DefPushButton);
            connect(button, &QPushButton::clicked, this, [this, id] {
                if (m_Attached) m_Dialog.ClickButton(id);
            });
            return button;
        }
        case ControlKind::CheckBox: {
            QCheckBox* box = (control.style & kCheckTextLeft) ? new LeftTextCheckBox(text, this) : new QCheckBox(text, this);
            connect(box, &QCheckBox::clicked, this, [this, id](bool checked) {
                if (!m_Attached) return;
                if (Control* c = m_Dialog.GetDlgItem(id)) c->checked = checked;
                // A click on a check box is a command of that id, as for any button.
                m_Dialog.OnCommand(id);
            });
            return box;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(text, this);
            edit->setReadOnly(control.style & kEditReadOnly);
            if (control.style & kEditCentered) edit->setAlignment(Qt::AlignCenter);
            if (control.style & kEditNoBorder) {
                edit->setFrame(false);
                // A borderless read-only line reads as text on the dialog.
                QPalette palette = edit->palette();
                palette.setColor(QPalette::Base, palette.color(QPalette::Window));
                edit->setPalette(palette);
            }
            connect(edit, &QLineEdit::textEdited, this, [this, id](const QString& value) {
                if (!m_Attached) return;
                if (Control* c = m_Dialog.GetDlgItem(id)) c->text = value.toStdString();
            });
            return edit;
        }
        case ControlKind::Static: {
            auto* label = new QLabel(text, this);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
        case ControlKind::ListView: {
            auto binding = std::make_unique<QtListBinding>(m_Dialog, control, this);
            QTreeView* view = binding->View();
            view->setContextMenuPolicy(Qt::CustomContextMenu);
            connect(view, &QWidget::customContextMenuRequested, this, [this, id, view](const QPoint& pos) {
                if (!m_Attached) return;
                m_MenuPosition = view->viewport()->mapToGlobal(pos);
                m_Dialog.OnListContextMenu(id);
            });
            m_Lists.push_back(std::move(binding));
            return view;
        }
    }
    return new QWidget(this);
}

QWidget* QtDialogWindow::Widget(int controlId) const {
    const Control* control = m_Dialog.GetDlgItem(controlId);
    if (!control) return nullptr;
    const auto index = static_cast<size_t>(control - m_Dialog.Controls().data());
    return index < m_Widgets.size() ? m_Widgets[index] : nullptr;
}

QTreeView* QtDialogWindow::ListWidget(int controlId) const {
    for (const auto& list : m_Lists) {
        if (list->Id() == controlId) return list->View();
    }
    return nullptr;
}

void QtDialogWindow::ControlChanged(int id) {
    if (!m_Attached) return;
    const Control* control = m_Dialog.GetDlgItem(id);
    QWidget* widget = Widget(id);
    if (!control || !widget) return;
    const QRect rect = ToQt(control->rect);
    if (widget->geometry() != rect) widget->setGeometry(rect);
    const QString text = QString::fromStdString(control->text);
    switch (control->kind) {
        case ControlKind::PushButton:
        case ControlKind::DefPushButton: {
            auto* button = static_cast<QPushButton*>(widget);
            if (button->text() != text) button->setText(text);
            break;
        }
        case ControlKind::CheckBox: {
            auto* box = static_cast<QCheckBox*>(widget);
            if (box->text() != text) box->setText(text);
            if (box->isChecked() != control->checked) box->setChecked(control->checked);
            break;
        }
        case ControlKind::Edit: {
            auto* edit = static_cast<QLineEdit*>(widget);
            if (edit->text() != text) {
                edit->setText(text);
                // A text set by the program shows from its start, as a name
                // longer than its box does in the edit control.
                edit->setCursorPosition(0);
            }
            break;
        }
        case ControlKind::Static: {
            auto* label = static_cast<QLabel*>(widget);
            if (label->text() != text) label->setText(text);
            break;
        }
        case ControlKind::ListView: break;
    }
}

void QtDialogWindow::ApplyWindowRect() {
    if (!m_Attached) return;
    FlagGuard guard(m_Applying);
    const Rect outer = m_Dialog.GetWindowRect();
    const FrameMetrics frame = m_Host.Frame(m_Dialog.Template());
    const QRect client(outer.left + frame.left, outer.top + frame.top,
                       std::max(0, outer.Width() - frame.left - frame.right),
                       std::max(0, outer.Height() - frame.top - frame.bottom));
    if (!m_Dialog.Template().resizable) setFixedSize(client.size());
    if (geometry() != client) setGeometry(client);
}

void QtDialogWindow::WindowMoved() { ApplyWindowRect(); }

void QtDialogWindow::ApplyFocus() {
    if (QWidget* widget = Widget(m_Dialog.GetFocusId())) widget->setFocus(Qt::TabFocusReason);
}

void QtDialogWindow::FocusChanged(int id) {
    if (!m_Attached) return;
    QWidget* widget = Widget(id);
    // A line edit that gets the focus this way has its text selected.
    if (widget && !widget->hasFocus()) widget->setFocus(Qt::TabFocusReason);
}

void QtDialogWindow::OnFocusChanged(QWidget* now) {
    if (!m_Attached || !now) return;
    const auto& controls = m_Dialog.Controls();
    for (size_t i = 0; i < m_Widgets.size() && i < controls.size(); ++i) {
        if (m_Widgets[i] == now || m_Widgets[i]->isAncestorOf(now)) {
            if (controls[i].id != m_Dialog.GetFocusId()) m_Dialog.GotoDlgCtrl(controls[i].id);
            return;
        }
    }
}

void QtDialogWindow::Invalidated() {
    if (m_Attached) update();
}

void QtDialogWindow::IconChanged() {
    if (!m_Attached) return;
    const QIcon icon = QtHost::Icon(m_Dialog.IconId());
    if (!icon.isNull()) setWindowIcon(icon);
}

void QtDialogWindow::reject() {
    // Escape and the close box are the dialog's Cancel; the dialog decides
    // whether the window ends (through EndDialog).
    if (!m_Attached || m_Dialog.IsEnded()) return;
    m_Dialog.OnCancel();
}

void QtDialogWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    SyncFromWidget();
}

void QtDialogWindow::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    SyncFromWidget();
}

void QtDialogWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window manager's frame is known only once it has framed the window;
    // the activation that follows is the first sure sign, the timers are for
    // managers that do not activate it.
    QTimer::singleShot(0, this, [this] { SyncFromWidget(); });
    QTimer::singleShot(300, this, [this] { SyncFromWidget(); });
}

bool QtDialogWindow::event(QEvent* event) {
    const bool handled = QDialog::event(event);
    if (event->type() == QEvent::WindowActivate) SyncFromWidget();
    return handled;
}

void QtDialogWindow::SyncFromWidget() {
    if (m_Applying || !m_Attached || !isVisible() || m_Dialog.IsEnded()) return;
    const QRect client = geometry();
    const QRect outer = frameGeometry();
    const FrameMetrics real{client.left() - outer.left(), client.top() - outer.top(), outer.right() - client.right(),
                            outer.bottom() - client.bottom()};
    const FrameMetrics before = m_Host.Frame(m_Dialog.Template());
    if (m_Host.NoteFrame(m_Dialog.Template(), real)) {
        const Rect window = m_Dialog.GetWindowRect();
        if (!m_Dialog.Template().resizable) {
            // A fixed dialog keeps the client area its template asks for;
            // the outer rectangle takes the frame in.
            const int width = window.Width() - before.left - before.right;
            const int height = window.Height() - before.top - before.bottom;
            const Rect outer{client.left() - real.left, client.top() - real.top,
                             client.left() + width + real.right, client.top() + height + real.bottom};
            m_Dialog.UserMoveWindow(outer);
            ApplyWindowRect();
            return;
        }
        // A resizable window keeps its outer rectangle (it may come from the
        // saved placement, which is an outer one): the client area gives way
        // to the frame, and the program lays its controls out again.
        const int oldWidth = window.Width() - before.left - before.right;
        const int oldHeight = window.Height() - before.top - before.bottom;
        ApplyWindowRect();
        const Rect now = m_Dialog.GetClientRect();
        if (now.Width() != oldWidth || now.Height() != oldHeight) m_Dialog.OnSize(now.Width(), now.Height());
        return;
    }
    const Rect rect{client.left() - real.left, client.top() - real.top, client.left() + client.width() + real.right,
                    client.top() + client.height() + real.bottom};
    if (rect != m_Dialog.GetWindowRect()) m_Dialog.UserMoveWindow(rect);
}

}  // namespace fw
