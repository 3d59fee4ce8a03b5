#pragma once

#include <string>
#include <vector>

#include "card/DBDVBX32.h"
#include "card/ProgramBeside.h"
#include "framework/ListView.h"

namespace cli {

// What a table is kept within: a terminal of 100 columns.
inline constexpr size_t kTableWidth = 100;

// The program list's columns a terminal has room for: the list's own titles
// and cell texts (the frequency in MHz), in columns padded to their widest
// cell; names too long for kTableWidth are cut with an ellipsis.
std::string ProgramTable(const fw::ListView& list, bool withState);
// The same for records, through the list's own row conversion.
std::string ProgramTable(const std::vector<TunProgDataTag>& programs, const std::vector<ProgramBeside>& beside);

}  // namespace cli
