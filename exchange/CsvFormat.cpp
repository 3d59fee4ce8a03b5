// The program list's columns as CSV (RFC 4180): a header row of the list's
// own titles, one row per program with the cells as the list shows them
// ("Frequenz" in units of 10 Hz, "CA" in hex), and last the audio PID's
// stream type, which no column shows; CRLF line ends.
#include <cstdint>
#include <string>

#include "exchange/FormatSupport.h"
#include "card/ProgramFields.h"

namespace exchange::detail {

namespace {

// OWASP's advice on CSV injection: a spreadsheet takes a cell that begins
// with one of these as a formula (names come from broadcast data, which
// anyone with a modulator writes), so such a cell goes out behind a "'",
// which spreadsheets show as text. A cell that begins with "'" itself gets
// one more, so that the import, which drops the first, gives it back whole.
bool TakenAsFormula(std::string_view cell) {
    return !cell.empty() && std::string_view("=+-@\t\r'").find(cell[0]) != std::string_view::npos;
}

void AppendField(std::string& out, std::string_view cell) {
    const std::string guarded = TakenAsFormula(cell) ? "'" + std::string(cell) : std::string(cell);
    const std::string_view field = guarded;
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

std::vector<std::string> Cells(const TunProgDataTag& p, const ProgramBeside& beside) {
    std::vector<std::string> cells(kProgramListColumnCount);
    for (const ProgramField& field : kProgramFields) {
        switch (field.kind) {
            case FieldKind::Name: cells[field.column] = NameInFile(p); break;
            case FieldKind::Frequency: cells[field.column] = std::to_string(uint64_t{field.member.get(p)} * 100); break;
            case FieldKind::Number: cells[field.column] = std::to_string(field.member.get(p)); break;
            // Records hold no "State": that column stays empty.
            case FieldKind::State: break;
            case FieldKind::ChannelNumber:
                if (beside.channelNumber != 0) cells[field.column] = std::to_string(beside.channelNumber);
                break;
            case FieldKind::CaSystems: cells[field.column] = CaSystemsText(beside.caSystems); break;
        }
    }
    cells.push_back(beside.audioStreamType != 0 ? std::to_string(beside.audioStreamType) : std::string());
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

// How many fields a row has, oldest form first: files were written with the
// 25 columns, then with "LCN" after them, now with "CA" and the audio type too.
constexpr const char* kAudioTypeTitle = "Audio-Type";
constexpr size_t kShortestRows[] = {kColumnLcn, kColumnCa, kProgramListColumnCount + 1};

// What the export's "'" guards, as it was.
std::string Unguarded(const std::string& cell) {
    return cell.size() > 1 && cell[0] == '\'' && TakenAsFormula(std::string_view(cell).substr(1)) ? cell.substr(1) : cell;
}

bool ReadProgram(LineReader& reader, const std::vector<std::string>& f, TunProgDataTag& p, ProgramBeside& beside) {
    for (const ProgramField& field : kProgramFields) {
        if (static_cast<size_t>(field.column) >= f.size()) break;
        const std::string cell = Unguarded(f[field.column]);
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
            case FieldKind::ChannelNumber:
                if (!cell.empty() && !reader.Number(cell, field.title, field.fileMax, value)) return false;
                beside.channelNumber = static_cast<uint32_t>(value);
                break;
            case FieldKind::CaSystems: {
                const std::optional<uint32_t> ids = ReadCaSystemsText(cell);
                if (!ids) return reader.Fail("CA \"" + cell + "\" is not hex ids (\"0B00 1702\")");
                beside.caSystems = *ids;
                break;
            }
        }
    }
    if (f.size() > kProgramListColumnCount) {
        uint64_t value = 0;
        const std::string cell = Unguarded(f.back());
        if (!cell.empty() && !reader.Number(cell, kAudioTypeTitle, kMaxAudioStreamType, value)) return false;
        beside.audioStreamType = static_cast<uint32_t>(value);
    }
    return true;
}

// The title of a column of the file.
const char* TitleAt(size_t column) {
    return column < kProgramListColumnCount ? ProgramListColumnAt(static_cast<int>(column)).title : kAudioTypeTitle;
}

}  // namespace

std::string ExportCsv(const std::vector<TunProgDataTag>& programs, const std::vector<ProgramBeside>& beside) {
    std::string out;
    std::vector<std::string> header;
    for (size_t column = 0; column < kShortestRows[std::size(kShortestRows) - 1]; ++column) header.push_back(TitleAt(column));
    AppendRow(out, header);
    for (size_t i = 0; i < programs.size(); ++i) AppendRow(out, Cells(programs[i], BesideAt(beside, i)));
    return out;
}

std::optional<std::string> ImportCsv(std::string_view text, const std::string& fileName,
                                     std::vector<TunProgDataTag>& programs, std::vector<ProgramBeside>& beside) {
    // A spreadsheet may start its UTF-8 with a byte order mark.
    if (StartsWith(text, "\xEF\xBB\xBF")) text.remove_prefix(3);
    LineReader reader(fileName, 1);
    std::vector<Row> rows;
    if (!ReadRows(text, reader, rows)) return reader.Error();
    // The header row says which of the forms the file has; the longest by default.
    size_t fields = kShortestRows[std::size(kShortestRows) - 1];
    for (const size_t form : kShortestRows) {
        if (!rows.empty() && rows[0].fields.size() == form) fields = form;
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        reader.SetLine(rows[i].line);
        const std::vector<std::string>& f = rows[i].fields;
        if (f.size() != fields) {
            reader.Fail("expected " + std::to_string(fields) + " fields, found " + std::to_string(f.size()));
            return reader.Error();
        }
        if (i == 0) {
            for (size_t column = 0; column < fields; ++column) {
                if (f[column] != TitleAt(column)) {
                    reader.Fail("the header row is not the program list's columns (\"" + f[column] + "\" where \"" +
                                TitleAt(column) + "\" belongs)");
                    return reader.Error();
                }
            }
            continue;
        }
        TunProgDataTag program;
        ProgramBeside values;
        if (!ReadProgram(reader, f, program, values)) return reader.Error();
        programs.push_back(std::move(program));
        beside.push_back(values);
    }
    return std::nullopt;
}

}  // namespace exchange::detail
