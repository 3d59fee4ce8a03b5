// The program list window through an operator's re-shuffles: Order Like…,
// Import and Update…, and Restore… of a backup the board database kept.
#include <string>
#include <utility>
#include <vector>

#include "card/ProgramFields.h"
#include "framework/Host.h"
#include "programs/ListReshuffle.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"

namespace {

// "17   2024-05-01 18:03:09   66 programs   kelvane-cli"; a damaged one
// says why it cannot be chosen.
std::string BackupLabel(const DVBBackupInfo& backup) {
    const std::string number = std::to_string(backup.number);
    if (!backup.damaged.empty()) return number + "   damaged: " + backup.damaged + " (" + backup.path + ")";
    return number + "   " + BoardGateway::BackupTime(backup.time) + "   " +
           ProgramListDialog::ProgramsText(static_cast<int>(backup.programs)) + "   " + backup.writer;
}

}  // namespace

void ProgramListDialog::OnOrderLike() {
    std::string path;
    const std::optional<std::vector<TunProgDataTag>> reference = ReadReference(&path);
    if (!reference) return;
    fw::ListView& list = ProgramList();
    std::vector<TunProgDataTag> records;
    for (int row = 0; row < list.GetItemCount(); ++row) records.push_back(RowToRecord(row));
    const programs::ReferenceOrder ordered = programs::OrderLike(records, *reference);
    std::vector<size_t> rank(ordered.order.size());
    for (size_t place = 0; place < ordered.order.size(); ++place) rank[ordered.order[place]] = place;
    fw::ListView::Snapshot before = list.TakeSnapshot();
    // Whole rows move, with all they keep beside their cells.
    list.SortItemsByRow([&rank](int a, int b) {
        const size_t ra = rank[static_cast<size_t>(a)], rb = rank[static_cast<size_t>(b)];
        return ra < rb ? -1 : ra > rb ? 1 : 0;
    });
    ListChanged(std::move(before), "Order Like");
    SetStatusText(std::to_string(ordered.matched) + " of " + ProgramsText(list.GetItemCount()) + " matched " + path +
                  "; the others follow in their order");
}

void ProgramListDialog::ImportUpdating(const std::vector<TunProgDataTag>& imported,
                                       const std::vector<ProgramBeside>& importedBeside, const std::string& done) {
    fw::ListView& list = ProgramList();
    fw::ListView::Snapshot before = list.TakeSnapshot();
    std::vector<TunProgDataTag> records;
    std::vector<ProgramBeside> beside;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        records.push_back(RowToRecord(row));
        beside.push_back(BesideOf(row));
    }
    // As Search does: the check box as it stands, and only this import's marks.
    m_UpdateNames = IsDlgButtonChecked(res::IDC_UPDATE_NAMES) ? 1 : 0;
    for (int row = 0; row < list.GetItemCount(); ++row) list.SetItemText(row, kColumnState, "");
    programs::ImportCounts counts;
    const std::vector<std::optional<programs::ImportState>> states =
        programs::ImportUpdating(records, beside, imported, importedBeside, m_UpdateNames != 0, &counts);
    const int had = list.GetItemCount();
    int first = -1;
    for (size_t i = 0; i < states.size(); ++i) {
        if (!states[i]) continue;
        int row = static_cast<int>(i);
        if (row >= had && (row = list.InsertItem(list.GetItemCount(), std::string())) < 0) break;
        RecordToRow(records[i], row);
        SetBeside(row, beside[i]);
        list.SetItemText(row, kColumnState, programs::StateText(*states[i]));
        if (first < 0) first = row;
    }
    ListChanged(std::move(before), "Import");
    if (first >= 0) ShowRow(first);
    SetStatusText(done + ": " + programs::CountsText(counts));
}

void ProgramListDialog::OnRestore() {
    const std::vector<DVBBackupInfo> backups = m_Board.Backups();
    if (backups.empty()) {
        MessageBox("No backups yet: each Save keeps the list it replaces, to go back to.");
        return;
    }
    std::vector<fw::MenuItem> items;
    for (size_t i = 0; i < backups.size(); ++i) {
        // A damaged one is named, and cannot be chosen.
        items.push_back(fw::MenuItem{res::IDM_RESTORE_FIRST + static_cast<int>(i), BackupLabel(backups[i]), {},
                                     backups[i].damaged.empty()});
    }
    const int chosen = GetHost().PopupMenu(*this, items) - res::IDM_RESTORE_FIRST;
    if (chosen < 0 || static_cast<size_t>(chosen) >= backups.size()) return;
    const DVBBackupInfo& backup = backups[static_cast<size_t>(chosen)];
    if (!backup.damaged.empty()) return;
    BoardPrograms stored;
    // Never a part of it: the library's message says what could not be read.
    if (!m_Board.LoadFrom(backup.path, &stored)) return;
    fw::ListView& list = ProgramList();
    fw::ListView::Snapshot before = list.TakeSnapshot();
    list.DeleteAllItems();
    AppendPrograms(stored);
    ListChanged(std::move(before), "Restore");
    SetStatusText("Backup " + std::to_string(backup.number) + " of " + BoardGateway::BackupTime(backup.time) +
                  " restored: " + ProgramsText(list.GetItemCount()) + "; Save stores them");
}
