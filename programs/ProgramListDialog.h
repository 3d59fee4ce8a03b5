#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/TableFilters.h"
#include "card/DBDVBX32.h"
#include "framework/Dialog.h"
#include "programs/BoardGateway.h"
#include "programs/ListHistory.h"
#include "programs/ProgramFind.h"
#include "programs/ProgramKinds.h"
#include "scan/ScanOwner.h"

class ScanChannelsDialog;

// The main window (template 129): the board database's program list as a
// list of 25 columns, and two more for what is kept beside the record, that
// the user loads, edits, sorts and saves. The list is the working copy;
// nothing reaches the board database until Save. The window opens the board
// at start-up and closes it at its end.
//
// The window owns the four table filters ("PAT", "NIT", "STD_act", "PMT"):
// created once the board is open, shut down before it closes, deleted with
// the window. The scan reaches them, and the tuner, through the window.
class ProgramListDialog : public fw::Dialog, public ScanOwner {
public:
    explicit ProgramListDialog(fw::Host& host);
    ~ProgramListDialog() override;

    bool OnInitDialog() override;
    // Close, Escape and the close box: after changes, asks first.
    void OnCancel() override;
    // The end: settings written, board closed, then the window goes.
    void DestroyWindow() override;
    void OnCommand(int id) override;
    void OnSize(int cx, int cy) override;
    void OnListDoubleClick(int listId) override;
    void OnColumnClick(int listId, int column) override;
    // The list's context menu (ProgramListDialogMenus.cpp), in groups.
    void OnListContextMenu(int listId) override;
    // Undo and Redo named after their steps, and enabled only when there is one.
    void OnInitMenu() override;
    // Help, About: the version and the licence.
    void OnAbout();
    // Save and Load as the buttons, the menu and the keys run them: the
    // status line says what was done.
    void OnSaveCommand();
    void OnLoadCommand();

    // Handlers.
    // Both ask first where they would lose something (see AskToKeepChanges
    // and OnSave); false when nothing was loaded or saved.
    bool OnLoad();
    bool OnSave();
    void OnAdd();
    void OnDelete();
    void OnMoveUp();
    void OnMoveDown();
    void OnEditProgram();
    // Search: runs the scan window, which merges what it finds into the list.
    void OnSearch();
    // Runs `scan`, made with this window as its owner, modally and returns
    // its result; meanwhile the card's status lines go to its log.
    int RunScan(ScanChannelsDialog& scan);
    // What the card has to say (ProgramListDialogCard.cpp): a status line
    // goes to the log of the scan this window runs, and is dropped when none
    // runs; a problem is shown in a message box.
    void CardStatusLine(const std::string& text);
    void CardProblem(const std::string& text);
    // The list's rows, as they stand, to a channel file the user names.
    void OnExport();
    // A channel file's programs appended as new rows; all of them, or none
    // when the file has an error. `updating`: a program the list has
    // already (its NW-ID and Prog-ID) is updated in place instead, as a scan
    // merges it (ProgramListDialogReshuffle.cpp).
    void OnImport(bool updating = false);
    // The re-shuffles of an operator (ProgramListDialogReshuffle.cpp): the
    // list in the order of a channel file or another board database, and a
    // backup of the board database back into the list; each one step.
    void OnOrderLike();
    void OnRestore();
    // Long lists (ProgramListEditing.cpp): Delete, Ctrl+Up/Down, Ctrl+F, F3
    // and typing in the list; drag and drop; moves to a position; find.
    bool OnListKey(int listId, const fw::KeyPress& key) override;
    void OnListDrop(int listId, int from, int to) override;
    void OnMoveToTop();
    void OnMoveToBottom();
    void OnMoveToPosition();
    void OnFind();
    // Ctrl+Z, and Ctrl+Shift+Z or Ctrl+Y: every change of the list's
    // programs is one step, a whole scan's merges included. Load starts the
    // history anew; Save keeps it.
    void OnUndo();
    void OnRedo();
    // Removes every row below one that has its "NW-ID", "TS-ID" and
    // "Prog-ID", and says how many went.
    void OnRemoveDuplicates();
    // Remove… (ProgramListDialogRemove.cpp): a choice of the kinds of
    // programs the list has, each with its count; the chosen kind's rows go.
    void OnRemoveByKind();
    // Removes every row of the kind as one step named after it, and says on
    // the status line how many went; returns that.
    int RemovePrograms(const programs::ProgramKind& kind);
    // The next (+1) or previous (-1) name that contains the text of Find….
    void FindNext(int direction);
    // Selects the next name that begins with what was typed.
    void TypeAhead(const std::string& text);
    // The program of row `from` to row `to`; the rows between move one step.
    void MoveRow(int from, int to);
    // Ascending by the column, every time; rows that compare equal keep their order.
    void SortByColumn(int column);
    // Ascending by the operator's channel number; programs without one
    // follow, in the order they had.
    void SortByChannelNumber();

    // What the board database keeps beside a row's record ("LCN", "CA" and
    // the audio type, ProgramRowCodec::BesideToRow). It goes wherever the
    // program goes (load, save, moves, sorts, imports, exports).
    ProgramBeside BesideOf(int row);
    void SetBeside(int row, const ProgramBeside& beside);
    // The operator's channel number of a row's program (0: none), in "LCN".
    uint32_t ChannelNumber(int row);
    void SetChannelNumber(int row, uint32_t channelNumber);

    // The program list, list 1150. Its rows are read and written through the
    // column layout of ProgramListColumn and the conversions below.
    fw::ListView& ProgramList();
    void RecordToRow(const TunProgDataTag& record, int row);
    TunProgDataTag RowToRecord(int row);

    // How two cells of `column` compare in a sort: case-insensitively as
    // Unicode text for "Programm" and "State", as unsigned numbers otherwise.
    static int CompareCells(std::string_view first, std::string_view second, int column);
    // "1 program", "66 programs".
    static std::string ProgramsText(int count);
    // The fixed line in edit 1009.
    static const char* AboutText();

    // The scan's table requests and polls (a filter that was never created
    // does nothing and reports done), and tuning in kHz.
    void CreateTableFilters() { m_TableFilters.CreateTableFilters(this); }
    void ShutDownTableFilters() { m_TableFilters.ShutDownTableFilters(); }
    void SetResultWindowForAll(ScanRowWriter* window) override { m_TableFilters.SetResultWindowForAll(window); }
    void RequestNit(int networkId = 0) override { m_TableFilters.RequestNetworkNit(networkId); }
    void RequestPat() override { m_TableFilters.RequestPat(); }
    void RequestPmt(int pid, int programNumber) override { m_TableFilters.RequestPmt(pid, programNumber); }
    void RequestSdt() override { m_TableFilters.RequestSdt(); }
    int IsNitDone() override { return m_TableFilters.IsNitDone(); }
    int IsPatDone() override { return m_TableFilters.IsPatDone(); }
    int IsPmtDone() override { return m_TableFilters.IsPmtDone(); }
    int IsSdtDone() override { return m_TableFilters.IsSdtDone(); }
    TableProgress NitProgress() override { return m_TableFilters.NitProgress(); }
    TableProgress SdtProgress() override { return m_TableFilters.SdtProgress(); }
    TableProgress PatProgress() override { return m_TableFilters.PatProgress(); }
    int Tune(unsigned long frequency) override;
    std::optional<bool> TunerLocked() override;
    bool TunerGaveUp() override;
    void EndRequests() override { m_TableFilters.EndRequests(); }
    bool ListenForNetworks(bool listen) override {
        m_TableFilters.ListenForNetworks(listen);
        return true;
    }
    bool Probe(unsigned long frequency) override;
    std::optional<Reception> TunerReception() override;
    void ExpectDelivery(unsigned long frequency, unsigned long symbolRate, int modulation) override;
    // What the scan found, into the program list (see ProgramListMerge).
    void MergeService(const ScannedService& service, int updateNames) override;
    TableFilters& Filters() { return m_TableFilters; }
    // The scan's questions (ProgramListDialogScanChoices.cpp): which network
    // to scan where several are on air, asked only when `AskForNetwork`
    // (kelvane-cli does not ask). The scan waits on the home transport for
    // the other networks only where somebody can be asked: without a
    // question it goes on as soon as its NIT is whole and hears them on the
    // way (ListenForNetworks).
    uint16_t ChooseNetwork(const std::vector<NetworkOnAir>& networks, uint16_t scanning) override;
    void AskForNetwork(bool ask) { m_AskForNetwork = ask; }
    int64_t NetworkListenMs() override;
    // Scan Transport…: asks for a frequency, symbol rate and modulation (the
    // selected program's to begin with), then scans that transport alone.
    void OnScanTransport();
    // The next Search scans only `transport`.
    void ScanTransportNext(const TransportOnDemand& transport) { m_NextTransport = transport; }
    // The networks on the home transport, as the last scan named them; empty
    // when it saw no more than one.
    const std::string& LastScanNetworks() const { return m_LastScanNetworks; }

    // Whether the list changed since the last Load or Save: edits, Add,
    // Delete, moves, a sort, an import, a scan's merges; undone changes
    // that bring it back to what was loaded or saved do not count.
    bool HasChanges() const { return m_Changed; }
    // Whether Search ends with the scan's summary in a message box (a
    // caller that prints it itself turns that off); it goes to the status
    // line and "Last Scan…" either way.
    void ShowScanSummary(bool show) { m_ShowScanSummary = show; }
    const std::string& LastScan() const { return m_LastScan; }
    const programs::ListHistory& History() const { return m_History; }
    // The revision of the stored list this window last loaded or saved in
    // full; none when it never did, or its last Load failed.
    std::optional<uint64_t> LoadedRevision() const { return m_Revision; }

    // Check box "Update Program Names" (1 checked, 0 not); kept in the settings.
    uint32_t m_UpdateNames = 0;
    // Set at start-up; until then size changes leave the controls where they are.
    bool m_LaidOut = false;

private:
    // The menu bar and the status line, at start-up.
    void BuildMenus();
    void OnLastScan();
    // A menu command that no button has; false for other ids.
    bool RunMenuCommand(int id);
    // The title's unsaved-changes mark and the menus' states follow.
    void SetChanged(bool changed);
    void UpdateCommands();
    void SwapRows(int first, int second);
    // Moves the program at the selection mark one row up (-1) or down (+1).
    void MoveSelected(int direction);
    void SelectRow(int row);
    // Selects the row, makes it the selection mark and scrolls to it.
    void ShowRow(int row);
    // Every change of the list's programs says so here, with the list as it
    // stood before: one step of the history. Where the rows came out as they
    // were, there is nothing to record.
    void ListChanged(fw::ListView::Snapshot before, const char* what);
    // After an undo or a redo.
    void HistoryMoved();
    // Each program a new last row, what is beside its record with it; false
    // where a row could not be made.
    bool AppendPrograms(const BoardPrograms& programs);
    // An import's programs into the list as Import and Update takes them.
    void ImportUpdating(const std::vector<TunProgDataTag>& programs, const std::vector<ProgramBeside>& beside,
                        const std::string& done);
    // The programs of a reference file of Order Like…: a channel file or a
    // board database, at `path`; nothing (and the user told why) when it
    // cannot be read or none was chosen.
    std::optional<std::vector<TunProgDataTag>> ReadReference(std::string* path);

    // With changes: asks whether to save them, discard them or cancel. True
    // when the caller may go on (saved, or discarded).
    bool AskToKeepChanges();
    // Whether a save may replace what the board database holds now: asks
    // when the stored list is not empty and this window has not seen it.
    bool MayReplaceStoredList(uint32_t storedCount, uint64_t storedRevision);

    // What the last scan did, for "Last Scan…".
    std::string m_LastScan;
    bool m_ShowScanSummary = true;
    std::string m_LastScanNetworks;
    bool m_AskForNetwork = true;
    std::optional<TransportOnDemand> m_NextTransport;
    bool m_Changed = false;
    std::optional<uint64_t> m_Revision;
    BoardGateway m_Board;
    TableFilters m_TableFilters;
    programs::ProgramFindState m_Find;
    programs::ListHistory m_History;
    ScanChannelsDialog* m_Scan = nullptr;  // the scan running now
};
