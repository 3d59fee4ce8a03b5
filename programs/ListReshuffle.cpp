#include "programs/ListReshuffle.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <string>

#include "card/ProgramFields.h"
#include "text/CaseFold.h"

namespace programs {

namespace {

using Key = std::string;

Key TransportKey(const TunProgDataTag& p) {
    return std::to_string(p.nwId) + "/" + std::to_string(p.tsId) + "/" + std::to_string(p.progId);
}
Key NetworkKey(const TunProgDataTag& p) { return std::to_string(ServiceKey(p)); }
// A program without a name matches nothing by it.
Key NameKey(const TunProgDataTag& p) { return p.name.empty() ? Key() : FoldCase(p.name); }

}  // namespace

ReferenceOrder OrderLike(const std::vector<TunProgDataTag>& programs, const std::vector<TunProgDataTag>& reference) {
    constexpr size_t kNone = SIZE_MAX;
    std::vector<size_t> entryOf(programs.size(), kNone);
    std::vector<bool> entryTaken(reference.size(), false);
    ReferenceOrder result;
    // The closest match first: an entry that matches by a weaker key leaves
    // every program a stronger key would have given another entry.
    for (const std::function<Key(const TunProgDataTag&)>& key :
         {std::function<Key(const TunProgDataTag&)>(TransportKey), std::function<Key(const TunProgDataTag&)>(NetworkKey),
          std::function<Key(const TunProgDataTag&)>(NameKey)}) {
        std::map<Key, std::deque<size_t>> waiting;
        for (size_t i = 0; i < programs.size(); ++i) {
            if (entryOf[i] != kNone) continue;
            Key k = key(programs[i]);
            if (!k.empty()) waiting[std::move(k)].push_back(i);
        }
        for (size_t entry = 0; entry < reference.size(); ++entry) {
            if (entryTaken[entry]) continue;
            const auto found = waiting.find(key(reference[entry]));
            if (found == waiting.end() || found->second.empty()) continue;
            entryOf[found->second.front()] = entry;
            found->second.pop_front();
            entryTaken[entry] = true;
            ++result.matched;
        }
    }
    result.order.resize(programs.size());
    for (size_t i = 0; i < programs.size(); ++i) result.order[i] = i;
    std::stable_sort(result.order.begin(), result.order.end(),
                     [&entryOf](size_t a, size_t b) { return entryOf[a] < entryOf[b]; });
    return result;
}

std::string CountsText(const ImportCounts& counts) {
    return std::to_string(counts.added) + " added, " + std::to_string(counts.updated) + " updated, " +
           std::to_string(counts.actual) + " actual";
}

const char* StateText(ImportState state) {
    switch (state) {
        case ImportState::Added: return "added";
        case ImportState::Updated: return "updated";
        case ImportState::Actual: return "actual";
    }
    return "";
}

std::vector<std::optional<ImportState>> ImportUpdating(std::vector<TunProgDataTag>& list,
                                                       std::vector<ProgramBeside>& beside,
                                                       const std::vector<TunProgDataTag>& imported,
                                                       const std::vector<ProgramBeside>& importedBeside, bool updateNames,
                                                       ImportCounts* counts) {
    beside.resize(list.size());
    std::vector<std::optional<ImportState>> states(list.size());
    std::multimap<uint32_t, size_t> rows;
    for (size_t i = 0; i < list.size(); ++i) rows.emplace(ServiceKey(list[i]), i);
    for (size_t n = 0; n < imported.size(); ++n) {
        const TunProgDataTag& program = imported[n];
        const ProgramBeside given = n < importedBeside.size() ? importedBeside[n] : ProgramBeside{};
        const auto [first, last] = rows.equal_range(ServiceKey(program));
        if (first == last) {
            rows.emplace(ServiceKey(program), list.size());
            list.push_back(program);
            list.back().index = static_cast<uint32_t>(list.size());
            beside.push_back(given);
            states.emplace_back(ImportState::Added);
            continue;
        }
        for (auto it = first; it != last; ++it) {
            TunProgDataTag& row = list[it->second];
            TunProgDataTag updated = program;
            updated.index = row.index;
            if (!updateNames) updated.name = row.name;
            ProgramBeside& rowBeside = beside[it->second];
            ProgramBeside merged = rowBeside;
            if (given.channelNumber != 0) merged.channelNumber = given.channelNumber;
            if (given.caSystems != 0) merged.caSystems = given.caSystems;
            if (given.audioStreamType != 0) merged.audioStreamType = given.audioStreamType;
            const bool changed = updated != row || merged != rowBeside;
            row = std::move(updated);
            rowBeside = merged;
            states[it->second] = changed ? ImportState::Updated : ImportState::Actual;
        }
    }
    if (counts) {
        *counts = {};
        for (const std::optional<ImportState>& state : states) {
            if (!state) continue;
            if (*state == ImportState::Added) ++counts->added;
            else if (*state == ImportState::Updated) ++counts->updated;
            else ++counts->actual;
        }
    }
    return states;
}

}  // namespace programs
