// The libdvbv5 channel file, written the way dvb_write_file() writes a cable
// service, so that dvbv5-zap and dvb-format-convert read it as their own.
#include <cstdint>
#include <string>

#include "card/ProgramFields.h"
#include "exchange/FormatSupport.h"

namespace exchange::detail {

namespace {

// libdvbv5's names (dvb-v5-std.c) of the DVB-C codes.
constexpr Spelling<const char*> kModulations[] = {
    {0, "QAM/AUTO"}, {1, "QAM/16"}, {2, "QAM/32"}, {3, "QAM/64"}, {4, "QAM/128"}, {5, "QAM/256"},
};
constexpr Spelling<const char*> kFecs[] = {
    {0, "AUTO"}, {1, "1/2"}, {2, "2/3"}, {3, "3/4"}, {4, "5/6"},  {5, "7/8"},
    {6, "8/9"},  {7, "3/5"}, {8, "4/5"}, {9, "9/10"}, {15, "NONE"},
};
// What it writes; it reads ANNEX_C, the Japanese variant, as cable too.
constexpr std::string_view kDeliverySystem = "DVBC/ANNEX_A";

}  // namespace

std::string ExportDvbv5(const std::vector<TunProgDataTag>& programs, const std::vector<ProgramBeside>& beside) {
    std::string out;
    const auto line = [&](const char* key, const std::string& value) {
        out += std::string("\t") + key + " = " + value + "\n";
    };
    for (size_t i = 0; i < programs.size(); ++i) {
        const TunProgDataTag& p = programs[i];
        out += "[" + ExportName(p) + "]\n";
        line("SERVICE_ID", std::to_string(p.progId));
        // dvb_write_file() puts the virtual channel right after the service.
        if (const uint32_t number = ChannelNumberAt(beside, i); number != 0)
            line("VCHANNEL", std::to_string(number));
        if (p.nwId != 0) line("NETWORK_ID", std::to_string(p.nwId));
        if (p.tsId != 0) line("TRANSPORT_ID", std::to_string(p.tsId));
        if (p.videoPid != 0) line("VIDEO_PID", std::to_string(p.videoPid));
        if (p.audioPid != 0) line("AUDIO_PID", std::to_string(p.audioPid));
        line("DELIVERY_SYSTEM", std::string(kDeliverySystem));
        line("FREQUENCY", std::to_string(uint64_t{p.frequency} * 1000));
        line("MODULATION", SpellingOf(kModulations, p.modulation));
        line("SYMBOL_RATE", std::to_string(p.symbolRate));
        line("INNER_FEC", SpellingOf(kFecs, p.fec));
        line("INVERSION", "AUTO");
        out += "\n";
    }
    return out;
}

namespace {

// A PID list ("101 102"): every PID checked, the first one kept.
bool FirstPid(LineReader& reader, std::string_view value, const char* what, uint16_t& pid) {
    bool first = true;
    for (const std::string_view part : Split(value, ' ')) {
        if (part.empty()) continue;
        uint16_t read = 0;
        if (!reader.Pid(part, what, read)) return false;
        if (first) pid = read;
        first = false;
    }
    return first ? reader.Fail(std::string(what) + " is missing") : true;
}

bool ReadProperty(LineReader& reader, std::string_view key, std::string_view value, TunProgDataTag& p,
                  uint32_t& channelNumber, bool& hasFrequency) {
    if (key == "VCHANNEL") {
        // ATSC writes "major.minor"; a cable operator's number is the major one.
        return reader.Field(value.substr(0, value.find('.')), "VCHANNEL", kMaxChannelNumber, channelNumber);
    }
    if (key == "SERVICE_ID") return reader.Field(value, "SERVICE_ID", UINT16_MAX, p.progId);
    if (key == "NETWORK_ID") return reader.Field(value, "NETWORK_ID", UINT16_MAX, p.nwId);
    if (key == "TRANSPORT_ID") return reader.Field(value, "TRANSPORT_ID", UINT16_MAX, p.tsId);
    if (key == "VIDEO_PID") return FirstPid(reader, value, "VIDEO_PID", p.videoPid);
    if (key == "AUDIO_PID") return FirstPid(reader, value, "AUDIO_PID", p.audioPid);
    if (key == "SYMBOL_RATE") return reader.Field(value, "SYMBOL_RATE", UINT32_MAX, p.symbolRate);
    if (key == "FREQUENCY") {
        uint64_t hz = 0;
        if (!reader.Number(value, "FREQUENCY", uint64_t{kMaxFrequencyKhz} * 1000 + 999, hz)) return false;
        p.frequency = static_cast<uint32_t>(hz / 1000);
        hasFrequency = true;
        return true;
    }
    if (key == "MODULATION") {
        const std::optional<uint8_t> modulation = CodeSpelled(kModulations, value);
        if (!modulation) return reader.Fail("unknown modulation \"" + std::string(value) + "\"");
        p.modulation = *modulation;
        return true;
    }
    if (key == "INNER_FEC") {
        const std::optional<uint8_t> fec = CodeSpelled(kFecs, value);
        if (!fec) return reader.Fail("unknown INNER_FEC \"" + std::string(value) + "\"");
        p.fec = *fec;
        return true;
    }
    if (key == "DELIVERY_SYSTEM") {
        if (value != kDeliverySystem && value != "DVBC/ANNEX_C") {
            return reader.Fail("delivery system \"" + std::string(value) + "\" is not DVB-C");
        }
        return true;
    }
    if (key == "INVERSION") {
        if (value != "AUTO" && value != "ON" && value != "OFF") {
            return reader.Fail("unknown INVERSION \"" + std::string(value) + "\"");
        }
        return true;
    }
    // What the record cannot hold (PID_xx, LNB, ...) is passed over.
    return true;
}

// Debian's dtv-scan-tables write what a scan tunes to in the same syntax:
// "[CHANNEL]" entries, each with a delivery system and a frequency, and no
// service at all.
bool IsFrequencyList(const std::vector<std::string_view>& lines) {
    size_t entries = 0;
    size_t complete = 0;
    bool delivery = false;
    bool frequency = false;
    const auto finish = [&]() {
        if (entries > 0 && delivery && frequency) ++complete;
    };
    for (const std::string_view raw : lines) {
        const std::string_view line = Trim(raw);
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            if (line != "[CHANNEL]") return false;
            finish();
            ++entries;
            delivery = frequency = false;
            continue;
        }
        const std::string_view key = Trim(line.substr(0, line.find('=')));
        if (key == "SERVICE_ID") return false;
        if (key == "DELIVERY_SYSTEM") delivery = true;
        if (key == "FREQUENCY") frequency = true;
    }
    finish();
    return entries > 0 && complete == entries;
}

}  // namespace

std::optional<std::string> ImportDvbv5(std::string_view text, const std::string& fileName,
                                       std::vector<TunProgDataTag>& programs, std::vector<ProgramBeside>& beside) {
    const std::vector<std::string_view> lines = Lines(text);
    if (IsFrequencyList(lines)) {
        return fileName + ": an operator's frequency list (dtv-scan-tables), not a channel list: it names no "
                          "services; use it as card.ini's Preset=";
    }
    LineReader reader(fileName, 0);
    bool inEntry = false;
    size_t entryLine = 0;
    bool hasFrequency = false;
    const auto finishEntry = [&]() {
        if (!inEntry) return true;
        if (!hasFrequency) {
            reader.SetLine(entryLine);
            return reader.Fail("entry \"" + programs.back().name + "\" has no FREQUENCY");
        }
        SetProgramType(programs.back());
        return true;
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        reader.SetLine(i + 1);
        const std::string_view line = Trim(lines[i]);
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            if (!finishEntry()) return reader.Error();
            const size_t close = line.find_last_of(']');
            if (close == std::string_view::npos) {
                reader.Fail("entry name without its closing \"]\"");
                return reader.Error();
            }
            programs.push_back(NewImportedProgram());
            beside.emplace_back();
            programs.back().name = std::string(line.substr(1, close - 1));
            inEntry = true;
            entryLine = i + 1;
            hasFrequency = false;
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            reader.Fail("expected \"KEY = VALUE\" or \"[name]\"");
            return reader.Error();
        }
        if (!inEntry) {
            reader.Fail("\"" + std::string(Trim(line.substr(0, equals))) + "\" before the first [name]");
            return reader.Error();
        }
        if (!ReadProperty(reader, Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)), programs.back(),
                          beside.back().channelNumber, hasFrequency)) {
            return reader.Error();
        }
    }
    if (!finishEntry()) return reader.Error();
    return std::nullopt;
}

}  // namespace exchange::detail
