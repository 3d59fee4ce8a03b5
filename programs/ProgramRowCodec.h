#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "card/DBDVBX32.h"
#include "card/ProgramBeside.h"
#include "framework/ListView.h"

// The two conversions between a board database record and one row of the
// program list (columns 0 to 23; column 24, the scan state, is neither written
// nor read). The list shows every number as unsigned decimal text and the
// frequency in units of 10 Hz.
class ProgramRowCodec {
public:
    // Writes the cells of columns 0 to 23 of `row`. The frequency is multiplied
    // by 100 in 32-bit arithmetic, so a value above 42949672 wraps.
    static void RecordToRow(const TunProgDataTag& record, fw::ListView& list, int row);
    // Reads columns 0 to 23 of `row`: 16-bit and 8-bit fields take the low
    // bits of their number, the frequency is the cell divided by 100.
    static TunProgDataTag RowToRecord(const fw::ListView& list, int row);
    // What the board database keeps beside the record, in the row: "LCN"
    // (decimal, empty for none) and "CA" (CaSystemsText); the audio PID's
    // stream type, in no column, as the row's attachment.
    static void BesideToRow(const ProgramBeside& beside, fw::ListView& list, int row);
    static ProgramBeside RowToBeside(const fw::ListView& list, int row);

    // A cell's number: leading blanks skipped, decimal digits up to the first
    // other character; 0 when there is no digit, 4294967295 when the digits
    // go past it.
    static uint32_t ReadNumber(std::string_view text);
    // A number the user typed into a field: decimal digits only, blanks
    // around them allowed, at most `max`; nullopt for anything else.
    static std::optional<uint32_t> ReadTypedNumber(std::string_view text, uint32_t max);
};
