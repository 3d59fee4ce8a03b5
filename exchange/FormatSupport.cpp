#include "exchange/FormatSupport.h"

#include "card/ProgramFields.h"
#include "text/Utf8.h"

namespace exchange::detail {

TunProgDataTag NewImportedProgram() { return PresetProgram(); }

void SetProgramType(TunProgDataTag& program) {
    // EN 300 468 service_type: 0x01 digital television, 0x02 digital radio sound.
    if (program.videoPid != 0) program.progType = 1;
    else if (program.audioPid != 0) program.progType = 2;
}

std::string OneLine(std::string_view name) {
    std::string line(name);
    for (char& c : line) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return line;
}

std::string NameInFile(const TunProgDataTag& program) {
    if (Trim(program.name).empty()) return "Service " + std::to_string(program.progId);
    return program.name;
}

std::string ExportName(const TunProgDataTag& program) { return OneLine(NameInFile(program)); }

std::string EscapeLineName(std::string_view name, bool escapeHash) {
    const size_t first = name.find_first_not_of(" \t");
    // What the reader takes a backslash before as an escape.
    const auto special = [&](size_t i) {
        if (i >= name.size()) return false;
        const char c = name[i];
        return c == ':' || c == '|' || c == '\\' || c == '#';
    };
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == ':') out += '|';
        else if (c == '|') out += "\\|";
        else if (c == '\\' && special(i + 1)) out += "\\\\";
        else if (c == '#' && escapeHash && i == first) out += "\\#";
        else out += c;
    }
    return out;
}

std::string UnescapeLineName(std::string_view field) {
    std::string name;
    for (size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 1 < field.size() && (field[i + 1] == '|' || field[i + 1] == '#' || field[i + 1] == '\\')) {
            name += field[++i];
        } else if (c == '|') {
            name += ':';
        } else {
            name += c;
        }
    }
    return name;
}

namespace {

// ISO-8859-15 is Latin-1 but for eight places.
uint32_t Latin9(unsigned char c) {
    switch (c) {
        case 0xA4: return 0x20AC;  // euro sign
        case 0xA6: return 0x0160;
        case 0xA8: return 0x0161;
        case 0xB4: return 0x017D;
        case 0xB8: return 0x017E;
        case 0xBC: return 0x0152;
        case 0xBD: return 0x0153;
        case 0xBE: return 0x0178;
        default: return c;
    }
}

// Editors on Windows start UTF-8 with a byte order mark, and a file joined
// from several such files has one at the start of a line: it is no text.
std::string WithoutByteOrderMarks(std::string_view text) {
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    std::string out;
    out.reserve(text.size());
    bool lineStart = true;
    for (size_t pos = 0; pos < text.size();) {
        if (lineStart && text.substr(pos, kMark.size()) == kMark) {
            pos += kMark.size();
            continue;
        }
        lineStart = text[pos] == '\n';
        out += text[pos++];
    }
    return out;
}

}  // namespace

std::string ToUtf8(std::string_view raw) {
    const std::string plain = WithoutByteOrderMarks(raw);
    if (fw::IsUtf8(plain)) return plain;
    std::string out;
    out.reserve(plain.size() + plain.size() / 4);
    for (const char c : plain) fw::AppendUtf8(out, Latin9(static_cast<unsigned char>(c)));
    return out;
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const size_t end = text.find(separator);
        parts.push_back(text.substr(0, end));
        if (end == std::string_view::npos) return parts;
        text.remove_prefix(end + 1);
    }
}

std::string_view Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool LineReader::Fail(const std::string& message) {
    if (!m_Error.empty()) return false;
    // The error is one line wherever it is shown: a stray CR in a quoted
    // value (or a CSV cell's line break) is shown, not obeyed.
    std::string oneLine;
    for (const char c : message) {
        if (c == '\r') oneLine += "\\r";
        else if (c == '\n') oneLine += "\\n";
        else oneLine += c;
    }
    m_Error = m_FileName + ":" + std::to_string(m_Line) + ": " + oneLine;
    return false;
}

bool LineReader::Number(std::string_view text, const char* what, uint64_t max, uint64_t& value) {
    value = 0;
    if (text.empty()) return Fail(std::string(what) + " is missing");
    for (const char c : text) {
        if (c < '0' || c > '9') return Fail(std::string(what) + " \"" + std::string(text) + "\" is not a number");
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (digit > max || value > (max - digit) / 10) return Fail(std::string(what) + " " + std::string(text) + " is above " + std::to_string(max));
        value = value * 10 + digit;
    }
    return true;
}

}  // namespace exchange::detail
