#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/DialogTemplate.h"
#include "framework/Geometry.h"
#include "framework/Host.h"
#include "framework/ListView.h"
#include "framework/Menu.h"

namespace fw {

class Host;
class Profile;

struct Control {
    int id = 0;
    ControlKind kind = ControlKind::Static;
    std::string text;
    bool checked = false;
    Rect rect;  // client coordinates, pixels
    unsigned style = kStyleNone;
    std::unique_ptr<ListView> list;  // list-view controls only
    int position = 0, range = 0;     // progress bars only: position of 0..range
};

// A key the user pressed in a list, as the hosts report it: a few keys by
// name, Ctrl with a letter, or the text typed without Ctrl. ContextMenu is
// the menu key or Shift+F10.
enum class Key { Other, Text, CtrlLetter, Delete, Up, Down, F3, ContextMenu };
struct KeyPress {
    Key key = Key::Other;
    bool ctrl = false;
    bool shift = false;
    char letter = 0;   // CtrlLetter: the letter, upper case
    std::string text;  // Text: what was typed, UTF-8
};

// What a host attaches to a live dialog to mirror changes the program makes.
class DialogView {
public:
    virtual ~DialogView() = default;
    virtual void ControlChanged(int id) { (void)id; }  // text, check or rectangle
    virtual void WindowMoved() {}
    virtual void FocusChanged(int id) { (void)id; }
    virtual void Invalidated() {}
    virtual void IconChanged() {}
    // Menu bar, window title or status line.
    virtual void MenuChanged() {}
    virtual void TitleChanged() {}
    virtual void StatusChanged() {}
};

// One window built from a dialog template, in the manner of a dialog
// framework: controls by id, overridable handlers, modal run with a result.
// The window's state lives here, so our window logic runs without a toolkit.
class Dialog {
public:
    Dialog(Host& host, int templateId);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    int DoModal();
    void EndDialog(int result);
    bool IsEnded() const { return m_Ended; }
    int Result() const { return m_Result; }

    // Handlers. Hosts call them; derived dialogs override them.
    virtual bool OnInitDialog() { return true; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    virtual void OnCommand(int id) { (void)id; }
    virtual void OnSize(int cx, int cy) { (void)cx, (void)cy; }
    virtual void OnTimer(unsigned id) { (void)id; }
    virtual void OnListDoubleClick(int listId) { (void)listId; }
    virtual void OnColumnClick(int listId, int column) { (void)listId, (void)column; }
    // The user asked for a list's context menu (right button, menu key).
    virtual void OnListContextMenu(int listId) { (void)listId; }
    // A key pressed while a list has the focus; true when the dialog took it,
    // false leaves it to the list (cursor keys, paging).
    virtual bool OnListKey(int listId, const KeyPress& key) { return (void)listId, (void)key, false; }
    // The user dragged row `from` of a list and dropped it on row `to`.
    virtual void OnListDrop(int listId, int from, int to) { (void)listId, (void)from, (void)to; }
    // Before a menu opens or a shortcut is looked up: the dialog brings its
    // items' texts and states up to date.
    virtual void OnInitMenu() {}
    // The window's end; overrides do their work and then call this.
    virtual void DestroyWindow();

    // User actions, as hosts and tests deliver them.
    void ClickButton(int id);
    bool PressListKey(int listId, const KeyPress& key) { return OnListKey(listId, key); }
    void DragListRow(int listId, int from, int to) { OnListDrop(listId, from, to); }
    // The user chose a menu item or pressed its shortcut: its command runs,
    // unless the item is disabled or unknown (false). IDCANCEL is Cancel.
    bool ChooseMenuCommand(int command);
    bool PressShortcut(const std::string& keys);
    // The user dragged the frame: new outer rectangle, then OnSize.
    void UserMoveWindow(const Rect& windowRect);

    // Window life, for hosts: builds the controls from the template, with the
    // window at `windowRect` (screen); no handler runs.
    void Create(const Rect& windowRect);
    bool IsCreated() const { return m_Created; }
    bool IsDestroyed() const { return m_Destroyed; }
    // The outer size the template asks for, in pixels.
    Size TemplateWindowSize() const;

    // Controls.
    Control* GetDlgItem(int id);
    const Control* GetDlgItem(int id) const;
    std::vector<Control>& Controls() { return m_Controls; }
    ListView& List(int id);
    std::string GetDlgItemText(int id) const;
    void SetDlgItemText(int id, const std::string& text);
    bool IsDlgButtonChecked(int id) const;
    void CheckDlgButton(int id, bool checked);
    // A progress bar at `position` of 0 to `range` (a range of 0 shows none).
    void SetProgress(int id, int position, int range);
    void GotoDlgCtrl(int id);
    int GetFocusId() const { return m_FocusId; }
    // Control rectangle in client coordinates.
    Rect GetControlRect(int id) const;
    // Width of a control's client area: its rectangle less a border's edges.
    int GetControlClientWidth(int id) const;
    void MoveControl(int id, const Rect& rect);

    // Window geometry (screen coordinates for the window, client for the rest).
    Rect GetWindowRect() const { return m_WindowRect; }
    Rect GetClientRect() const;
    // Moves and sizes the window; a changed client size calls OnSize.
    void MoveWindow(const Rect& windowRect);
    void Invalidate();
    int InvalidateCount() const { return m_InvalidateCount; }
    void SetIcon(int iconId);
    // The window's title; the template's caption until set.
    const std::string& GetWindowText() const { return m_Title; }
    void SetWindowText(const std::string& title);

    // A menu bar above the client area and a status line below it. Neither
    // takes room from the client area: the window grows by their height
    // when they appear, so the template's controls keep their places.
    void SetMenuBar(std::vector<Menu> menus);
    const std::vector<Menu>& MenuBar() const { return m_Menus; }
    MenuItem* FindMenuItem(int command);
    void EnableMenuItem(int command, bool enabled);
    void SetMenuItemText(int command, const std::string& text);
    void ShowStatusBar();
    bool HasStatusBar() const { return m_StatusBar; }
    const std::string& StatusText() const { return m_Status; }
    void SetStatusText(const std::string& text);
    // The least client size the user may drag a resizable window to.
    void SetMinimumClientSize(Size size) { m_MinimumClient = size; }
    Size MinimumClientSize() const { return m_MinimumClient; }
    // Pixels of the outer rectangle that the menu bar and status line take.
    int BarsHeight() const;
    int IconId() const { return m_IconId; }

    unsigned SetTimer(unsigned id, unsigned periodMs);
    bool KillTimer(unsigned id);
    void MessageBox(const std::string& text);
    Answer Ask(const std::string& text, QuestionButtons buttons);

    const DialogTemplate& Template() const { return m_Template; }
    Host& GetHost() const { return m_Host; }
    Profile& GetProfile() const;
    int VerticalScrollBarWidth() const;
    void SetView(DialogView* view) { m_View = view; }
    DialogView* View() const { return m_View; }

private:
    Rect DluToPixels(int x, int y, int cx, int cy) const;

    Host& m_Host;
    const DialogTemplate& m_Template;
    std::vector<Control> m_Controls;
    Rect m_WindowRect;
    int m_FocusId = 0;
    int m_IconId = 0;
    int m_InvalidateCount = 0;
    bool m_Created = false;
    bool m_Destroyed = false;
    bool m_Ended = false;
    int m_Result = 0;
    std::vector<unsigned> m_Timers;
    DialogView* m_View = nullptr;
    std::string m_Title;
    std::vector<Menu> m_Menus;
    bool m_StatusBar = false;
    Size m_MinimumClient{};
    std::string m_Status;
};

}  // namespace fw
