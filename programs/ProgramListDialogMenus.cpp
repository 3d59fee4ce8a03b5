// The program list window's menu bar, context menu, keys, title and status
// line: every command of the buttons and of the context menu, as a desktop
// program offers them.
#include <string>
#include <vector>

#include "framework/Menu.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"

namespace {

fw::MenuItem Item(int command, const char* text, std::vector<std::string> shortcuts = {}) {
    return fw::MenuItem{command, text, std::move(shortcuts), true};
}

const fw::MenuItem kSeparator{};

}  // namespace

void ProgramListDialog::BuildMenus() {
    SetMenuBar({
        {"&File",
         {Item(res::IDC_LOAD, "&Load", {"Ctrl+O"}), Item(res::IDC_SAVE, "&Save", {"Ctrl+S"}), kSeparator,
          Item(res::IDM_IMPORT, "&Import\u2026"), Item(res::IDM_IMPORT_UPDATE, "Import and &Update\u2026"),
          Item(res::IDM_EXPORT, "&Export\u2026"), kSeparator, Item(res::IDM_RESTORE, "&Restore\u2026"), kSeparator,
          Item(fw::IDCANCEL, "&Close", {"Ctrl+Q", "Ctrl+W"})}},
        {"&Edit",
         {Item(res::IDM_UNDO, "&Undo", {"Ctrl+Z"}), Item(res::IDM_REDO, "&Redo", {"Ctrl+Y", "Ctrl+Shift+Z"}), kSeparator,
          Item(res::IDC_ADD, "&Add", {"Ins"}), Item(res::IDM_DETAILS, "&Details\u2026", {"F2", "Ctrl+E"}),
          Item(res::IDC_DELETE, "De&lete", {"Del"}), Item(res::IDM_REMOVE_DUPLICATES, "Remove D&uplicates"),
          Item(res::IDM_REMOVE_BY_KIND, "Re&move\u2026"), kSeparator,
          Item(res::IDM_FIND, "&Find\u2026", {"Ctrl+F"}), Item(res::IDM_FIND_NEXT, "Find &Next", {"F3"}),
          Item(res::IDM_FIND_PREVIOUS, "Find &Previous", {"Shift+F3"})}},
        {"&Programs",
         {Item(res::IDC_MOVE_UP, "Move &Up", {"Ctrl+Up"}), Item(res::IDC_MOVE_DOWN, "Move &Down", {"Ctrl+Down"}),
          Item(res::IDM_MOVE_TO_TOP, "Move to &Top"), Item(res::IDM_MOVE_TO_BOTTOM, "Move to &Bottom"),
          Item(res::IDM_MOVE_TO_POSITION, "Move to &Position\u2026"), kSeparator,
          Item(res::IDM_ORDER_BY_CHANNEL, "&Order by Channel Number"), Item(res::IDM_ORDER_LIKE, "Order &Like\u2026"),
          kSeparator,
          Item(res::IDC_SEARCH, "&Search the Network"), Item(res::IDM_SCAN_TRANSPORT, "Scan &Transport\u2026"),
          Item(res::IDM_LAST_SCAN, "&Last Scan\u2026")}},
        {"&Help", {Item(res::IDM_ABOUT, "&About Kelvane")}},
    });
    ShowStatusBar();
    UpdateCommands();
    // The about line sits centred between the Move and the Save/Load
    // buttons: no narrower than that, and tall enough for a few rows.
    const fw::Rect about = GetControlRect(res::IDC_ABOUT);
    const fw::Rect moveUp = GetControlRect(res::IDC_MOVE_UP);
    const int gap = moveUp.left - GetControlRect(res::IDC_ADD).right;
    const int side = moveUp.right + 2 * gap;
    SetMinimumClientSize(fw::Size{2 * side + about.Width(), GetClientRect().Height() / 2});
}

void ProgramListDialog::OnInitMenu() { UpdateCommands(); }

void ProgramListDialog::SetChanged(bool changed) {
    m_Changed = changed;
    UpdateCommands();
}

void ProgramListDialog::UpdateCommands() {
    // A window with unsaved changes says so in its title, as editors do.
    SetWindowText((m_Changed ? "*" : "") + Template().caption);
    SetMenuItemText(res::IDM_UNDO, m_History.CanUndo() ? "&Undo " + m_History.UndoName() : "&Undo");
    SetMenuItemText(res::IDM_REDO, m_History.CanRedo() ? "&Redo " + m_History.RedoName() : "&Redo");
    EnableMenuItem(res::IDM_UNDO, m_History.CanUndo());
    EnableMenuItem(res::IDM_REDO, m_History.CanRedo());
}

bool ProgramListDialog::RunMenuCommand(int id) {
    switch (id) {
        case res::IDM_DETAILS: OnEditProgram(); break;
        case res::IDM_EXPORT: OnExport(); break;
        case res::IDM_IMPORT: OnImport(); break;
        case res::IDM_IMPORT_UPDATE: OnImport(true); break;
        case res::IDM_ORDER_LIKE: OnOrderLike(); break;
        case res::IDM_RESTORE: OnRestore(); break;
        case res::IDM_ORDER_BY_CHANNEL: SortByChannelNumber(); break;
        case res::IDM_MOVE_TO_TOP: OnMoveToTop(); break;
        case res::IDM_MOVE_TO_BOTTOM: OnMoveToBottom(); break;
        case res::IDM_MOVE_TO_POSITION: OnMoveToPosition(); break;
        case res::IDM_FIND: OnFind(); break;
        case res::IDM_FIND_NEXT: FindNext(+1); break;
        case res::IDM_FIND_PREVIOUS: FindNext(-1); break;
        case res::IDM_REMOVE_DUPLICATES: OnRemoveDuplicates(); break;
        case res::IDM_REMOVE_BY_KIND: OnRemoveByKind(); break;
        case res::IDM_UNDO: OnUndo(); break;
        case res::IDM_REDO: OnRedo(); break;
        case res::IDM_ABOUT: OnAbout(); break;
        case res::IDM_LAST_SCAN: OnLastScan(); break;
        case res::IDM_SCAN_TRANSPORT: OnScanTransport(); break;
        default: return false;
    }
    UpdateCommands();
    return true;
}

void ProgramListDialog::OnListContextMenu(int listId) {
    if (listId != res::IDC_PROGRAM_LIST) return;
    UpdateCommands();
    const fw::MenuItem& undo = *FindMenuItem(res::IDM_UNDO);
    const fw::MenuItem& redo = *FindMenuItem(res::IDM_REDO);
    // Texts without the menu bar's access keys: a context menu is chosen by mouse.
    const auto plain = [](const fw::MenuItem& item, std::string text) {
        return fw::MenuItem{item.command, std::move(text), item.shortcuts, item.enabled};
    };
    const std::string undoText = m_History.CanUndo() ? "Undo " + m_History.UndoName() : "Undo";
    const std::string redoText = m_History.CanRedo() ? "Redo " + m_History.RedoName() : "Redo";
    const int chosen = GetHost().PopupMenu(
        *this, {Item(res::IDM_EXPORT, "Export\u2026"), Item(res::IDM_IMPORT, "Import\u2026"), kSeparator,
                Item(res::IDM_ORDER_BY_CHANNEL, "Order by Channel Number"), Item(res::IDM_ORDER_LIKE, "Order Like\u2026"),
                kSeparator,
                Item(res::IDM_MOVE_TO_TOP, "Move to Top"), Item(res::IDM_MOVE_TO_BOTTOM, "Move to Bottom"),
                Item(res::IDM_MOVE_TO_POSITION, "Move to Position\u2026"), kSeparator,
                Item(res::IDM_FIND, "Find\u2026", {"Ctrl+F"}), Item(res::IDM_REMOVE_DUPLICATES, "Remove Duplicates"),
                Item(res::IDM_REMOVE_BY_KIND, "Remove\u2026"), kSeparator, plain(undo, undoText), plain(redo, redoText),
                kSeparator, Item(res::IDM_SCAN_TRANSPORT, "Scan Transport\u2026")});
    if (chosen != 0) RunMenuCommand(chosen);
}

void ProgramListDialog::OnAbout() {
    MessageBox(std::string("Kelvane ") + KELVANE_VERSION +
               "\nEdits the program list of a DVB-C receiver card and fills it by scanning the cable network.\n\n"
               "Licence: GPL-2.0-or-later");
}

void ProgramListDialog::OnSaveCommand() {
    if (OnSave()) SetStatusText(ProgramsText(ProgramList().GetItemCount()) + " saved");
    UpdateCommands();
}

void ProgramListDialog::OnLoadCommand() {
    if (OnLoad()) SetStatusText(ProgramsText(ProgramList().GetItemCount()) + " loaded");
    UpdateCommands();
}

std::string ProgramListDialog::ProgramsText(int count) {
    return std::to_string(count) + (count == 1 ? " program" : " programs");
}
