#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QPoint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "framework/Dialog.h"

class QTreeView;
class QMenuBar;
class QLabel;
class QAction;

namespace fw {

class QtHost;
class QtListModel;
class QtListBinding;

// A check box with its text on the left and the box at the right edge, as a
// left-text check box of the dialog templates draws it; the whole rectangle
// is clickable.
class LeftTextCheckBox final : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};

// The window of one dialog: one widget per template control, kept equal to
// the dialog's controls in both directions (the program's changes arrive as
// DialogView calls, the user's are written into the controls).
class QtDialogWindow final : public QDialog, public DialogView {
    Q_OBJECT
public:
    QtDialogWindow(QtHost& host, Dialog& dialog, QWidget* parent);
    ~QtDialogWindow() override;

    // The window decorations a template asks for.
    static Qt::WindowFlags FlagsFor(const DialogTemplate& dialogTemplate);

    Dialog& Owner() const { return m_Dialog; }
    QWidget* Widget(int controlId) const;
    QTreeView* ListWidget(int controlId) const;
    // Places the window where the dialog's window rectangle says.
    void ApplyWindowRect();
    // Focus to the control the dialog names.
    void ApplyFocus();
    // Where the user last asked for a context menu (screen), once.
    std::optional<QPoint> TakeMenuPosition() { return std::exchange(m_MenuPosition, std::nullopt); }
    // Stops mirroring; the dialog's controls may go away after this.
    void Detach();

    // DialogView
    void ControlChanged(int id) override;
    void WindowMoved() override;
    void FocusChanged(int id) override;
    void Invalidated() override;
    void IconChanged() override;
    void MenuChanged() override;
    void TitleChanged() override;
    void StatusChanged() override;

public slots:
    void reject() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void Build();
    QWidget* MakeWidget(Control& control);
    void SyncFromWidget();
    void OnFocusChanged(QWidget* now);
    // The client area, the menu bar above it and the status line below.
    void PlaceBars();

    QtHost& m_Host;
    Dialog& m_Dialog;
    QWidget* m_Client = nullptr;  // the controls' parent
    QMenuBar* m_MenuBar = nullptr;
    QLabel* m_StatusLine = nullptr;
    std::vector<std::pair<int, QAction*>> m_Actions;  // by command
    std::vector<QWidget*> m_Widgets;  // by control index, template order
    std::vector<std::unique_ptr<QtListBinding>> m_Lists;
    std::optional<QPoint> m_MenuPosition;
    bool m_Applying = false;
    bool m_Attached = true;
};

}  // namespace fw
