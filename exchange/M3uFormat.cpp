// An extended m3u playlist: each program's name and the URL a player opens,
// read back where the URL is VLC's cable MRL.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "card/ProgramFields.h"
#include "exchange/FormatSupport.h"
#include "framework/AsciiCase.h"
#include "broadcast/descriptors/CableDelivery.h"

namespace exchange::detail {
namespace {

// VLC's names of the modulations in its cable MRL; "QAM" lets it choose.
constexpr Spelling<const char*> kVlcModulations[] = {
    {0, "QAM"}, {1, "16QAM"}, {2, "32QAM"}, {3, "64QAM"}, {4, "128QAM"}, {5, "256QAM"},
};

}  // namespace
}  // namespace exchange::detail

namespace exchange {

namespace {

std::string Number(uint64_t value) { return std::to_string(value); }

const M3uPlaceholder kPlaceholders[] = {
    {"frequency", "Hz", [](const TunProgDataTag& p) { return Number(uint64_t{p.frequency} * 1000); }},
    {"frequency_khz", "", [](const TunProgDataTag& p) { return Number(p.frequency); }},
    {"symbol_rate", "symbols/s", [](const TunProgDataTag& p) { return Number(p.symbolRate); }},
    {"modulation", "", [](const TunProgDataTag& p) { return std::string(detail::SpellingOf(detail::kVlcModulations, p.modulation)); }},
    {"qam", "",
     [](const TunProgDataTag& p) {
         const si::ModulationCode* modulation = si::FindModulation(p.modulation);
         return modulation && modulation->qamOrder != 0 ? Number(modulation->qamOrder) : std::string("AUTO");
     }},
    {"service_id", "", [](const TunProgDataTag& p) { return Number(p.progId); }},
    {"video_pid", "", [](const TunProgDataTag& p) { return Number(p.videoPid); }},
    {"audio_pid", "", [](const TunProgDataTag& p) { return Number(p.audioPid); }},
    {"pmt_pid", "", [](const TunProgDataTag& p) { return Number(p.pmtPid); }},
    {"ts_id", "", [](const TunProgDataTag& p) { return Number(p.tsId); }},
    {"nw_id", "", [](const TunProgDataTag& p) { return Number(p.nwId); }},
    {"index", "", [](const TunProgDataTag& p) { return Number(p.index); }},
    {"satip_tuning", "", detail::SatIpTuning},
    {"pids", "", detail::SatIpPids},
};

}  // namespace

std::span<const M3uPlaceholder> M3uPlaceholders() { return kPlaceholders; }

}  // namespace exchange

namespace exchange::detail {

namespace {

std::string Placeholder(std::string_view key, const TunProgDataTag& p) {
    for (const M3uPlaceholder& placeholder : kPlaceholders) {
        if (key == placeholder.name) return placeholder.value(p);
    }
    return "{" + std::string(key) + "}";
}

std::string Url(std::string_view pattern, const TunProgDataTag& p) {
    std::string url;
    for (size_t pos = 0; pos < pattern.size();) {
        const size_t open = pattern.find('{', pos);
        const size_t close = open == std::string_view::npos ? open : pattern.find('}', open);
        if (close == std::string_view::npos) {
            url += pattern.substr(pos);
            break;
        }
        url += pattern.substr(pos, open - pos);
        url += Placeholder(pattern.substr(open + 1, close - open - 1), p);
        pos = close + 1;
    }
    return OneLine(url);
}

// VLC's options of an entry: "program" picks the service on the transport;
// in a transport stream an elementary stream's id is its PID, so the track
// ids pick the program's own video and sound.
constexpr std::string_view kOption = "#EXTVLCOPT:";
constexpr std::string_view kServiceOption = "program=";
constexpr std::string_view kVideoOption = "video-track-id=";
constexpr std::string_view kAudioOption = "audio-track-id=";
constexpr std::string_view kEntry = "#EXTINF:";
// The attribute players (Kodi, VLC, Jellyfin) number channels by.
constexpr std::string_view kChannelNumber = "tvg-chno";

}  // namespace

std::string ExportM3u(const std::vector<TunProgDataTag>& programs, const std::vector<ProgramBeside>& beside,
                      const std::string& urlPattern) {
    std::string out = "#EXTM3U\n";
    const auto option = [&](std::string_view name, uint32_t value) {
        out += std::string(kOption) + std::string(name) + std::to_string(value) + "\n";
    };
    for (size_t i = 0; i < programs.size(); ++i) {
        const TunProgDataTag& p = programs[i];
        const uint32_t number = ChannelNumberAt(beside, i);
        const std::string attributes =
            number != 0 ? " " + std::string(kChannelNumber) + "=\"" + std::to_string(number) + "\"" : "";
        out += std::string(kEntry) + "-1" + attributes + "," + ExportName(p) + "\n";
        option(kServiceOption, p.progId);
        if (p.videoPid != 0) option(kVideoOption, p.videoPid);
        if (p.audioPid != 0) option(kAudioOption, p.audioPid);
        out += Url(urlPattern, p) + "\n";
    }
    return out;
}

namespace {

// VLC's cable MRL, "dvb-c://frequency=HZ:srate=SYMBOLS:modulation=256QAM":
// its parameters by name, nullopt for any other URL.
std::optional<std::vector<std::pair<std::string_view, std::string_view>>> CableParameters(std::string_view url) {
    constexpr std::string_view kScheme = "dvb-c://";
    if (url.size() < kScheme.size() || fw::AsciiLower(std::string(url.substr(0, kScheme.size()))) != kScheme)
        return std::nullopt;
    std::vector<std::pair<std::string_view, std::string_view>> parameters;
    for (const std::string_view part : Split(url.substr(kScheme.size()), ':')) {
        const size_t equals = part.find('=');
        if (equals != std::string_view::npos) parameters.emplace_back(part.substr(0, equals), part.substr(equals + 1));
    }
    return parameters;
}

std::optional<std::string_view> Parameter(const std::vector<std::pair<std::string_view, std::string_view>>& parameters,
                                          std::string_view name) {
    for (const auto& [key, value] : parameters) {
        if (key == name) return value;
    }
    return std::nullopt;
}

// Where a program can be tuned from: a cable MRL with a frequency and a
// symbol rate. Any other URL (a stream server's, say) names no transport.
bool CarriesTuning(std::string_view url) {
    if (IsSatIpUrl(url)) return true;
    const auto parameters = CableParameters(url);
    return parameters && Parameter(*parameters, "frequency") && Parameter(*parameters, "srate");
}

bool ReadTuning(LineReader& reader, std::string_view url, bool pidsKnown, TunProgDataTag& p) {
    if (IsSatIpUrl(url)) return ReadSatIpTuning(reader, url, pidsKnown, p);
    const auto parameters = *CableParameters(url);
    uint64_t hz = 0;
    if (!reader.Number(*Parameter(parameters, "frequency"), "frequency", uint64_t{kMaxFrequencyKhz} * 1000 + 999, hz))
        return false;
    p.frequency = static_cast<uint32_t>(hz / 1000);
    if (!reader.Field(*Parameter(parameters, "srate"), "srate", UINT32_MAX, p.symbolRate)) return false;
    // Without one VLC tunes the modulation automatically, as code 0 does.
    if (const auto name = Parameter(parameters, "modulation")) {
        const std::optional<uint8_t> modulation = CodeSpelled(kVlcModulations, *name);
        if (!modulation) return reader.Fail("unknown modulation \"" + std::string(*name) + "\"");
        p.modulation = *modulation;
    }
    return true;
}

// "#EXTINF:-1 tvg-chno="7" group-title="A, B",Name": the name follows the
// first comma outside the attributes' quotes.
bool ReadEntryLine(LineReader& reader, std::string_view line, TunProgDataTag& p, uint32_t& channelNumber) {
    line.remove_prefix(kEntry.size());
    size_t comma = 0;
    for (bool quoted = false; comma < line.size() && (quoted || line[comma] != ','); ++comma) {
        if (line[comma] == '"') quoted = !quoted;
    }
    const std::string_view attributes = line.substr(0, comma);
    p.name = comma < line.size() ? std::string(line.substr(comma + 1)) : std::string();
    const std::string key = " " + std::string(kChannelNumber) + "=\"";
    const size_t at = attributes.find(key);
    if (at == std::string_view::npos) return true;
    const std::string_view rest = attributes.substr(at + key.size());
    const std::string_view value = rest.substr(0, rest.find('"'));
    return value.empty() || reader.Field(value, "tvg-chno", kMaxChannelNumber, channelNumber);
}

bool ReadOption(LineReader& reader, std::string_view option, TunProgDataTag& p, bool& hasService, bool& hasPids) {
    const auto value = [&](std::string_view name) { return option.substr(name.size()); };
    if (StartsWith(option, kServiceOption)) {
        hasService = true;
        return reader.Field(value(kServiceOption), "program", UINT16_MAX, p.progId);
    }
    if (StartsWith(option, kVideoOption) || StartsWith(option, kAudioOption)) hasPids = true;
    if (StartsWith(option, kVideoOption)) return reader.Pid(value(kVideoOption), "video-track-id", p.videoPid);
    if (StartsWith(option, kAudioOption)) return reader.Pid(value(kAudioOption), "audio-track-id", p.audioPid);
    // Other options (caching, deinterlacing, ...) are the player's own.
    return true;
}

}  // namespace

const char* SkippedM3uLine(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line[0] == '#' || CarriesTuning(line)) return nullptr;
    return "playlist entries whose URL holds no DVB-C tuning data";
}

std::optional<std::string> ImportM3u(std::string_view text, const std::string& fileName,
                                     std::vector<TunProgDataTag>& programs, std::vector<ProgramBeside>& beside) {
    const std::vector<std::string_view> lines = Lines(text);
    LineReader reader(fileName, 0);
    // An entry is its "#EXTINF" line and VLC options, ended by its URL.
    size_t entryLine = 0;
    std::string_view entry;
    std::vector<std::pair<size_t, std::string_view>> options;
    size_t firstSkipped = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view raw = lines[i].substr(std::min(lines[i].size(), lines[i].find_first_not_of(" \t")));
        const std::string_view line = Trim(raw);
        if (line.empty()) continue;
        if (StartsWith(line, kEntry)) {
            entryLine = i + 1;
            // The name keeps its blanks: only the line's leading ones go.
            entry = raw;
            continue;
        }
        if (StartsWith(line, kOption)) {
            options.emplace_back(i + 1, line.substr(kOption.size()));
            continue;
        }
        // "#EXTM3U", "#EXTGRP:" and comments.
        if (line[0] == '#') continue;
        const size_t firstLine = entryLine != 0 ? entryLine : options.empty() ? i + 1 : options.front().first;
        const std::string_view name = entry;
        const std::vector<std::pair<size_t, std::string_view>> entryOptions = std::move(options);
        entryLine = 0;
        entry = {};
        options.clear();
        if (!CarriesTuning(line)) {
            if (firstSkipped == 0) firstSkipped = i + 1;
            continue;
        }
        TunProgDataTag program = NewImportedProgram();
        uint32_t channelNumber = 0;
        reader.SetLine(firstLine);
        if (!name.empty() && !ReadEntryLine(reader, name, program, channelNumber)) return reader.Error();
        bool hasService = false, hasPids = false;
        for (const auto& [optionLine, option] : entryOptions) {
            reader.SetLine(optionLine);
            if (!ReadOption(reader, option, program, hasService, hasPids)) return reader.Error();
        }
        reader.SetLine(i + 1);
        if (!ReadTuning(reader, line, hasPids, program)) return reader.Error();
        // A SAT>IP server's own playlist names the PIDs, not the service.
        if (!hasService && !IsSatIpUrl(line)) {
            reader.SetLine(firstLine);
            reader.Fail("entry has no \"#EXTVLCOPT:program=\" with its service id");
            return reader.Error();
        }
        SetProgramType(program);
        programs.push_back(std::move(program));
        beside.push_back(ProgramBeside{channelNumber, 0, 0});
    }
    if (programs.empty() && firstSkipped != 0) {
        reader.SetLine(firstSkipped);
        reader.Fail("no entry's URL holds DVB-C tuning data (dvb-c://frequency=...:srate=...)");
        return reader.Error();
    }
    return std::nullopt;
}

}  // namespace exchange::detail
