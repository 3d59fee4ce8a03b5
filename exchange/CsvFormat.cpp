// The program list's 25 columns as CSV (RFC 4180): a header row of the
// list's own titles, one row per program with the cells as the list shows
// them ("Frequenz" in units of 10 Hz), CRLF line ends.
#include <cstdint>
#include <string>

#include "exchange/FormatSupport.h"
#include "programs/ProgramListColumn.h"

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
    const auto set = [&](int column, uint64_t value) { cells[column] = std::to_string(value); };
    set(kColumnNr, p.index);
    cells[kColumnName] = p.name;
    set(kColumnFrequency, uint64_t{p.frequency} * 100);
    set(kColumnProgId, p.progId);
    set(kColumnVideoPid, p.videoPid);
    set(kColumnAudioPid, p.audioPid);
    set(kColumnPmtPid, p.pmtPid);
    set(kColumnTxtPid, p.txtPid);
    set(kColumnSubtitlePid, p.subtitlePid);
    set(kColumnDataPid, p.dataPid);
    set(kColumnTsId, p.tsId);
    set(kColumnNwId, p.nwId);
    set(kColumnStandard, p.standard);
    set(kColumnExtraInfo, p.extraInfo);
    set(kColumnServiceId, p.serviceId);
    set(kColumnModulation, p.modulation);
    set(kColumnFec, p.fec);
    set(kColumnTone22kHz, p.tone22kHz);
    set(kColumnVertical, p.vertical);
    set(kColumnSymbolRate, p.symbolRate);
    set(kColumnProgType, p.progType);
    set(kColumnIpFilter, p.ipFilter);
    set(kColumnReserved1, p.reserved1);
    set(kColumnReserved2, p.reserved2);
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
    const auto title = [](int column) { return ProgramListColumnAt(column).title; };
    const auto field = [&](int column, uint64_t max, auto& value) {
        return reader.Field(f[column], title(column), max, value);
    };
    const auto pid = [&](int column, uint16_t& value) { return reader.Pid(f[column], title(column), value); };
    p.name = f[kColumnName];
    uint64_t frequency = 0;
    if (!reader.Number(f[kColumnFrequency], title(kColumnFrequency), uint64_t{UINT32_MAX} * 100 + 99, frequency)) {
        return false;
    }
    p.frequency = static_cast<uint32_t>(frequency / 100);
    return field(kColumnNr, UINT32_MAX, p.index) && field(kColumnProgId, UINT16_MAX, p.progId) &&
           pid(kColumnVideoPid, p.videoPid) && pid(kColumnAudioPid, p.audioPid) && pid(kColumnPmtPid, p.pmtPid) &&
           pid(kColumnTxtPid, p.txtPid) && pid(kColumnSubtitlePid, p.subtitlePid) &&
           pid(kColumnDataPid, p.dataPid) && field(kColumnTsId, UINT16_MAX, p.tsId) &&
           field(kColumnNwId, UINT16_MAX, p.nwId) && field(kColumnStandard, UINT32_MAX, p.standard) &&
           field(kColumnExtraInfo, UINT32_MAX, p.extraInfo) && field(kColumnServiceId, UINT16_MAX, p.serviceId) &&
           field(kColumnModulation, UINT8_MAX, p.modulation) && field(kColumnFec, UINT8_MAX, p.fec) &&
           field(kColumnTone22kHz, UINT32_MAX, p.tone22kHz) && field(kColumnVertical, UINT32_MAX, p.vertical) &&
           field(kColumnSymbolRate, UINT32_MAX, p.symbolRate) && field(kColumnProgType, UINT8_MAX, p.progType) &&
           field(kColumnIpFilter, UINT8_MAX, p.ipFilter) && field(kColumnReserved1, UINT32_MAX, p.reserved1) &&
           field(kColumnReserved2, UINT32_MAX, p.reserved2);
}

}  // namespace

std::string ExportCsv(const std::vector<TunProgDataTag>& programs) {
    std::string out;
    std::vector<std::string> header;
    for (int column = 0; column < kProgramListColumnCount; ++column) header.push_back(ProgramListColumnAt(column).title);
    AppendRow(out, header);
    // Records hold no "State": that column stays empty.
    for (const TunProgDataTag& p : programs) AppendRow(out, Cells(p));
    return out;
}

std::optional<std::string> ImportCsv(std::string_view text, const std::string& fileName,
                                     std::vector<TunProgDataTag>& programs) {
    // A spreadsheet may start its UTF-8 with a byte order mark.
    if (StartsWith(text, "\xEF\xBB\xBF")) text.remove_prefix(3);
    LineReader reader(fileName, 1);
    std::vector<Row> rows;
    if (!ReadRows(text, reader, rows)) return reader.Error();
    for (size_t i = 0; i < rows.size(); ++i) {
        reader.SetLine(rows[i].line);
        const std::vector<std::string>& f = rows[i].fields;
        if (f.size() != kProgramListColumnCount) {
            reader.Fail("expected " + std::to_string(kProgramListColumnCount) + " fields, found " +
                        std::to_string(f.size()));
            return reader.Error();
        }
        if (i == 0) {
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
        programs.push_back(std::move(program));
    }
    return std::nullopt;
}

}  // namespace exchange::detail
