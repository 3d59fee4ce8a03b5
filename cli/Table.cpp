#include "cli/Table.h"

#include <algorithm>

#include "card/ProgramFields.h"
#include "programs/ProgramRowCodec.h"

namespace cli {

namespace {

// Characters, not bytes, so that names in any script line up.
size_t Width(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
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
        for (const int column : columns) rows.back().push_back(list.GetItemText(row, column));
    }
    std::vector<size_t> widths(columns.size(), 0);
    for (const auto& row : rows) {
        for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Width(row[i]));
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line += std::string(widths[i] - Width(row[i]) + 2, ' ');
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
