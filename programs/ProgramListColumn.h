#pragma once

#include "framework/ListView.h"

// The 25 columns of the program list. Columns 0 to 23 carry the fields of a
// TunProgDataTag; column 24 holds the scan's state text ("added", "updated",
// "actual") and belongs to the merge of scan results.
enum ProgramListColumn : int {
    kColumnNr = 0,
    kColumnName = 1,
    kColumnFrequency = 2,
    kColumnProgId = 3,
    kColumnVideoPid = 4,
    kColumnAudioPid = 5,
    kColumnPmtPid = 6,
    kColumnTxtPid = 7,
    kColumnSubtitlePid = 8,
    kColumnDataPid = 9,
    kColumnTsId = 10,
    kColumnNwId = 11,
    kColumnStandard = 12,
    kColumnExtraInfo = 13,
    kColumnServiceId = 14,
    kColumnModulation = 15,
    kColumnFec = 16,
    kColumnTone22kHz = 17,
    kColumnVertical = 18,
    kColumnSymbolRate = 19,
    kColumnProgType = 20,
    kColumnIpFilter = 21,
    kColumnReserved1 = 22,
    kColumnReserved2 = 23,
    kColumnState = 24,
};

inline constexpr int kProgramListColumnCount = 25;
// Columns 0 to 23: the ones a record fills.
inline constexpr int kProgramRecordColumnCount = 24;

struct ProgramListColumnInfo {
    const char* title;
    fw::Align align;
    // Share of the list's client width less a vertical scroll bar.
    double widthFraction;
};

// Title, alignment and width share of a column, 0 to 24.
const ProgramListColumnInfo& ProgramListColumnAt(int column);

// Whether a column sorts by text (case-insensitively) rather than by number.
inline bool IsTextColumn(int column) { return column == kColumnName || column == kColumnState; }
