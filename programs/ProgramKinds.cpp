#include "programs/ProgramKinds.h"

#include <algorithm>
#include <array>
#include <vector>

namespace programs {

namespace {

bool IsMissing(const ProgramFacts& p) { return p.state == "missing"; }
bool IsRadio(const ProgramFacts& p) { return p.record.videoPid == 0 && p.record.audioPid != 0; }
bool IsData(const ProgramFacts& p) { return p.record.videoPid == 0 && p.record.audioPid == 0; }
// Pay TV as the network names it: a free service names no CA system.
bool IsEncrypted(const ProgramFacts& p) { return p.caSystems != 0; }
bool IsUnnamed(const ProgramFacts& p) {
    return std::all_of(p.record.name.begin(), p.record.name.end(), [](char c) { return c == ' ' || c == '\t'; });
}

constexpr std::array kKinds = {
    ProgramKind{"missing", "Missing Programs", "missing program", "missing programs", false, IsMissing},
    ProgramKind{"radio", "Radio Programs", "radio program", "radio programs", true, IsRadio},
    ProgramKind{"data", "Data Programs", "data program", "data programs", true, IsData},
    ProgramKind{"encrypted", "Encrypted Programs", "encrypted program", "encrypted programs", true, IsEncrypted},
    ProgramKind{"unnamed", "Programs without a Name", "program without a name", "programs without a name", true,
                IsUnnamed},
};

}  // namespace

std::span<const ProgramKind> ProgramKinds() { return kKinds; }

const ProgramKind* FindProgramKind(std::string_view name) {
    for (const ProgramKind& kind : kKinds)
        if (name == kind.name) return &kind;
    return nullptr;
}

std::string StoredKindNames() {
    std::vector<std::string> names;
    for (const ProgramKind& kind : kKinds)
        if (kind.stored) names.emplace_back(kind.name);
    std::string out;
    for (size_t i = 0; i < names.size(); ++i) out += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return out;
}

std::string RemovedText(const ProgramKind& kind, int count) {
    if (count == 0) return std::string("No ") + kind.plural + " to remove";
    return std::to_string(count) + " " + (count == 1 ? kind.singular : kind.plural) + " removed";
}

}  // namespace programs
