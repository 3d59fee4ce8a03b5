// What keeps a program list through an operator's re-shuffles, on records:
// putting it in the order of a reference list, and an import that updates
// the programs the list has already. The window and kelvane-cli both use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "card/DBDVBX32.h"
#include "card/ProgramBeside.h"

namespace programs {

// The list's programs in the order of a reference: `order` names each
// program by its place in the list, matched ones first in the reference's
// order, then the others in their own. A program matches a reference entry
// by NW-ID, TS-ID and Prog-ID, else by NW-ID and Prog-ID (a service that
// moved to another transport), else by its name, case folded; each entry of
// the reference matches one program at most, each program one entry.
struct ReferenceOrder {
    std::vector<size_t> order;
    size_t matched = 0;
};
ReferenceOrder OrderLike(const std::vector<TunProgDataTag>& programs, const std::vector<TunProgDataTag>& reference);

// What an import did to a program of the list.
enum class ImportState { Added, Updated, Actual };
// "added", "updated", "actual": the "State" a scan writes too.
const char* StateText(ImportState state);

struct ImportCounts {
    size_t added = 0, updated = 0, actual = 0;
};
// "1 added, 2 updated, 3 actual", as the window and kelvane-cli say it.
std::string CountsText(const ImportCounts& counts);

// The imported programs into the list, as a scan merges services: every
// program with an imported one's NW-ID and Prog-ID takes its fields (the
// name only with `updateNames`; the channel number where the file gives
// one) and is "updated" where something changed, "actual" where nothing
// did; an imported program the list has not got is appended as "added".
// `beside` runs beside `list`, `importedBeside` beside `imported`; a value
// the file gives (not 0) replaces the row's.
// The result has one entry per program of the list afterwards: nothing for
// those the import did not touch.
std::vector<std::optional<ImportState>> ImportUpdating(std::vector<TunProgDataTag>& list,
                                                       std::vector<ProgramBeside>& beside,
                                                       const std::vector<TunProgDataTag>& imported,
                                                       const std::vector<ProgramBeside>& importedBeside, bool updateNames,
                                                       ImportCounts* counts);

}  // namespace programs
