#pragma once

#include <string>

#include "framework/Files.h"

namespace fw {

// Settings in an INI file, read and written the way the private profile
// functions do it: every call reads (or rewrites) the file, a missing file,
// section or key, or a value that is not a number gives the default, and the
// first write creates the file. Writes that fail are silent. A file that is
// there but cannot be read is never written: its other sections would be lost.
class Profile {
public:
    explicit Profile(std::string path, Files& files = Files::System()) : m_Path(std::move(path)), m_Files(&files) {}
    const std::string& Path() const { return m_Path; }

    int GetInt(const std::string& section, const std::string& key, int defaultValue) const;
    // A text value, blanks around it and one pair of enclosing double quotes
    // removed; the default when the file, section or key is missing.
    std::string GetString(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    bool WriteInt(const std::string& section, const std::string& key, int value);
    // Written in double quotes where blanks at either end, or quotes around
    // it, would otherwise be lost on reading. A value with a line break is
    // refused: it would break the file's lines.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);

private:
    bool WriteValue(const std::string& section, const std::string& key, const std::string& value);

    std::string m_Path;
    Files* m_Files;
};

}  // namespace fw
