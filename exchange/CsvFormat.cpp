// The program list's 25 columns as CSV (RFC 4180): a header row of the
// list's own titles, one row per program with the cells as the list shows
// them ("Frequenz" in units of 10 Hz), CRLF line ends.
#include <cstdint>
#include <string>

#include "exchange/FormatSupport.h"
#include "card/ProgramFields.h"

namespace exchange::detail {

namespace {

void AppendField(std::string& out, std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += field;
        return;
    }
    out += '"';
    for (const char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

void AppendRow(std::string& out, const std::vector<std::string>& fields) {
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) out += ',';
        AppendField(out, fields[i]);
    }
    out += "\r\n";
}

std::vector<std::string> Cells(const TunProgDataTag& p) {
    std::vector<std::string> cells(kProgramListColumnCount);
    for (const ProgramField& field : kProgramFields) {
        switch (field.kind) {
            case FieldKind::Name: cells[field.column] = NameInFile(p); break;
            case FieldKind::Frequency: cells[field.column] = std::to_string(uint64_t{field.member.get(p)} * 100); break;
            case FieldKind::Number: cells[field.column] = std::to_string(field.member.get(p)); break;
            // Records hold no "State": that column stays empty.
            case FieldKind::State: break;
        }
    }
    return cells;
}

struct Row {
    size_t line = 0;
    std::vector<std::string> fields;
};

// RFC 4180 records; a quoted field may span lines. A row is reported by the
// line it starts on.
bool ReadRows(std::string_view text, LineReader& reader, std::vector<Row>& rows) {
    size_t pos = 0;
    size_t line = 1;
    const auto atRowEnd = [&]() { return pos == text.size() || text[pos] == '\n' || text.substr(pos, 2) == "\r\n"; };
    while (pos < text.size()) {
        Row row;
        row.line = line;
        reader.SetLine(line);
        if (atRowEnd()) {
            // A blank line holds no row.
            pos += text[pos] == '\r' ? 2 : 1;
            ++line;
            continue;
        }
        for (;;) {
            std::string field;
            if (pos < text.size() && text[pos] == '"') {
                ++pos;
                for (;;) {
                    if (pos == text.size()) return reader.Fail("quoted field is not closed");
                    if (text[pos] == '"') {
                        if (pos + 1 < text.size() && text[pos + 1] == '"') {
                            field += '"';
                            pos += 2;
                            continue;
                        }
                        ++pos;
                        break;
                    }
                    if (text[pos] == '\n') ++line;
                    field += text[pos++];
                }
                if (!atRowEnd() && text[pos] != ',') return reader.Fail("text after a closing quote");
            } else {
                while (!atRowEnd() && text[pos] != ',') {
                    if (text[pos] == '"') return reader.Fail("quote inside an unquoted field");
                    field += text[pos++];
                }
            }
            row.fields.push_back(std::move(field));
            if (pos < text.size() && text[pos] == ',') {
                ++pos;
                continue;
            }
            if (pos < text.size()) {
                pos += text[pos] == '\r' ? 2 : 1;
                ++line;
            }
            break;
        }
        rows.push_back(std::move(row));
    }
    return true;
}

bool ReadProgram(LineReader& reader, const std::vector<std::string>& f, TunProgDataTag& p) {
    for (const ProgramField& field : kProgramFields) {
        const std::string& cell = f[field.column];
        uint64_t value = 0;
        switch (field.kind) {
            case FieldKind::Name: p.name = cell; break;
            case FieldKind::Frequency:
                if (!reader.Number(cell, field.title, uint64_t{field.fileMax} * 100 + 99, value)) return false;
                field.member.set(p, static_cast<uint32_t>(value / 100));
                break;
            case FieldKind::Number:
                if (!reader.Number(cell, field.title, field.fileMax, value)) return false;
                field.member.set(p, static_cast<uint32_t>(value));
                break;
            case FieldKind::State: break;
        }
    }
    return true;
}

}  // namespace

// After the list's columns, the operator's channel number, empty for none.
constexpr const char* kLcnTitle = "LCN";

std::string ExportCsv(const std::vector<TunProgDataTag>& programs, const std::vector<uint32_t>& channelNumbers) {
    std::string out;
    std::vector<std::string> header;
    for (int column = 0; column < kProgramListColumnCount; ++column) header.push_back(ProgramListColumnAt(column).title);
    header.push_back(kLcnTitle);
    AppendRow(out, header);
    for (size_t i = 0; i < programs.size(); ++i) {
        std::vector<std::string> cells = Cells(programs[i]);
        const uint32_t number = ChannelNumberAt(channelNumbers, i);
        cells.push_back(number != 0 ? std::to_string(number) : std::string());
        AppendRow(out, cells);
    }
    return out;
}

std::optional<std::string> ImportCsv(std::string_view text, const std::string& fileName,
                                     std::vector<TunProgDataTag>& programs, std::vector<uint32_t>& channelNumbers) {
    // A spreadsheet may start its UTF-8 with a byte order mark.
    if (StartsWith(text, "\xEF\xBB\xBF")) text.remove_prefix(3);
    LineReader reader(fileName, 1);
    std::vector<Row> rows;
    if (!ReadRows(text, reader, rows)) return reader.Error();
    // Files written before the channel numbers end with the list's columns.
    const bool withLcn = !rows.empty() && rows[0].fields.size() == kProgramListColumnCount + 1;
    const size_t fields = kProgramListColumnCount + (withLcn ? 1 : 0);
    for (size_t i = 0; i < rows.size(); ++i) {
        reader.SetLine(rows[i].line);
        const std::vector<std::string>& f = rows[i].fields;
        if (f.size() != fields) {
            reader.Fail("expected " + std::to_string(fields) + " fields, found " + std::to_string(f.size()));
            return reader.Error();
        }
        if (i == 0) {
            if (withLcn && f.back() != kLcnTitle) {
                reader.Fail("the header row is not the program list's columns (\"" + f.back() + "\" where \"" +
                            kLcnTitle + "\" belongs)");
                return reader.Error();
            }
            for (int column = 0; column < kProgramListColumnCount; ++column) {
                if (f[column] != ProgramListColumnAt(column).title) {
                    reader.Fail("the header row is not the program list's columns (\"" + f[column] + "\" where \"" +
                                ProgramListColumnAt(column).title + "\" belongs)");
                    return reader.Error();
                }
            }
            continue;
        }
        TunProgDataTag program;
        if (!ReadProgram(reader, f, program)) return reader.Error();
        uint64_t number = 0;
        if (withLcn && !f.back().empty() && !reader.Number(f.back(), kLcnTitle, kMaxChannelNumber, number))
            return reader.Error();
        programs.push_back(std::move(program));
        channelNumbers.push_back(static_cast<uint32_t>(number));
    }
    return std::nullopt;
}

}  // namespace exchange::detail
