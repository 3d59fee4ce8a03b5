#include "cli/Table.h"

#include <algorithm>
#include <numeric>

#include "card/ProgramFields.h"
#include "programs/ProgramRowCodec.h"

namespace cli {

namespace {

constexpr size_t kGap = 2;
// Fewer characters than this and a name no longer says which program it is.
constexpr size_t kNarrowestName = 12;

// Characters, not bytes, so that names in any script line up.
size_t Width(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// The first `width` characters, the last of them an ellipsis where some were left out.
std::string Cut(const std::string& text, size_t width) {
    if (Width(text) <= width || width == 0) return text;
    size_t kept = 0, end = 0;
    while (end < text.size() && kept < width - 1) {
        ++end;
        while (end < text.size() && (text[end] & 0xC0) == 0x80) ++end;
        ++kept;
    }
    return text.substr(0, end) + "\u2026";
}

// The list's cell holds 10 Hz; a user reads MHz, to the kHz the record keeps.
std::string Megahertz(const std::string& cell) {
    if (cell.empty() || !std::all_of(cell.begin(), cell.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        cell.size() > 12)
        return cell;
    const unsigned long long tens = std::stoull(cell);
    const std::string kHz = std::to_string(tens / 100 % 1000);
    return std::to_string(tens / 100000) + "." + std::string(3 - kHz.size(), '0') + kHz;
}

}  // namespace

std::string ProgramTable(const fw::ListView& list, bool withState) {
    std::vector<int> columns;
    for (const ProgramField& field : kProgramFields) {
        if (field.inTerminalTable || (withState && field.kind == FieldKind::State)) columns.push_back(field.column);
    }
    std::vector<std::vector<std::string>> rows(1);
    for (const int column : columns) rows[0].push_back(ProgramListColumnAt(column).title);
    for (int row = 0; row < list.GetItemCount(); ++row) {
        rows.emplace_back();
        for (const int column : columns) {
            const std::string cell = list.GetItemText(row, column);
            rows.back().push_back(column == kColumnFrequency ? Megahertz(cell) : cell);
        }
    }
    std::vector<size_t> widths(columns.size(), 0);
    for (const auto& row : rows) {
        for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Width(row[i]));
    }
    // Long names give way first, so that the table fits a terminal.
    const size_t total = std::accumulate(widths.begin(), widths.end(), size_t{0}) + kGap * (columns.size() - 1);
    const auto name = std::find(columns.begin(), columns.end(), kColumnName);
    if (total > kTableWidth && name != columns.end()) {
        size_t& width = widths[static_cast<size_t>(name - columns.begin())];
        width = std::max(std::min(width, kNarrowestName), width - std::min(width, total - kTableWidth));
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            const std::string cell = Cut(row[i], widths[i]);
            line += cell;
            if (i + 1 < row.size()) line += std::string(widths[i] - Width(cell) + kGap, ' ');
        }
        out += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
    }
    return out;
}

std::string ProgramTable(const std::vector<TunProgDataTag>& programs, const std::vector<ProgramBeside>& beside) {
    fw::ListView list;
    for (int column = 0; column < kProgramListColumnCount; ++column) {
        const ProgramField& field = ProgramListColumnAt(column);
        list.InsertColumn(column, field.title, field.align, 0);
    }
    for (size_t i = 0; i < programs.size(); ++i) {
        const int row = list.InsertItem(list.GetItemCount(), std::string());
        ProgramRowCodec::RecordToRow(programs[i], list, row);
        if (i < beside.size()) ProgramRowCodec::BesideToRow(beside[i], list, row);
    }
    return ProgramTable(list, false);
}

}  // namespace cli
