#include "framework/qt/QtDialogWindow.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QTimer>
#include <QTreeView>
#include <algorithm>

#include "framework/qt/FlagGuard.h"
#include "framework/qt/QtHost.h"
#include "framework/qt/QtListBinding.h"

namespace fw {

namespace {

QRect ToQt(const Rect& r) { return QRect(r.left, r.top, std::max(0, r.Width()), std::max(0, r.Height())); }

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
    m_Client = new QWidget(this);

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
    PlaceBars();

    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { OnFocusChanged(now); });
}

QWidget* QtDialogWindow::MakeWidget(Control& control) {
    const int id = control.id;
    const QString text = QString::fromStdString(control.text);
    switch (control.kind) {
        case ControlKind::PushButton:
        case ControlKind::DefPushButton: {
            auto* button = new QPushButton(text, m_Client);
            button->setAutoDefault(true);
            button->setDefault(control.kind == ControlKind::DefPushButton);
            connect(button, &QPushButton::clicked, this, [this, id] {
                if (m_Attached) m_Dialog.ClickButton(id);
            });
            return button;
        }
        case ControlKind::CheckBox: {
            QCheckBox* box = (control.style & kCheckTextLeft) ? new LeftTextCheckBox(text, m_Client) : new QCheckBox(text, m_Client);
            connect(box, &QCheckBox::clicked, this, [this, id](bool checked) {
                if (!m_Attached) return;
                if (Control* c = m_Dialog.GetDlgItem(id)) c->checked = checked;
                // A click on a check box is a command of that id, as for any button.
                m_Dialog.OnCommand(id);
            });
            return box;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(text, m_Client);
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
            auto* label = new QLabel(text, m_Client);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
        case ControlKind::Progress: {
            auto* bar = new QProgressBar(m_Client);
            bar->setTextVisible(false);
            return bar;
        }
        case ControlKind::ListView: {
            auto binding = std::make_unique<QtListBinding>(m_Dialog, control, m_Client);
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
    return new QWidget(m_Client);
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
        case ControlKind::Progress: {
            auto* bar = static_cast<QProgressBar*>(widget);
            // A range of 0 shows an empty bar, not Qt's busy one.
            const int range = std::max(control->range, 1);
            if (bar->maximum() != range) bar->setRange(0, range);
            if (bar->value() != control->position) bar->setValue(control->position);
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
    else setMinimumSize(m_Dialog.MinimumClientSize().cx, m_Dialog.MinimumClientSize().cy + m_Dialog.BarsHeight());
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
    const QIcon icon = m_Host.Icon(m_Dialog.IconId());
    if (!icon.isNull()) setWindowIcon(icon);
}

void QtDialogWindow::MenuChanged() {
    if (!m_Attached) return;
    const std::vector<Menu>& menus = m_Dialog.MenuBar();
    size_t items = 0;
    for (const Menu& menu : menus) items += menu.items.size();
    if (m_MenuBar && m_Actions.size() + 0 == items) {
        // Same structure: texts and states in place, so an open menu stays open.
        size_t next = 0;
        for (const Menu& menu : menus) {
            for (const MenuItem& item : menu.items) {
                QAction* action = m_Actions[next++].second;
                if (!action) continue;
                const QString text = QString::fromStdString(item.text);
                if (action->text() != text) action->setText(text);
                if (action->isEnabled() != item.enabled) action->setEnabled(item.enabled);
            }
        }
        return;
    }
    delete m_MenuBar;
    m_MenuBar = nullptr;
    m_Actions.clear();
    if (menus.empty()) return PlaceBars();
    m_MenuBar = new QMenuBar(this);
    for (const Menu& menu : menus) {
        QMenu* drop = m_MenuBar->addMenu(QString::fromStdString(menu.title));
        QtHost::FillMenu(*drop, m_Dialog, menu.items);
        const QList<QAction*> actions = drop->actions();
        for (qsizetype i = 0; i < actions.size(); ++i) {
            const int command = menu.items[static_cast<size_t>(i)].command;
            m_Actions.emplace_back(command, command ? actions[i] : nullptr);
            if (!command) continue;
            // Shortcuts work wherever the focus is in this window.
            actions[i]->setShortcutContext(Qt::WindowShortcut);
            connect(actions[i], &QAction::triggered, this, [this, command] {
                if (m_Attached && !m_Dialog.IsEnded()) m_Dialog.ChooseMenuCommand(command);
            });
        }
        connect(drop, &QMenu::aboutToShow, this, [this] {
            if (m_Attached) m_Dialog.OnInitMenu();
        });
        addAction(drop->menuAction());
        for (QAction* action : actions) addAction(action);
    }
    m_MenuBar->show();
    PlaceBars();
}

void QtDialogWindow::TitleChanged() {
    if (m_Attached) setWindowTitle(QString::fromStdString(m_Dialog.GetWindowText()));
}

void QtDialogWindow::StatusChanged() {
    if (!m_Attached) return;
    if (m_Dialog.HasStatusBar() && !m_StatusLine) {
        m_StatusLine = new QLabel(this);
        m_StatusLine->setObjectName(QStringLiteral("statusLine"));
        m_StatusLine->setTextFormat(Qt::PlainText);
        m_StatusLine->setIndent(6);
        m_StatusLine->setFrameShape(QFrame::StyledPanel);
        m_StatusLine->setFrameShadow(QFrame::Sunken);
        m_StatusLine->show();
        PlaceBars();
    }
    if (!m_StatusLine) return;
    // The bar is one line high, as status bars are: a text of several lines
    // (a scan's summary) shows its first, and whole in the tooltip.
    const QString text = QString::fromStdString(m_Dialog.StatusText());
    const qsizetype newline = text.indexOf(QLatin1Char('\n'));
    m_StatusLine->setText(newline < 0 ? text : text.left(newline) + QStringLiteral(" …"));
    m_StatusLine->setToolTip(newline < 0 ? QString() : text);
}

void QtDialogWindow::PlaceBars() {
    const int top = m_MenuBar ? m_Host.MenuBarHeight() : 0;
    const int bottom = m_StatusLine ? m_Host.StatusBarHeight() : 0;
    if (m_MenuBar) m_MenuBar->setGeometry(0, 0, width(), top);
    if (m_StatusLine) m_StatusLine->setGeometry(0, height() - bottom, width(), bottom);
    m_Client->setGeometry(0, top, width(), std::max(0, height() - top - bottom));
}

void QtDialogWindow::reject() {
    // Escape and the close box are the dialog's Cancel; the dialog decides
    // whether the window ends (through EndDialog).
    if (!m_Attached || m_Dialog.IsEnded()) return;
    m_Dialog.OnCancel();
}

void QtDialogWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    PlaceBars();
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
    // Until the window manager has framed the window, Qt reports no frame
    // at all. Taken for the truth, that reading would put the outer edges on
    // the client's and the next opening one frame further out; a known frame
    // stays until a real one is read.
    const bool unframed = real.left == 0 && real.top == 0 && real.right == 0 && real.bottom == 0;
    if (unframed && m_Host.FrameKnown(m_Dialog.Template())) return;
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
