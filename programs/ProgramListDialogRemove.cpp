// Remove…: the programs of one kind at once (the marks of the last scan, the
// radio, data or encrypted programs, those without a name), as one step.
#include <string>
#include <vector>

#include "card/ProgramFields.h"
#include "framework/Menu.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"

namespace {

std::vector<int> RowsOfKind(ProgramListDialog& window, const programs::ProgramKind& kind) {
    fw::ListView& list = window.ProgramList();
    std::vector<int> rows;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        const TunProgDataTag record = window.RowToRecord(row);
        if (kind.is({record, list.ItemText(row, kColumnState), window.BesideOf(row).caSystems})) rows.push_back(row);
    }
    return rows;
}

}  // namespace

void ProgramListDialog::OnRemoveByKind() {
    const auto kinds = programs::ProgramKinds();
    std::vector<fw::MenuItem> items;
    for (size_t i = 0; i < kinds.size(); ++i) {
        const size_t count = RowsOfKind(*this, kinds[i]).size();
        items.push_back(fw::MenuItem{res::IDM_REMOVE_KIND_FIRST + static_cast<int>(i),
                                     std::string(kinds[i].title) + " (" + std::to_string(count) + ")", {}, count > 0});
    }
    const int chosen = GetHost().PopupMenu(*this, items) - res::IDM_REMOVE_KIND_FIRST;
    if (chosen >= 0 && chosen < static_cast<int>(kinds.size())) RemovePrograms(kinds[static_cast<size_t>(chosen)]);
}

int ProgramListDialog::RemovePrograms(const programs::ProgramKind& kind) {
    fw::ListView& list = ProgramList();
    fw::ListView::Snapshot before = list.TakeSnapshot();
    const std::vector<int> rows = RowsOfKind(*this, kind);
    // From the bottom, so the rows still to go keep their places.
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) list.DeleteItem(*row);
    ListChanged(std::move(before), (std::string("Remove ") + kind.title).c_str());
    const int mark = list.GetSelectionMark();
    if (mark >= 0) list.EnsureVisible(mark);
    SetStatusText(programs::RemovedText(kind, static_cast<int>(rows.size())));
    UpdateCommands();
    return static_cast<int>(rows.size());
}
