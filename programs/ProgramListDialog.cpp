#include "programs/ProgramListDialog.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "acquisition/Tuner.h"
#include "exchange/Exchange.h"
#include "framework/Files.h"
#include "framework/Host.h"
#include "framework/Profile.h"
#include "framework/WindowPlacement.h"
#include "text/CaseFold.h"
#include "programs/ScanSummary.h"
#include "programs/ProgramDetailsDialog.h"
#include "scan/ScanChannelsDialog.h"
#include "card/ProgramFields.h"
#include "programs/ProgramListMerge.h"
#include "programs/ProgramRowCodec.h"
#include "res/ResourceIds.h"

namespace {

constexpr const char* kMainFrame = "MainFrame";
constexpr const char* kSettings = "Settings";
constexpr const char* kUpdateNames = "UpdateNames";
constexpr const char* kColumns = "Columns";

std::string ColumnKey(int column) { return "Col_" + std::to_string(column); }


// What a cell sorts by: a number, or its case-folded text.
struct SortKey {
    uint32_t number = 0;
    std::string folded;
};

SortKey SortKeyFor(std::string_view cell, int column) {
    SortKey key;
    if (IsTextColumn(column)) key.folded = programs::FoldCase(cell);
    else key.number = ProgramRowCodec::ReadNumber(cell);
    return key;
}

int CompareKeys(const SortKey& a, const SortKey& b) {
    if (a.number != b.number) return a.number < b.number ? -1 : 1;
    const int text = a.folded.compare(b.folded);
    return text < 0 ? -1 : text > 0 ? 1 : 0;
}

}  // namespace

ProgramListDialog::ProgramListDialog(fw::Host& host) : fw::Dialog(host, res::IDD_PROGRAM_LIST), m_Board(*this) {}

// The table filters that exist are deleted with m_TableFilters, in the order
// "PAT", "NIT", "STD_act", "PMT".
ProgramListDialog::~ProgramListDialog() = default;

int ProgramListDialog::Tune(unsigned long frequency) { return acquisition::Tune(frequency); }

std::optional<bool> ProgramListDialog::TunerLocked() { return acquisition::TunerLocked(); }
bool ProgramListDialog::TunerGaveUp() { return acquisition::TunerGaveUp(); }
bool ProgramListDialog::Probe(unsigned long frequency) { return acquisition::Probe(frequency); }
std::optional<ScanOwner::Reception> ProgramListDialog::TunerReception() {
    const std::optional<acquisition::Reception> reception = acquisition::TunerReception();
    if (!reception) return std::nullopt;
    return Reception{reception->symbolRate, reception->modulation};
}

const char* ProgramListDialog::AboutText() { return "Kelvane 2.3 - DVB-C programs"; }

fw::ListView& ProgramListDialog::ProgramList() { return List(res::IDC_PROGRAM_LIST); }

void ProgramListDialog::MergeService(const ScannedService& service, int updateNames) {
    MergeScannedService(ProgramList(), service, updateNames);
    SetChanged(true);
}

void ProgramListDialog::RecordToRow(const TunProgDataTag& record, int row) {
    ProgramRowCodec::RecordToRow(record, ProgramList(), row);
}

TunProgDataTag ProgramListDialog::RowToRecord(int row) { return ProgramRowCodec::RowToRecord(ProgramList(), row); }

bool ProgramListDialog::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    CheckDlgButton(res::IDC_UPDATE_NAMES, m_UpdateNames != 0);
    // Before the placement: the stored rectangle includes the bars.
    BuildMenus();
    m_LaidOut = true;

    // Where this changes the size, OnSize lays the controls out again.
    fw::RestoreWindowPlacement(*this, kMainFrame);

    fw::ListView& list = ProgramList();
    list.SetFullRowSelect(true);
    const int width = GetControlClientWidth(res::IDC_PROGRAM_LIST) - VerticalScrollBarWidth();
    for (int column = 0; column < kProgramListColumnCount; ++column) {
        const ProgramField& field = ProgramListColumnAt(column);
        list.InsertColumn(column, field.title, field.align, static_cast<int>(width * field.widthFraction));
    }
    // A first column takes no alignment when it is inserted.
    list.SetColumnAlign(kColumnNr, ProgramListColumnAt(kColumnNr).align);

    fw::Profile& profile = GetProfile();
    for (int column = 0; column < kProgramListColumnCount; ++column) {
        const int stored = profile.GetInt(kColumns, ColumnKey(column), -1);
        if (stored >= 0) list.SetColumnWidth(column, stored);
    }

    SetIcon(res::IDI_APP);
    SetDlgItemText(res::IDC_ABOUT, AboutText());

    // Without an open board there are no table filters, and the list can
    // still be edited, loaded and saved.
    if (m_Board.OpenBoard()) CreateTableFilters();

    m_UpdateNames = profile.GetInt(kSettings, kUpdateNames, 1) != 0 ? 1 : 0;
    CheckDlgButton(res::IDC_UPDATE_NAMES, m_UpdateNames != 0);
    return true;
}

void ProgramListDialog::DestroyWindow() {
    if (IsDestroyed()) return;
    // A window that was never built has no settings to keep and opened no board.
    if (!IsCreated()) {
        fw::Dialog::DestroyWindow();
        return;
    }
    m_UpdateNames = IsDlgButtonChecked(res::IDC_UPDATE_NAMES) ? 1 : 0;
    fw::SaveWindowPlacement(*this, kMainFrame);
    fw::Profile& profile = GetProfile();
    profile.WriteInt(kSettings, kUpdateNames, static_cast<int>(m_UpdateNames));
    fw::ListView& list = ProgramList();
    for (int column = 0; column < kProgramListColumnCount; ++column) {
        profile.WriteInt(kColumns, ColumnKey(column), list.GetColumnWidth(column));
    }

    ShutDownTableFilters();

    // Also when the board failed to open.
    m_Board.CloseBoard();
    fw::Dialog::DestroyWindow();
}

void ProgramListDialog::OnCancel() {
    if (IsEnded() || !AskToKeepChanges()) return;
    EndDialog(fw::IDCANCEL);
}

bool ProgramListDialog::AskToKeepChanges() {
    if (!m_Changed) return true;
    const int rows = ProgramList().GetItemCount();
    switch (Ask("The program list (" + std::to_string(rows) +
                    " programs) has changes that are not saved in the board database.\n"
                    "Save them before you go on?",
                fw::QuestionButtons::SaveDiscardCancel)) {
        case fw::Answer::Save: return OnSave();
        case fw::Answer::Discard: return true;
        default: return false;
    }
}

void ProgramListDialog::OnCommand(int id) {
    switch (id) {
        case res::IDC_LOAD: OnLoadCommand(); break;
        case res::IDC_SAVE: OnSaveCommand(); break;
        case res::IDC_ADD: OnAdd(); break;
        case res::IDC_DELETE: OnDelete(); break;
        case res::IDC_MOVE_UP: OnMoveUp(); break;
        case res::IDC_MOVE_DOWN: OnMoveDown(); break;
        case res::IDC_SEARCH: OnSearch(); break;
        default: RunMenuCommand(id); break;
    }
}

void ProgramListDialog::OnSearch() {
    // A card without a source (no captures to play) would leave the scan
    // waiting for a NIT that cannot come: the user hears why at once and
    // goes on with the list.
    if (const std::string problem = acquisition::SourceProblem(); !problem.empty()) {
        MessageBox(problem);
        return;
    }
    m_UpdateNames = IsDlgButtonChecked(res::IDC_UPDATE_NAMES) ? 1 : 0;
    fw::ListView& list = ProgramList();
    for (int row = 0; row < list.GetItemCount(); ++row) list.SetItemText(row, kColumnState, "");
    // The merge has written into the list by the time the window closes; its
    // result says nothing more.
    fw::ListView::Snapshot before = list.TakeSnapshot();
    ScanChannelsDialog scan(GetHost(), this, static_cast<int>(m_UpdateNames));
    if (m_NextTransport) scan.ScanOneTransport(*std::exchange(m_NextTransport, std::nullopt));
    const bool finished = RunScan(scan) == fw::IDOK;
    // Only a scan that ran to its end can tell what is gone.
    const programs::NotChecked notChecked =
        finished ? programs::MarkMissing(list, scan.Coverage()) : programs::NotChecked{};
    // All the scan's merges, and its marks, are one step.
    ListChanged(std::move(before), "Search");
    // The scan window takes its log with it: what the scan did stays here,
    // in the words kelvane-cli prints, and under "Last Scan…".
    m_LastScan = finished ? programs::ScanSummary(ProgramList(), scan.SilentTransports(), notChecked, scan.SweepSummary())
                          : programs::StoppedScanSummary(ProgramList());
    m_LastScanNetworks = scan.NetworksLine();
    if (!m_LastScanNetworks.empty()) m_LastScan += "\n" + m_LastScanNetworks;
    SetStatusText(m_LastScan);
    if (m_ShowScanSummary) MessageBox(m_LastScan);
}

void ProgramListDialog::OnLastScan() { MessageBox(m_LastScan.empty() ? "No scan has run since Kelvane started." : m_LastScan); }

void ProgramListDialog::OnListDoubleClick(int listId) {
    if (listId == res::IDC_PROGRAM_LIST) OnEditProgram();
}

void ProgramListDialog::OnColumnClick(int listId, int column) {
    if (listId == res::IDC_PROGRAM_LIST && column >= 0 && column < kProgramListColumnCount) SortByColumn(column);
}

bool ProgramListDialog::OnLoad() {
    if (!AskToKeepChanges()) return false;
    fw::ListView& list = ProgramList();
    list.DeleteAllItems();
    // Whatever follows, the list no longer holds the changes, and until a
    // load succeeds in full it holds nothing a Save may write over the
    // stored list without asking.
    SetChanged(false);
    m_Revision.reset();
    m_History.Clear();
    m_History.MarkStored();
    BoardPrograms stored;
    uint64_t revision = 0;
    // A program that cannot be read gets no row; the others do.
    bool all = m_Board.Load(&stored, &revision);
    all = AppendPrograms(stored) && all;
    if (all) m_Revision = revision;
    return all;
}

bool ProgramListDialog::AppendPrograms(const BoardPrograms& stored) {
    fw::ListView& list = ProgramList();
    bool all = true;
    for (size_t i = 0; i < stored.records.size(); ++i) {
        const int row = list.InsertItem(list.GetItemCount(), std::string());
        if (row < 0) {
            all = false;
            continue;
        }
        RecordToRow(stored.records[i], row);
        SetBeside(row, stored.beside[i]);
    }
    return all;
}

bool ProgramListDialog::MayReplaceStoredList(uint32_t storedCount, uint64_t storedRevision) {
    if (storedCount == 0 || (m_Revision && *m_Revision == storedRevision)) return true;
    const std::string stored = ProgramsText(static_cast<int>(storedCount));
    const std::string what =
        m_Revision ? "The board database was changed by another program since this window loaded or saved it: "
                     "it now holds " + stored + "."
                   : "The board database holds " + stored + " that this window has not loaded.";
    const std::string mine = ProgramsText(ProgramList().GetItemCount());
    return Ask(what + "\nReplace them with the " + mine +
                   " of this window?\n(No keeps both lists as they are; Load shows the stored one.)",
               fw::QuestionButtons::YesNo) == fw::Answer::Yes;
}

bool ProgramListDialog::OnSave() {
    // Stored positions follow the list's order, whatever "Nr" shows.
    BoardPrograms programs;
    const int rows = ProgramList().GetItemCount();
    for (int row = 0; row < rows; ++row) {
        programs.records.push_back(RowToRecord(row));
        programs.beside.push_back(BesideOf(row));
    }
    uint64_t revision = 0;
    const auto mayReplace = [this](uint32_t storedCount, uint64_t storedRevision) {
        return MayReplaceStoredList(storedCount, storedRevision);
    };
    const BoardGateway::Saved saved = m_Board.Save(programs, mayReplace, &revision);
    if (saved == BoardGateway::Saved::Nothing) return false;
    // What is stored now is what this window wrote: a later Save replaces it
    // without asking, unless another program writes in between.
    m_Revision = revision;
    if (saved == BoardGateway::Saved::Part) return false;
    SetChanged(false);
    m_History.MarkStored();
    return true;
}

void ProgramListDialog::ListChanged(fw::ListView::Snapshot before, const char* what) {
    if (ProgramList().HoldsRowsOf(before)) return;
    m_History.Record(std::move(before), what);
    SetChanged(true);
}

void ProgramListDialog::SelectRow(int row) {
    fw::ListView& list = ProgramList();
    list.SetItemState(row, fw::kItemSelected | fw::kItemFocused, fw::kItemSelected | fw::kItemFocused);
}

void ProgramListDialog::OnAdd() {
    fw::ListView& list = ProgramList();
    const int selectedBefore = list.GetNextItem(-1, fw::kItemSelected);
    const int markBefore = list.GetSelectionMark();
    fw::ListView::Snapshot before = list.TakeSnapshot();
    const int row = list.InsertItem(list.GetItemCount(), std::string());
    if (row < 0) return;
    // Move Up and Move Down act on the selection mark: it goes with the
    // selection, to the row the user sees selected.
    SelectRow(row);
    list.SetSelectionMark(row);
    list.EnsureVisible(row);
    TunProgDataTag record;
    ProgramDetailsDialog details(GetHost(), record, false);
    if (details.DoModal() == fw::IDOK) {
        RecordToRow(record, row);
        SetChannelNumber(row, details.m_ChannelNumber);
        ListChanged(std::move(before), "Add");
        return;
    }
    list.DeleteItem(row);
    // Cancelled: the list is as it was, selection included.
    if (selectedBefore >= 0) SelectRow(selectedBefore);
    list.SetSelectionMark(markBefore);
}

void ProgramListDialog::OnEditProgram() {
    fw::ListView& list = ProgramList();
    const int row = list.GetSelectionMark();
    if (row < 0 || row >= list.GetItemCount()) return;
    TunProgDataTag record = RowToRecord(row);
    ProgramDetailsDialog details(GetHost(), record, true);
    details.m_ChannelNumber = ChannelNumber(row);
    if (details.DoModal() != fw::IDOK) return;
    fw::ListView::Snapshot before = list.TakeSnapshot();
    RecordToRow(record, row);
    SetChannelNumber(row, details.m_ChannelNumber);
    ListChanged(std::move(before), "Edit");
}

void ProgramListDialog::OnDelete() {
    fw::ListView& list = ProgramList();
    const int row = list.GetNextItem(-1, fw::kItemSelected);
    if (row < 0) return;
    fw::ListView::Snapshot before = list.TakeSnapshot();
    list.DeleteItem(row);
    ListChanged(std::move(before), "Delete");
    // The row below moves up into the deleted one's place and takes the
    // selection; after the last row there is none.
    list.SetSelectionMark(row);
    SelectRow(row);
}

void ProgramListDialog::SwapRows(int first, int second) {
    // Through records, so columns 0 to 23 and what is beside the record
    // move, and "State" stays in place.
    const TunProgDataTag a = RowToRecord(first);
    const TunProgDataTag b = RowToRecord(second);
    const ProgramBeside besideA = BesideOf(first);
    RecordToRow(a, second);
    RecordToRow(b, first);
    SetBeside(first, BesideOf(second));
    SetBeside(second, besideA);
}

void ProgramListDialog::MoveSelected(int direction) {
    fw::ListView& list = ProgramList();
    const int row = list.GetSelectionMark();
    if (row < 0 || row >= list.GetItemCount()) return;
    const int other = row + direction;
    if (other < 0 || other >= list.GetItemCount()) return;
    fw::ListView::Snapshot before = list.TakeSnapshot();
    SwapRows(row, other);
    ListChanged(std::move(before), direction < 0 ? "Move Up" : "Move Down");
    SelectRow(other);
    list.SetSelectionMark(other);
    list.EnsureVisible(other);
}

void ProgramListDialog::OnMoveUp() { MoveSelected(-1); }

void ProgramListDialog::OnMoveDown() { MoveSelected(+1); }

int ProgramListDialog::CompareCells(std::string_view first, std::string_view second, int column) {
    return CompareKeys(SortKeyFor(first, column), SortKeyFor(second, column));
}

void ProgramListDialog::SortByColumn(int column) {
    fw::ListView& list = ProgramList();
    // Each cell's key is made once, not once per comparison.
    std::vector<SortKey> keys;
    keys.reserve(static_cast<size_t>(list.GetItemCount()));
    for (int row = 0; row < list.GetItemCount(); ++row) keys.push_back(SortKeyFor(list.ItemText(row, column), column));
    fw::ListView::Snapshot before = list.TakeSnapshot();
    list.SortItemsByRow([&keys](int a, int b) {
        return CompareKeys(keys[static_cast<size_t>(a)], keys[static_cast<size_t>(b)]);
    });
    // The order is what a Save stores.
    if (list.GetItemCount() > 1) SetChanged(true);
    ListChanged(std::move(before), "Sort");
}


void ProgramListDialog::OnSize(int cx, int cy) {
    fw::Dialog::OnSize(cx, cy);
    if (m_LaidOut) {
        const fw::Rect listRect = GetControlRect(res::IDC_PROGRAM_LIST);
        const int left = listRect.left;
        const int top = listRect.top;
        MoveControl(res::IDC_PROGRAM_LIST, fw::Rect{left, top, left + (cx - 2 * left), top + (cy - 8 * top)});

        // Each control keeps its size; x and y as functions of its own w and h.
        struct Placement {
            int id;
            int (*x)(int cx, int w, int left);
            int (*y)(int cy, int h, int top);
        };
        const auto leftColumn = [](int, int, int l) { return l; };
        const auto secondColumn = [](int, int w, int l) { return l + w + 5; };
        const auto centred = [](int width, int w, int) { return (width - w) / 2; };
        const auto thirdFromRight = [](int width, int w, int l) { return width - 2 * w - l - 5; };
        const auto rightColumn = [](int width, int w, int l) { return width - w - l; };
        const auto upperRow = [](int height, int h, int t) { return height - 2 * h - t - 5; };
        const auto lowerRow = [](int height, int h, int t) { return height - h - t; };
        const Placement placements[] = {
            {res::IDC_ADD, leftColumn, upperRow},          {res::IDC_DELETE, leftColumn, lowerRow},
            {res::IDC_MOVE_UP, secondColumn, upperRow},    {res::IDC_MOVE_DOWN, secondColumn, lowerRow},
            {res::IDC_ABOUT, centred, upperRow},           {res::IDC_UPDATE_NAMES, centred, lowerRow},
            {res::IDC_SAVE, thirdFromRight, upperRow},     {res::IDC_LOAD, thirdFromRight, lowerRow},
            {res::IDC_SEARCH, rightColumn, upperRow},      {fw::IDCANCEL, rightColumn, lowerRow},
        };
        for (const Placement& p : placements) {
            const fw::Rect r = GetControlRect(p.id);
            const int w = r.Width();
            const int h = r.Height();
            const int x = p.x(cx, w, left);
            const int y = p.y(cy, h, top);
            MoveControl(p.id, fw::Rect{x, y, x + w, y + h});
        }
    }
    Invalidate();
}
