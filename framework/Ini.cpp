#include "framework/Ini.h"

#include "framework/AsciiCase.h"

namespace fw {

std::string TrimBlanks(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const auto b = text.find_first_not_of(kBlanks);
    if (b == std::string_view::npos) return {};
    const auto e = text.find_last_not_of(kBlanks);
    return std::string(text.substr(b, e - b + 1));
}

IniLine ParseIniLine(std::string_view raw) {
    IniLine line;
    const std::string text = TrimBlanks(raw);
    if (text.empty()) return line;
    if (text.front() == ';' || text.front() == '#') {
        line.kind = IniLine::Kind::Comment;
        return line;
    }
    if (text.front() == '[') {
        if (const auto close = text.find(']'); close != std::string::npos) {
            line.kind = IniLine::Kind::Section;
            line.name = TrimBlanks(std::string_view(text).substr(1, close - 1));
            return line;
        }
    }
    const auto eq = text.find('=');
    if (eq == std::string::npos) {
        line.kind = IniLine::Kind::Other;
        return line;
    }
    line.kind = IniLine::Kind::Assignment;
    line.name = TrimBlanks(std::string_view(text).substr(0, eq));
    line.value = TrimBlanks(std::string_view(text).substr(eq + 1));
    return line;
}

bool IniNamesMatch(std::string_view a, std::string_view b) { return EqualsAsciiNoCase(a, b); }

std::optional<uint64_t> IniNumber(std::string_view value, uint64_t max) {
    if (value.empty()) return std::nullopt;
    uint64_t number = 0;
    for (const char c : value) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<uint64_t>(c - '0');
        if (number > (max - digit) / 10 || digit > max) return std::nullopt;
        number = number * 10 + digit;
    }
    return number;
}

}  // namespace fw
