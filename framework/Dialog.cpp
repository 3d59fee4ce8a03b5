#include "framework/Dialog.h"

#include <algorithm>
#include <cstdlib>

#include "framework/Host.h"

namespace fw {

namespace {
// The rounding the dialog framework uses to turn dialog units into pixels.
int MulDiv(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}
}  // namespace

Dialog::Dialog(Host& host, int templateId) : m_Host(host), m_Template(host.GetDialogTemplate(templateId)) {}

Dialog::~Dialog() {
    for (unsigned id : m_Timers) m_Host.StopTimer(*this, id);
}

int Dialog::DoModal() {
    m_Ended = false;
    return m_Host.RunModal(*this);
}

void Dialog::EndDialog(int result) {
    if (m_Ended) return;
    m_Ended = true;
    m_Result = result;
    m_Host.EndModal(*this, result);
}

void Dialog::DestroyWindow() {
    for (unsigned id : m_Timers) m_Host.StopTimer(*this, id);
    m_Timers.clear();
    m_Destroyed = true;
}

void Dialog::ClickButton(int id) {
    if (id == IDOK) OnOK();
    else if (id == IDCANCEL) OnCancel();
    else OnCommand(id);
}

void Dialog::SetProgress(int id, int position, int range) {
    Control* control = GetDlgItem(id);
    if (!control) return;
    range = std::max(range, 0);
    position = std::clamp(position, 0, range);
    if (control->position == position && control->range == range) return;
    control->position = position;
    control->range = range;
    if (m_View) m_View->ControlChanged(id);
}

void Dialog::UserMoveWindow(const Rect& windowRect) { MoveWindow(windowRect); }

Rect Dialog::DluToPixels(int x, int y, int cx, int cy) const {
    const Size base = m_Host.DialogBaseUnits(m_Template);
    const int left = MulDiv(x, base.cx, 4);
    const int top = MulDiv(y, base.cy, 8);
    return Rect{left, top, left + MulDiv(cx, base.cx, 4), top + MulDiv(cy, base.cy, 8)};
}

Size Dialog::TemplateWindowSize() const {
    const Rect client = DluToPixels(0, 0, m_Template.cx, m_Template.cy);
    const FrameMetrics frame = m_Host.Frame(m_Template);
    return Size{client.Width() + frame.left + frame.right,
                client.Height() + frame.top + frame.bottom + BarsHeight()};
}

void Dialog::Create(const Rect& windowRect) {
    m_Controls.clear();
    for (const auto& t : m_Template.controls) {
        Control c;
        c.id = t.id;
        c.kind = t.kind;
        c.text = t.text;
        c.style = t.style;
        c.rect = DluToPixels(t.x, t.y, t.cx, t.cy);
        if (t.kind == ControlKind::ListView) {
            c.list = std::make_unique<ListView>();
            c.list->SetSortAscending((t.style & kListSortAscending) != 0);
            c.list->SetSingleSelection((t.style & kListSingleSel) != 0);
        }
        m_Controls.push_back(std::move(c));
    }
    m_WindowRect = windowRect;
    m_Title = m_Template.caption;
    m_Created = true;
    m_Destroyed = false;
    m_Ended = false;
    // The first tab stop takes the focus.
    m_FocusId = 0;
    for (const auto& c : m_Controls) {
        if (c.kind != ControlKind::Static) {
            m_FocusId = c.id;
            break;
        }
    }
}

Control* Dialog::GetDlgItem(int id) {
    for (auto& c : m_Controls) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

const Control* Dialog::GetDlgItem(int id) const {
    for (const auto& c : m_Controls) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

ListView& Dialog::List(int id) {
    Control* c = GetDlgItem(id);
    if (!c || !c->list) std::abort();  // a list id that the template lacks is a programming error
    return *c->list;
}

std::string Dialog::GetDlgItemText(int id) const {
    const Control* c = GetDlgItem(id);
    return c ? c->text : std::string();
}

void Dialog::SetDlgItemText(int id, const std::string& text) {
    if (Control* c = GetDlgItem(id)) {
        c->text = text;
        if (m_View) m_View->ControlChanged(id);
    }
}

bool Dialog::IsDlgButtonChecked(int id) const {
    const Control* c = GetDlgItem(id);
    return c && c->checked;
}

void Dialog::CheckDlgButton(int id, bool checked) {
    if (Control* c = GetDlgItem(id)) {
        c->checked = checked;
        if (m_View) m_View->ControlChanged(id);
    }
}

void Dialog::GotoDlgCtrl(int id) {
    if (!GetDlgItem(id)) return;
    m_FocusId = id;
    if (m_View) m_View->FocusChanged(id);
}

Rect Dialog::GetControlRect(int id) const {
    const Control* c = GetDlgItem(id);
    return c ? c->rect : Rect{};
}

int Dialog::GetControlClientWidth(int id) const {
    // A bordered control loses two pixels on each side to its edge.
    constexpr int kEdge = 2;
    const Control* c = GetDlgItem(id);
    if (!c) return 0;
    return c->rect.Width() - ((c->style & kBorder) != 0 ? 2 * kEdge : 0);
}

void Dialog::MoveControl(int id, const Rect& rect) {
    if (Control* c = GetDlgItem(id)) {
        c->rect = rect;
        if (m_View) m_View->ControlChanged(id);
    }
}

Rect Dialog::GetClientRect() const {
    const FrameMetrics frame = m_Host.Frame(m_Template);
    const int cx = std::max(0, m_WindowRect.Width() - frame.left - frame.right);
    const int cy = std::max(0, m_WindowRect.Height() - frame.top - frame.bottom - BarsHeight());
    return Rect{0, 0, cx, cy};
}

void Dialog::MoveWindow(const Rect& windowRect) {
    const Rect before = GetClientRect();
    m_WindowRect = windowRect;
    if (m_View) m_View->WindowMoved();
    const Rect after = GetClientRect();
    if (before.Width() != after.Width() || before.Height() != after.Height()) OnSize(after.Width(), after.Height());
}

void Dialog::Invalidate() {
    ++m_InvalidateCount;
    if (m_View) m_View->Invalidated();
}

void Dialog::SetIcon(int iconId) {
    m_IconId = iconId;
    if (m_View) m_View->IconChanged();
}

std::string MenuItemLabel(const MenuItem& item) {
    if (item.command == 0) return "-";
    return item.shortcuts.empty() ? item.text : item.text + "\t" + item.shortcuts.front();
}

bool Dialog::ChooseMenuCommand(int command) {
    OnInitMenu();
    const MenuItem* item = FindMenuItem(command);
    if (!item || !item->enabled || command == 0) return false;
    ClickButton(command);
    return true;
}

bool Dialog::PressShortcut(const std::string& keys) {
    OnInitMenu();
    for (const Menu& menu : m_Menus) {
        for (const MenuItem& item : menu.items) {
            for (const std::string& shortcut : item.shortcuts) {
                if (shortcut == keys) return ChooseMenuCommand(item.command);
            }
        }
    }
    return false;
}

void Dialog::SetWindowText(const std::string& title) {
    if (m_Title == title) return;
    m_Title = title;
    if (m_View) m_View->TitleChanged();
}

int Dialog::BarsHeight() const {
    return (m_Menus.empty() ? 0 : m_Host.MenuBarHeight()) + (m_StatusBar ? m_Host.StatusBarHeight() : 0);
}

void Dialog::SetMenuBar(std::vector<Menu> menus) {
    const int before = BarsHeight();
    m_Menus = std::move(menus);
    m_WindowRect.bottom += BarsHeight() - before;
    if (m_View) {
        m_View->MenuChanged();
        m_View->WindowMoved();
    }
}

MenuItem* Dialog::FindMenuItem(int command) {
    for (Menu& menu : m_Menus) {
        for (MenuItem& item : menu.items) {
            if (item.command == command && command != 0) return &item;
        }
    }
    return nullptr;
}

void Dialog::EnableMenuItem(int command, bool enabled) {
    MenuItem* item = FindMenuItem(command);
    if (!item || item->enabled == enabled) return;
    item->enabled = enabled;
    if (m_View) m_View->MenuChanged();
}

void Dialog::SetMenuItemText(int command, const std::string& text) {
    MenuItem* item = FindMenuItem(command);
    if (!item || item->text == text) return;
    item->text = text;
    if (m_View) m_View->MenuChanged();
}

void Dialog::ShowStatusBar() {
    if (m_StatusBar) return;
    const int before = BarsHeight();
    m_StatusBar = true;
    m_WindowRect.bottom += BarsHeight() - before;
    if (m_View) {
        m_View->StatusChanged();
        m_View->WindowMoved();
    }
}

void Dialog::SetStatusText(const std::string& text) {
    if (m_Status == text) return;
    m_Status = text;
    if (m_View) m_View->StatusChanged();
}

unsigned Dialog::SetTimer(unsigned id, unsigned periodMs) {
    if (id == 0 || !m_Host.StartTimer(*this, id, periodMs)) return 0;
    if (std::find(m_Timers.begin(), m_Timers.end(), id) == m_Timers.end()) m_Timers.push_back(id);
    return id;
}

bool Dialog::KillTimer(unsigned id) {
    auto it = std::find(m_Timers.begin(), m_Timers.end(), id);
    if (it == m_Timers.end()) return false;
    m_Timers.erase(it);
    return m_Host.StopTimer(*this, id);
}

void Dialog::MessageBox(const std::string& text) { m_Host.ShowMessage(this, text); }

Answer Dialog::Ask(const std::string& text, QuestionButtons buttons) { return m_Host.Ask(this, text, buttons); }

Profile& Dialog::GetProfile() const { return m_Host.GetProfile(); }

int Dialog::VerticalScrollBarWidth() const { return m_Host.VerticalScrollBarWidth(); }

}  // namespace fw
