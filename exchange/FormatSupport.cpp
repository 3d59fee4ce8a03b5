#include "exchange/FormatSupport.h"

#include <span>

#include "card/ProgramFields.h"

namespace exchange::detail {

namespace {

template <typename Entry, typename Match>
const Entry* Find(std::span<const Entry> table, Match match) {
    for (const auto& entry : table) {
        if (match(entry)) return &entry;
    }
    return nullptr;
}

}  // namespace

const ModulationName& Modulation(uint8_t code) {
    const ModulationName* found = si::FindModulation(code);
    return found ? *found : si::ModulationCodes().front();
}

const FecName& Fec(uint8_t code) {
    const FecName* found = si::FindFec(code);
    return found ? *found : si::FecCodes().front();
}

const ModulationName* ModulationByDvbv5(std::string_view name) {
    return Find(si::ModulationCodes(), [&](const ModulationName& m) { return name == m.dvbv5; });
}
const ModulationName* ModulationByZap(std::string_view name) {
    return Find(si::ModulationCodes(), [&](const ModulationName& m) { return name == m.zap; });
}
const ModulationName* ModulationByVdr(unsigned value) {
    return Find(si::ModulationCodes(), [&](const ModulationName& m) { return value == m.vdr; });
}
const FecName* FecByDvbv5(std::string_view name) {
    return Find(si::FecCodes(), [&](const FecName& f) { return name == f.dvbv5; });
}
const FecName* FecByZap(std::string_view name) {
    return Find(si::FecCodes(), [&](const FecName& f) { return name == f.zap; });
}
const FecName* FecByVdr(unsigned value) {
    return Find(si::FecCodes(), [&](const FecName& f) { return value == f.vdr; });
}

TunProgDataTag NewImportedProgram() { return PresetProgram(); }

void SetProgramType(TunProgDataTag& program) {
    // EN 300 468 service_type: 0x01 digital television, 0x02 digital radio sound.
    if (program.videoPid != 0) program.progType = 1;
    else if (program.audioPid != 0) program.progType = 2;
}

std::string OneLine(std::string_view name) {
    std::string line(name);
    for (char& c : line) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return line;
}

std::string ExportName(const TunProgDataTag& program) {
    if (Trim(program.name).empty()) return "Service " + std::to_string(program.progId);
    return OneLine(program.name);
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const size_t end = text.find(separator);
        parts.push_back(text.substr(0, end));
        if (end == std::string_view::npos) return parts;
        text.remove_prefix(end + 1);
    }
}

std::string_view Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool LineReader::Fail(const std::string& message) {
    if (m_Error.empty()) m_Error = m_FileName + ":" + std::to_string(m_Line) + ": " + message;
    return false;
}

bool LineReader::Number(std::string_view text, const char* what, uint64_t max, uint64_t& value) {
    value = 0;
    if (text.empty()) return Fail(std::string(what) + " is missing");
    for (const char c : text) {
        if (c < '0' || c > '9') return Fail(std::string(what) + " \"" + std::string(text) + "\" is not a number");
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (digit > max || value > (max - digit) / 10) return Fail(std::string(what) + " " + std::string(text) + " is above " + std::to_string(max));
        value = value * 10 + digit;
    }
    return true;
}

}  // namespace exchange::detail
