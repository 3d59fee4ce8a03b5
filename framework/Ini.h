// One reading of INI files for both of ours: the program's settings file
// (framework/Profile.h) and the stand-in card's card.ini (cardsetup/CardSettings.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fw {

struct IniLine {
    enum class Kind { Blank, Comment, Section, Assignment, Other };
    Kind kind = Kind::Blank;
    std::string name;   // the section's name or the key, without the blanks around it
    std::string value;  // an assignment's value, without the blanks around it
};

// Lines starting with ';' or '#' are comments; "[name]" opens a section (text
// after the ']' is ignored); "key=value" splits at the first '='. A trailing
// CR is a blank like any other.
IniLine ParseIniLine(std::string_view line);

// Section and key names match without regard to ASCII case, as the profile
// functions match them.
bool IniNamesMatch(std::string_view a, std::string_view b);

std::string TrimBlanks(std::string_view text);

// A value that is a number: decimal digits and nothing else, at most `max`;
// nullopt for anything else, a sign or a number too large included.
std::optional<uint64_t> IniNumber(std::string_view value, uint64_t max);

}  // namespace fw
