// The program list window's editing of long lists: keys, drag and drop,
// moves to a position, and finding programs by name.
#include "programs/ProgramListDialog.h"

#include <algorithm>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

#include "card/ProgramFields.h"
#include "framework/Clock.h"
#include "programs/ProgramRowCodec.h"
#include "framework/Host.h"
#include "framework/ListView.h"
#include "text/CaseFold.h"
#include "programs/ProgramFind.h"
#include "res/ResourceIds.h"

namespace {

// A position as the user types it; beyond a million it is no row of a list.
std::optional<int> ReadPosition(const std::string& text) {
    const std::optional<uint32_t> value = ProgramRowCodec::ReadTypedNumber(text, 1000000);
    if (!value) return std::nullopt;
    return static_cast<int>(*value);
}

// A text typed as one key again and again ("kkk") steps through the names
// that begin with that key, as list views do.
bool OneKeyRepeated(const std::string& typed, const std::string& key) {
    if (typed.size() <= key.size() || typed.size() % key.size() != 0) return false;
    for (size_t i = 0; i < typed.size(); i += key.size()) {
        if (typed.compare(i, key.size(), key) != 0) return false;
    }
    return true;
}

}  // namespace

bool ProgramListDialog::OnListKey(int listId, const fw::KeyPress& key) {
    if (listId != res::IDC_PROGRAM_LIST) return false;
    switch (key.key) {
        case fw::Key::Delete: OnDelete(); return true;
        case fw::Key::Up:
            if (!key.ctrl) return false;
            OnMoveUp();
            return true;
        case fw::Key::Down:
            if (!key.ctrl) return false;
            OnMoveDown();
            return true;
        case fw::Key::CtrlLetter:
            if (key.letter == 'F') OnFind();
            else if (key.letter == 'Z' && !key.shift) OnUndo();
            else if (key.letter == 'Z' || key.letter == 'Y') OnRedo();
            else return false;
            return true;
        case fw::Key::F3: FindNext(key.shift ? -1 : +1); return true;
        case fw::Key::Text: TypeAhead(key.text); return true;
        case fw::Key::ContextMenu: OnListContextMenu(listId); return true;
        default: return false;
    }
}

void ProgramListDialog::OnListDrop(int listId, int from, int to) {
    if (listId == res::IDC_PROGRAM_LIST) MoveRow(from, to);
}

void ProgramListDialog::MoveRow(int from, int to) {
    fw::ListView& list = ProgramList();
    const int rows = list.GetItemCount();
    if (from < 0 || from >= rows || to < 0 || to >= rows || from == to) return;
    // As Move Up and Move Down, through records: columns 0 to 23 and what is
    // beside the record move, and "State" stays with the row position.
    fw::ListView::Snapshot before = list.TakeSnapshot();
    const int low = std::min(from, to), high = std::max(from, to);
    std::vector<std::pair<TunProgDataTag, ProgramBeside>> programs;
    programs.reserve(static_cast<size_t>(high - low + 1));
    for (int row = low; row <= high; ++row) programs.emplace_back(RowToRecord(row), BesideOf(row));
    if (from < to) std::rotate(programs.begin(), programs.begin() + 1, programs.end());
    else std::rotate(programs.rbegin(), programs.rbegin() + 1, programs.rend());
    for (int row = low; row <= high; ++row) {
        const auto& [record, beside] = programs[static_cast<size_t>(row - low)];
        RecordToRow(record, row);
        SetBeside(row, beside);
    }
    ShowRow(to);
    ListChanged(std::move(before), "Move");
}

void ProgramListDialog::ShowRow(int row) {
    SelectRow(row);
    ProgramList().SetSelectionMark(row);
    ProgramList().EnsureVisible(row);
}

void ProgramListDialog::OnMoveToTop() { MoveRow(ProgramList().GetSelectionMark(), 0); }

void ProgramListDialog::OnMoveToBottom() {
    MoveRow(ProgramList().GetSelectionMark(), ProgramList().GetItemCount() - 1);
}

void ProgramListDialog::OnMoveToPosition() {
    fw::ListView& list = ProgramList();
    const int row = list.GetSelectionMark();
    const int rows = list.GetItemCount();
    if (row < 0 || row >= rows) return;
    const std::string range = "1 to " + std::to_string(rows);
    std::string typed = std::to_string(row + 1);
    // A position out of range asks again with what was typed, so the user
    // corrects it rather than starting over.
    for (;;) {
        const std::optional<std::string> answer =
            GetHost().AskText(*this, "Move to Position", "Position (" + range + "):", typed);
        if (!answer) return;
        const std::optional<int> position = ReadPosition(*answer);
        if (position && *position >= 1 && *position <= rows) {
            MoveRow(row, *position - 1);
            return;
        }
        MessageBox("Enter a position from " + range + ".");
        typed = *answer;
    }
}

void ProgramListDialog::OnFind() {
    const std::optional<std::string> text =
        GetHost().AskText(*this, "Find", "Find programs whose name contains:", m_Find.findText);
    if (!text || text->empty()) return;
    m_Find.findText = *text;
    FindNext(+1);
}

void ProgramListDialog::FindNext(int direction) {
    if (m_Find.findText.empty()) {
        OnFind();
        return;
    }
    const int mark = ProgramList().GetSelectionMark();
    const int start = mark < 0 ? (direction > 0 ? 0 : -1) : mark + direction;
    const int row = programs::FindProgramName(ProgramList(), start, direction, programs::FoldCase(m_Find.findText), false);
    if (row < 0) {
        MessageBox("No program name contains \"" + m_Find.findText + "\".");
        return;
    }
    ShowRow(row);
}

void ProgramListDialog::TypeAhead(const std::string& text) {
    const int64_t now = GetHost().GetClock().NowMs();
    const bool goesOn = !m_Find.typed.empty() && now - m_Find.lastTypedMs <= programs::kTypeAheadPauseMs;
    m_Find.typed = goesOn ? m_Find.typed + text : text;
    m_Find.lastTypedMs = now;
    // A longer text may still fit the row found already; a new one, or one
    // key again, looks from the next row on.
    const bool stepping = !goesOn || OneKeyRepeated(m_Find.typed, text);
    const std::string wanted = programs::FoldCase(stepping ? text : m_Find.typed);
    const int mark = ProgramList().GetSelectionMark();
    const int start = mark < 0 ? 0 : mark + (stepping ? 1 : 0);
    const int row = programs::FindProgramName(ProgramList(), start, +1, wanted, true);
    if (row >= 0) ShowRow(row);
}

void ProgramListDialog::SortByChannelNumber() {
    fw::ListView& list = ProgramList();
    std::vector<uint32_t> numbers;
    numbers.reserve(static_cast<size_t>(list.GetItemCount()));
    for (int row = 0; row < list.GetItemCount(); ++row) numbers.push_back(ChannelNumber(row));
    // No number sorts after every number; the sort is stable.
    const auto key = [&numbers](int row) {
        const uint32_t n = numbers[static_cast<size_t>(row)];
        return n == 0 ? UINT64_MAX : n;
    };
    fw::ListView::Snapshot before = list.TakeSnapshot();
    list.SortItemsByRow([&key](int a, int b) { return key(a) < key(b) ? -1 : key(a) > key(b) ? 1 : 0; });
    if (list.GetItemCount() > 1) SetChanged(true);
    ListChanged(std::move(before), "Order by Channel Number");
}

void ProgramListDialog::OnUndo() {
    if (m_History.Undo(ProgramList())) HistoryMoved();
}

void ProgramListDialog::OnRedo() {
    if (m_History.Redo(ProgramList())) HistoryMoved();
}

void ProgramListDialog::HistoryMoved() {
    SetChanged(!m_History.AtStored());
    const int mark = ProgramList().GetSelectionMark();
    if (mark >= 0) ProgramList().EnsureVisible(mark);
}

void ProgramListDialog::OnRemoveDuplicates() {
    fw::ListView& list = ProgramList();
    fw::ListView::Snapshot before = list.TakeSnapshot();
    std::unordered_set<uint32_t> seen;
    std::vector<int> duplicates;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        if (!seen.insert(ServiceKey(RowToRecord(row))).second) duplicates.push_back(row);
    }
    if (duplicates.empty()) {
        MessageBox("No duplicates: no two programs have the same NW-ID and Prog-ID.");
        return;
    }
    // From the bottom, so the rows still to go keep their places.
    for (auto row = duplicates.rbegin(); row != duplicates.rend(); ++row) list.DeleteItem(*row);
    ListChanged(std::move(before), "Remove Duplicates");
    const int mark = list.GetSelectionMark();
    if (mark >= 0) list.EnsureVisible(mark);
    const std::string done = std::to_string(duplicates.size()) + (duplicates.size() == 1 ? " duplicate" : " duplicates") +
                             " removed: each had the NW-ID and Prog-ID of a program above it.";
    SetStatusText(done);
    MessageBox(done);
}

ProgramBeside ProgramListDialog::BesideOf(int row) { return ProgramRowCodec::RowToBeside(ProgramList(), row); }

void ProgramListDialog::SetBeside(int row, const ProgramBeside& beside) {
    ProgramRowCodec::BesideToRow(beside, ProgramList(), row);
}

uint32_t ProgramListDialog::ChannelNumber(int row) { return BesideOf(row).channelNumber; }

void ProgramListDialog::SetChannelNumber(int row, uint32_t channelNumber) {
    ProgramBeside beside = BesideOf(row);
    beside.channelNumber = channelNumber;
    SetBeside(row, beside);
}
