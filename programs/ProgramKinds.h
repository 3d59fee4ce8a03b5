// Kinds of programs a user removes together: Remove… in the window and
// kelvane-cli remove. One table; each kind is one predicate.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "card/DBDVBX32.h"

namespace programs {

// What a kind looks at: the record, and the row's "State" where there is a
// list (a stored list has none).
struct ProgramFacts {
    const TunProgDataTag& record;
    std::string_view state;
    // The CA systems kept beside the record (ProgramBeside::caSystems).
    uint32_t caSystems = 0;
};

struct ProgramKind {
    const char* name;      // kelvane-cli's word: "radio"
    const char* title;     // the menu's and the undo step's: "Radio Programs"
    const char* singular;  // "radio program", for "3 radio programs removed"
    const char* plural;
    bool stored;  // false: only a scan's marks say it, kelvane-cli remove cannot
    bool (*is)(const ProgramFacts& program);
};

// Missing (marked by the last scan), radio (sound, no picture), data
// (neither), encrypted (a CA system named), unnamed (a name of blanks or none).
std::span<const ProgramKind> ProgramKinds();
const ProgramKind* FindProgramKind(std::string_view name);
// "radio, data, encrypted or unnamed": the kinds kelvane-cli remove takes.
std::string StoredKindNames();
// "3 radio programs removed", "1 program without a name removed", "No data
// programs to remove".
std::string RemovedText(const ProgramKind& kind, int count);

}  // namespace programs
