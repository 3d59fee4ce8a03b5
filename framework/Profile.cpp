#include "framework/Profile.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

namespace fw {

namespace {

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (in && std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool IsSection(const std::string& trimmed, std::string* name) {
    if (trimmed.size() < 2 || trimmed.front() != '[') return false;
    const auto close = trimmed.find(']');
    if (close == std::string::npos) return false;
    *name = Trim(trimmed.substr(1, close - 1));
    return true;
}

// Splits "key=value"; false for lines that are not assignments.
bool IsAssignment(const std::string& trimmed, std::string* key, std::string* value) {
    const auto eq = trimmed.find('=');
    if (eq == std::string::npos || trimmed.front() == ';') return false;
    *key = Trim(trimmed.substr(0, eq));
    *value = Trim(trimmed.substr(eq + 1));
    return true;
}

// The value of the first assignment to `key` in `section`, trimmed.
std::optional<std::string> FindValue(const std::string& path, const std::string& section, const std::string& key) {
    std::string name, k, v;
    bool inSection = false;
    for (const auto& raw : ReadLines(path)) {
        const std::string line = Trim(raw);
        if (line.empty()) continue;
        if (IsSection(line, &name)) {
            inSection = EqualNoCase(name, section);
            continue;
        }
        if (inSection && IsAssignment(line, &k, &v) && EqualNoCase(k, key)) return v;
    }
    return std::nullopt;
}

}  // namespace

std::string Profile::GetString(const std::string& section, const std::string& key,
                               const std::string& defaultValue) const {
    const std::optional<std::string> value = FindValue(m_Path, section, key);
    if (!value) return defaultValue;
    // Quotes keep white space at either end, as the profile functions allow.
    if (value->size() >= 2 && value->front() == '"' && value->back() == '"') return value->substr(1, value->size() - 2);
    return *value;
}

int Profile::GetInt(const std::string& section, const std::string& key, int defaultValue) const {
    const std::optional<std::string> value = FindValue(m_Path, section, key);
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

bool Profile::WriteInt(const std::string& section, const std::string& key, int value) {
    std::vector<std::string> lines = ReadLines(m_Path);
    const std::string assignment = key + "=" + std::to_string(value);
    std::string name, k, v;
    int sectionLine = -1;
    int insertAt = -1;
    bool written = false;
    for (size_t i = 0; i < lines.size() && !written; ++i) {
        const std::string line = Trim(lines[i]);
        if (IsSection(line, &name)) {
            if (sectionLine >= 0) break;  // the section ended without the key
            if (EqualNoCase(name, section)) {
                sectionLine = static_cast<int>(i);
                insertAt = static_cast<int>(i) + 1;
            }
            continue;
        }
        if (sectionLine < 0) continue;
        if (!line.empty()) insertAt = static_cast<int>(i) + 1;
        if (IsAssignment(line, &k, &v) && EqualNoCase(k, key)) {
            lines[i] = assignment;
            written = true;
        }
    }
    if (!written) {
        if (sectionLine < 0) {
            if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
            lines.push_back("[" + section + "]");
            lines.push_back(assignment);
        } else {
            lines.insert(lines.begin() + insertAt, assignment);
        }
    }
    // Write beside the file and rename, so a crash never leaves half a file.
    const std::string temp = m_Path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        for (const auto& line : lines) out << line << "\r\n";
        out.flush();
        if (!out) return false;
    }
    return std::rename(temp.c_str(), m_Path.c_str()) == 0;
}

}  // namespace fw
