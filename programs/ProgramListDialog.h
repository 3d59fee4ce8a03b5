#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "card/DBDVBX32.h"
#include "framework/Dialog.h"
#include "programs/BoardGateway.h"

// The main window (template 129): the board database's program list as a
// 25-column list that the user loads, edits, sorts and saves. The list is the
// working copy; nothing reaches the board database until Save. The window
// opens the board at start-up and closes it at its end.
//
// The four table filters ("PAT", "NIT", "STD_act", "PMT") that the window
// owns while the board is open are created, shut down and deleted at the
// places marked in ProgramListDialog.cpp; their members go here.
class ProgramListDialog : public fw::Dialog {
public:
    explicit ProgramListDialog(fw::Host& host);
    ~ProgramListDialog() override;

    bool OnInitDialog() override;
    // The end: settings written, board closed, then the window goes.
    void DestroyWindow() override;
    void OnCommand(int id) override;
    void OnSize(int cx, int cy) override;
    void OnListDoubleClick(int listId) override;
    void OnColumnClick(int listId, int column) override;

    // Handlers.
    void OnLoad();
    void OnSave();
    void OnAdd();
    void OnDelete();
    void OnMoveUp();
    void OnMoveDown();
    void OnEditProgram();
    // Ascending by the column, every time; rows that compare equal keep their order.
    void SortByColumn(int column);

    // The program list, list 1150. Its rows are read and written through the
    // column layout of ProgramListColumn and the conversions below.
    fw::ListView& ProgramList();
    void RecordToRow(const TunProgDataTag& record, int row);
    TunProgDataTag RowToRecord(int row);

    // How two cells of `column` compare in a sort: case-insensitively as
    // Unicode text for "Programm" and "State", as unsigned numbers otherwise.
    static int CompareCells(std::string_view first, std::string_view second, int column);
    // The fixed line in edit 1009.
    static const char* AboutText();

    // Check box "Update Program Names" (1 checked, 0 not); kept in the settings.
    uint32_t m_UpdateNames = 0;
    // Set at start-up; until then size changes leave the controls where they are.
    bool m_LaidOut = false;

private:
    // Reads the record at a 1-based position and appends it as the last row.
    bool AppendRecord(uint32_t position);
    // Stores a row at position row + 1.
    bool StoreRow(int row);
    void StoreAllRows();
    void SwapRows(int first, int second);
    // Moves the program at the selection mark one row up (-1) or down (+1).
    void MoveSelected(int direction);
    void SelectRow(int row);
    int ListClientWidth() const;

    BoardGateway m_Board;
};
