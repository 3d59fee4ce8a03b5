// Finding a program in the program list by its name: what Find… and typing
// into the list look for, case folded.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace fw {
class ListView;
}

namespace programs {

// What the program list window remembers between finds: the text of Find…
// (for F3), and what was typed into the list lately, with when.
struct ProgramFindState {
    std::string findText;
    std::string typed;
    int64_t lastTypedMs = 0;
};

// Typing that follows within this time extends the text looked for.
inline constexpr int64_t kTypeAheadPauseMs = 1000;

// The first row from `start` on, stepping by `direction` (+1 or -1) and
// wrapping round, whose "Programm" cell, case folded, begins with (`prefix`)
// or contains `folded`; -1 when no row does.
int FindProgramName(const fw::ListView& list, int start, int direction, std::string_view folded, bool prefix);

}  // namespace programs
