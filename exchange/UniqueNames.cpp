// Names that more than one program goes out under. A player that finds a
// channel by its name (dvbv5-zap, czap) reaches only the first of them; the
// service id tells them apart.
#include <string>
#include <unordered_map>

#include "exchange/Exchange.h"
#include "exchange/FormatSupport.h"

namespace exchange {

namespace {

// The name with its service id; a nameless program's "Service 811" has it already.
std::string UniqueName(const TunProgDataTag& program) {
    if (program.name.find_first_not_of(" \t") == std::string::npos) return program.name;
    return program.name + " (" + std::to_string(program.progId) + ")";
}

}  // namespace

std::vector<RepeatedName> RepeatedNames(const std::vector<TunProgDataTag>& programs) {
    std::unordered_map<std::string, size_t> counts;
    std::vector<std::pair<std::string, const TunProgDataTag*>> order;
    for (const TunProgDataTag& program : programs) {
        const std::string name = detail::ExportName(program);
        if (counts[name]++ == 0) order.emplace_back(name, &program);
    }
    std::vector<RepeatedName> repeated;
    for (const auto& [name, first] : order) {
        if (counts[name] > 1) repeated.push_back({name, counts[name], UniqueName(*first)});
    }
    return repeated;
}

std::string RepeatedNamesText(Format format, const std::vector<RepeatedName>& names) {
    const FormatInfo& info = InfoOf(format);
    if (!info.nameKeyed || names.empty()) return {};
    std::string text = "Names used more than once: ";
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += ", ";
        text += "\"" + names[i].name + "\" (" + std::to_string(names[i].count) + " programs)";
    }
    return text + "; " + info.summary + " reaches only the first program of each";
}

void MakeNamesUnique(std::vector<TunProgDataTag>& programs) {
    std::unordered_map<std::string, size_t> counts;
    for (const TunProgDataTag& program : programs) ++counts[detail::ExportName(program)];
    for (TunProgDataTag& program : programs) {
        if (counts[detail::ExportName(program)] > 1) program.name = UniqueName(program);
    }
}

}  // namespace exchange
