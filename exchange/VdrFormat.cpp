// VDR 2.x channels.conf: name;provider:frequency:parameters:source:symbol
// rate:VPID:APID:TPID:CAID:SID:NID:TID:RID, one channel a line.
#include <cstdint>
#include <string>

#include "broadcast/StreamKinds.h"
#include "card/ProgramFields.h"
#include "exchange/FormatSupport.h"

namespace exchange::detail {

namespace {

// VDR's parameter numbers: the QAM order ("M256"), a code rate as its digits
// ("C34"), 0 for none and 999 for automatic.
constexpr Spelling<unsigned> kModulations[] = {
    {0, 999}, {1, 16}, {2, 32}, {3, 64}, {4, 128}, {5, 256},
};
constexpr Spelling<unsigned> kFecs[] = {
    {0, 999}, {1, 12}, {2, 23}, {3, 34}, {4, 56}, {5, 78}, {6, 89}, {7, 35}, {8, 45}, {9, 910}, {15, 0},
};

// A colon in a name goes out as VDR writes it ("|"), a "|" escaped (see
// EscapeLineName); ';' starts the provider and the last ',' the short name, so
// a name holding a comma ends with an empty short name, and a ';', which VDR
// has no way to carry, becomes a comma. VDR reads no line as a comment, so a
// leading "#" stays as it is.
std::string VdrName(std::string_view name) {
    std::string plain = OneLine(name);
    for (char& c : plain) {
        if (c == ';') c = ',';
    }
    std::string out = EscapeLineName(plain, false);
    if (plain.find(',') != std::string::npos) out += ',';
    return out;
}

std::string ReadVdrName(std::string_view field) {
    field = field.substr(0, field.find(';'));
    const size_t comma = field.find_last_of(',');
    if (comma != std::string_view::npos) field = field.substr(0, comma);
    return UnescapeLineName(field);
}

// The first PID of a VDR PID field ("5101+5100=27", "5102=deu@3,5103;5106"),
// up to the first of its separators.
bool FirstVdrPid(LineReader& reader, std::string_view field, const char* what, uint16_t& pid) {
    const size_t end = field.find_first_of("+=,;@");
    return reader.Pid(field.substr(0, end), what, pid);
}

// "C0M256", "B8C23D12M64T8G32Y0", "HC34M2S0": letters, each with its number.
bool ReadParameters(LineReader& reader, std::string_view parameters, TunProgDataTag& p) {
    size_t pos = 0;
    while (pos < parameters.size()) {
        const char letter = parameters[pos++];
        const size_t digits = parameters.find_first_not_of("0123456789", pos);
        const std::string_view number = parameters.substr(pos, digits - pos);
        pos = digits == std::string_view::npos ? parameters.size() : digits;
        if (letter < 'A' || letter > 'Z') {
            return reader.Fail("parameters \"" + std::string(parameters) + "\" are not letters with numbers");
        }
        // Satellite polarisations (H, V, L, R) come without a number.
        if (number.empty() && letter != 'M' && letter != 'C') continue;
        uint64_t value = 0;
        if (!reader.Number(number, "parameter value", UINT32_MAX, value)) return false;
        if (letter == 'M') {
            const std::optional<uint8_t> modulation = CodeSpelled(kModulations, static_cast<unsigned>(value));
            if (!modulation) return reader.Fail("unknown modulation M" + std::string(number));
            p.modulation = *modulation;
        } else if (letter == 'C') {
            const std::optional<uint8_t> fec = CodeSpelled(kFecs, static_cast<unsigned>(value));
            if (!fec) return reader.Fail("unknown code rate C" + std::string(number));
            p.fec = *fec;
        }
    }
    return true;
}

namespace audiotype = si::audiotype;

// VDR's type of a Dolby PID is the tag of the descriptor that announced it
// (EN 300 468 annex D: 0x6A AC-3, 0x7A E-AC-3); of an MPEG audio PID the
// stream_type. Without one VDR reads a Dolby PID as AC-3 and an audio PID
// as MPEG-2 audio (4).
constexpr uint8_t kVdrAc3 = 0x6A;

// "274", "274=deu@122": the PID and the type after "@", 0 where none is given.
bool ReadVdrAudio(LineReader& reader, std::string_view pids, const char* what, uint16_t& pid, uint32_t& type) {
    const std::string_view entry = pids.substr(0, pids.find(','));
    if (!FirstVdrPid(reader, entry, what, pid)) return false;
    type = 0;
    const size_t at = entry.find('@');
    return at == std::string_view::npos || reader.Field(entry.substr(at + 1), "audio type", UINT8_MAX, type);
}

// "APIDS;DPIDS": the first MPEG audio PID, else the first Dolby PID, is the
// program's audio PID.
bool ReadVdrAudioField(LineReader& reader, std::string_view field, TunProgDataTag& p, ProgramBeside& beside) {
    const size_t semicolon = field.find(';');
    uint32_t type = 0;
    if (!ReadVdrAudio(reader, field.substr(0, semicolon), "APID", p.audioPid, type)) return false;
    if (p.audioPid != 0) {
        // ATSC's own Dolby stream types are Dolby PIDs to VDR, as they are written.
        beside.audioStreamType = audiotype::IsAc3(type)           ? audiotype::kDvbAc3
                                 : audiotype::IsEnhancedAc3(type) ? audiotype::kDvbEnhancedAc3
                                 : type != 0                      ? type
                                                                  : audiotype::kMpeg2;
        return true;
    }
    if (semicolon == std::string_view::npos) return true;
    if (!ReadVdrAudio(reader, field.substr(semicolon + 1), "DPID", p.audioPid, type)) return false;
    if (p.audioPid != 0) beside.audioStreamType = audiotype::PrivateData(type != 0 ? static_cast<uint8_t>(type) : kVdrAc3);
    return true;
}

// "APIDS;DPIDS" for the program's one audio PID: private data that a
// descriptor names (AC-3, E-AC-3, DTS) goes after the ";" with the
// descriptor's tag, any other audio before it with its stream type.
std::string VdrAudioField(const TunProgDataTag& p, uint32_t type) {
    const std::string pid = std::to_string(p.audioPid);
    if (p.audioPid == 0) return pid;
    if (audiotype::IsAc3(type)) return "0;" + pid;
    if (audiotype::IsEnhancedAc3(type)) type = audiotype::kDvbEnhancedAc3;
    if (type > 0xFF) return "0;" + pid + "=@" + std::to_string(type >> 8);
    // MPEG-2 audio is VDR's default.
    if (type == 0 || type == audiotype::kMpeg2) return pid;
    return pid + "=@" + std::to_string(type);
}

// VDR's CAID field: "0" for none, else the ids in hex, comma separated.
std::string VdrCaids(uint32_t caSystems) {
    std::string text = CaSystemsText(caSystems);
    for (char& c : text) {
        if (c == ' ') c = ',';
    }
    return text.empty() ? "0" : text;
}

bool ReadVdrLine(LineReader& reader, std::string_view line, TunProgDataTag& p, ProgramBeside& beside) {
    const std::vector<std::string_view> f = Split(line, ':');
    if (f.size() != 13) {
        return reader.Fail("expected 13 fields separated by \":\", found " + std::to_string(f.size()));
    }
    p.name = ReadVdrName(f[0]);
    // VDR takes a cable frequency in MHz, kHz or Hz.
    uint64_t frequency = 0;
    if (!reader.Number(f[1], "frequency", uint64_t{UINT32_MAX} * 1000, frequency)) return false;
    if (frequency < 10000) frequency *= 1000;
    else if (frequency >= 10000000) frequency /= 1000;
    if (frequency > kMaxFrequencyKhz) {
        return reader.Fail("frequency " + std::string(f[1]) + " is above " + std::to_string(kMaxFrequencyKhz) + " kHz");
    }
    p.frequency = static_cast<uint32_t>(frequency);
    // The parameters mean what they mean for the source: cable first.
    if (f[3] != "C") return reader.Fail("source \"" + std::string(f[3]) + "\" is not cable (C)");
    if (!ReadParameters(reader, f[2], p)) return false;
    uint32_t symbolRateK = 0;
    if (!reader.Field(f[4], "symbol rate", UINT32_MAX / 1000, symbolRateK)) return false;
    p.symbolRate = symbolRateK * 1000;
    if (!FirstVdrPid(reader, f[5], "VPID", p.videoPid) || !ReadVdrAudioField(reader, f[6], p, beside) ||
        !FirstVdrPid(reader, f[7], "TPID", p.txtPid)) {
        return false;
    }
    const std::optional<uint32_t> caids = ReadCaSystemsText(f[8]);
    if (!caids) return reader.Fail("CAID \"" + std::string(f[8]) + "\" is not hex ids separated by commas");
    beside.caSystems = *caids;
    const size_t subtitles = f[7].find(';');
    if (subtitles != std::string_view::npos &&
        !FirstVdrPid(reader, f[7].substr(subtitles + 1), "subtitle PID", p.subtitlePid)) {
        return false;
    }
    return reader.Field(f[9], "SID", UINT16_MAX, p.progId) && reader.Field(f[10], "NID", UINT16_MAX, p.nwId) &&
           reader.Field(f[11], "TID", UINT16_MAX, p.tsId);
}

// VDR's VPID field names the video stream type after "=" (ISO/IEC 13818-1:
// 27 H.264, 36 HEVC; none is MPEG-2). The record has no field for it: the
// service type says it (EN 300 468 table 87: 0x16, 0x19, 0x1C are H.264
// services, 0x1F and 0x20 HEVC).
std::string VdrVideoPid(const TunProgDataTag& p) {
    std::string pid = std::to_string(p.videoPid);
    if (p.videoPid == 0) return pid;
    switch (p.progType) {
        case 0x16:
        case 0x19:
        case 0x1C: return pid + "=27";
        case 0x1F:
        case 0x20: return pid + "=36";
        default: return pid;
    }
}

// The reader takes a number below 10000 as MHz and one from 10000000 on as Hz
// (see ReadVdrLine), so those frequencies go out in the unit that reads back.
// One below 10 MHz that is no whole MHz has no such unit (and is no cable
// frequency): it goes out in kHz.
std::string VdrFrequency(uint32_t khz) {
    if (khz < 10000 && khz % 1000 == 0) return std::to_string(khz / 1000);
    if (khz >= 10000000) return std::to_string(uint64_t{khz} * 1000);
    return std::to_string(khz);
}

}  // namespace

std::string ExportVdr(const std::vector<TunProgDataTag>& programs, const std::vector<ProgramBeside>& beside) {
    std::string out;
    for (size_t i = 0; i < programs.size(); ++i) {
        const TunProgDataTag& p = programs[i];
        const ProgramBeside values = BesideAt(beside, i);
        std::string tpid = std::to_string(p.txtPid);
        if (p.subtitlePid != 0) tpid += ";" + std::to_string(p.subtitlePid);
        out += VdrName(ExportName(p)) + ":" + VdrFrequency(p.frequency) + ":C" + std::to_string(SpellingOf(kFecs, p.fec)) + "M" +
               std::to_string(SpellingOf(kModulations, p.modulation)) + ":C:" + std::to_string(p.symbolRate / 1000) + ":" +
               VdrVideoPid(p) + ":" + VdrAudioField(p, values.audioStreamType) + ":" + tpid + ":" +
               VdrCaids(values.caSystems) + ":" +
               std::to_string(p.progId) + ":" + std::to_string(p.nwId) + ":" + std::to_string(p.tsId) + ":0\n";
    }
    return out;
}

std::optional<std::string> ImportVdr(std::string_view text, const std::string& fileName,
                                     std::vector<TunProgDataTag>& programs, std::vector<ProgramBeside>& beside) {
    const std::vector<std::string_view> lines = Lines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        // Blank lines and group separators (":Group") carry no channel.
        if (Trim(lines[i]).empty() || lines[i][0] == ':') continue;
        LineReader reader(fileName, i + 1);
        TunProgDataTag program = NewImportedProgram();
        ProgramBeside values;
        if (!ReadVdrLine(reader, lines[i], program, values)) return reader.Error();
        SetProgramType(program);
        programs.push_back(std::move(program));
        beside.push_back(values);
    }
    return std::nullopt;
}

}  // namespace exchange::detail
