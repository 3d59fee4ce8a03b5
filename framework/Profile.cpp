#include "framework/Profile.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "framework/Ini.h"

namespace fw {

namespace {

// The file's lines without their line ends; false when the file is there but
// cannot be read.
bool ReadLines(Files& files, const std::string& path, std::vector<std::string>* lines) {
    std::string text;
    const Files::ReadResult result = files.ReadAll(path, &text);
    lines->clear();
    if (result == Files::ReadResult::Failed) return false;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines->push_back(std::move(line));
        begin = end + 1;
    }
    return true;
}

// The value of the first assignment to `key` in `section`.
std::optional<std::string> FindValue(Files& files, const std::string& path, const std::string& section,
                                     const std::string& key) {
    std::vector<std::string> lines;
    ReadLines(files, path, &lines);
    bool inSection = false;
    for (const auto& raw : lines) {
        IniLine line = ParseIniLine(raw);
        if (line.kind == IniLine::Kind::Section) {
            inSection = IniNamesMatch(line.name, section);
            continue;
        }
        if (!inSection || line.kind != IniLine::Kind::Assignment || !IniNamesMatch(line.name, key)) continue;
        return std::move(line.value);
    }
    return std::nullopt;
}

}  // namespace

int Profile::GetInt(const std::string& section, const std::string& key, int defaultValue) const {
    const std::optional<std::string> value = FindValue(*m_Files, m_Path, section, key);
    if (!value) return defaultValue;
    // Like the profile functions: a leading decimal number with an optional
    // sign; a value that does not start with one is the default.
    const char* begin = value->c_str();
    char* end = nullptr;
    errno = 0;
    const long long n = std::strtoll(begin, &end, 10);
    if (end == begin || errno == ERANGE || n < INT32_MIN || n > INT32_MAX) return defaultValue;
    return static_cast<int>(n);
}

std::string Profile::GetString(const std::string& section, const std::string& key,
                               const std::string& defaultValue) const {
    const std::optional<std::string> value = FindValue(*m_Files, m_Path, section, key);
    if (!value) return defaultValue;
    // Quotes keep blanks at either end, as the profile functions allow.
    if (value->size() >= 2 && value->front() == '"' && value->back() == '"') return value->substr(1, value->size() - 2);
    return *value;
}

bool Profile::WriteInt(const std::string& section, const std::string& key, int value) {
    return WriteValue(section, key, std::to_string(value));
}

bool Profile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    if (value.find_first_of("\r\n") != std::string::npos) return false;
    const bool quote = !value.empty() && (value.front() == ' ' || value.front() == '\t' || value.back() == ' ' ||
                                          value.back() == '\t' || (value.front() == '"' && value.back() == '"'));
    return WriteValue(section, key, quote ? '"' + value + '"' : value);
}

bool Profile::WriteValue(const std::string& section, const std::string& key, const std::string& value) {
    std::vector<std::string> lines;
    if (!ReadLines(*m_Files, m_Path, &lines)) return false;
    const std::string assignment = key + "=" + value;
    int sectionLine = -1;
    int insertAt = -1;
    bool written = false;
    for (size_t i = 0; i < lines.size() && !written; ++i) {
        const IniLine line = ParseIniLine(lines[i]);
        if (line.kind == IniLine::Kind::Section) {
            if (sectionLine >= 0) break;  // the section ended without the key
            if (IniNamesMatch(line.name, section)) {
                sectionLine = static_cast<int>(i);
                insertAt = static_cast<int>(i) + 1;
            }
            continue;
        }
        if (sectionLine < 0) continue;
        if (line.kind != IniLine::Kind::Blank) insertAt = static_cast<int>(i) + 1;
        if (line.kind == IniLine::Kind::Assignment && IniNamesMatch(line.name, key)) {
            lines[i] = assignment;
            written = true;
        }
    }
    if (!written) {
        if (sectionLine < 0) {
            if (!lines.empty() && ParseIniLine(lines.back()).kind != IniLine::Kind::Blank) lines.emplace_back();
            lines.push_back("[" + section + "]");
            lines.push_back(assignment);
        } else {
            lines.insert(lines.begin() + insertAt, assignment);
        }
    }
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    // Write beside the file and rename, so a crash never leaves half a file;
    // a write that fails takes its half-written copy away again.
    const std::string temp = m_Path + ".tmp";
    if (m_Files->WriteAll(temp, text) && m_Files->Rename(temp, m_Path)) return true;
    m_Files->Remove(temp);
    return false;
}

}  // namespace fw
