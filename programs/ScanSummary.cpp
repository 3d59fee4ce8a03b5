#include "programs/ScanSummary.h"

#include <optional>

#include "card/ProgramFields.h"

namespace programs {

namespace {

// "N added, N updated, N actual" and, after a scan that ran to its end,
// ", N missing", from the list's "State" cells.
std::string StateCounts(fw::ListView& programs, bool withMissing) {
    int added = 0, updated = 0, actual = 0, missing = 0;
    for (int row = 0; row < programs.GetItemCount(); ++row) {
        const std::string& state = programs.ItemText(row, kColumnState);
        added += state == "added";
        updated += state == "updated";
        actual += state == "actual";
        missing += state == "missing";
    }
    return std::to_string(added) + " added, " + std::to_string(updated) + " updated, " + std::to_string(actual) +
           " actual" + (withMissing ? ", " + std::to_string(missing) + " missing" : std::string());
}

}  // namespace

std::string ScanSummary(fw::ListView& programs, const std::vector<ScanChannelsDialog::SilentTransport>& silent,
                        const NotChecked& notChecked, const std::string& sweep) {
    const std::string summary = "Scan: " + StateCounts(programs, true) + "; ";
    const std::string swept = sweep.empty() ? std::string() : "; " + sweep;
    const std::string unchecked = notChecked.programs ? ". " + NotCheckedText(notChecked) : std::string();
    if (silent.empty()) return summary + "every transport locked" + swept + unchecked;
    const struct {
        std::optional<bool> locked;
        const char* what;
    } kinds[] = {{false, "no lock on"}, {true, "locked but no SDT on"}, {std::nullopt, "no SDT on"}};
    std::string parts;
    for (const auto& kind : kinds) {
        std::string list;
        for (const auto& transport : silent) {
            if (transport.locked != kind.locked) continue;
            list += (list.empty() ? " " : ", ") + transport.transport;
        }
        if (!list.empty()) parts += (parts.empty() ? "" : "; ") + std::string(kind.what) + list;
    }
    return summary + parts + swept + unchecked;
}

std::string StoppedScanSummary(fw::ListView& programs) {
    return "Scan closed before its end: " + StateCounts(programs, false) + "; what it merged stays in the list";
}

}  // namespace programs
