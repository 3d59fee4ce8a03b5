// The classic czap channels.conf for cable:
// name:frequency:inversion:symbol rate:fec:modulation:vpid:apid:sid.
#include <cstdint>
#include <string>

#include "card/ProgramFields.h"
#include "exchange/FormatSupport.h"

namespace exchange::detail {

namespace {

// linux-dvb-apps' names: the kernel's enum names.
constexpr Spelling<const char*> kModulations[] = {
    {0, "QAM_AUTO"}, {1, "QAM_16"}, {2, "QAM_32"}, {3, "QAM_64"}, {4, "QAM_128"}, {5, "QAM_256"},
};
constexpr Spelling<const char*> kFecs[] = {
    {0, "FEC_AUTO"}, {1, "FEC_1_2"}, {2, "FEC_2_3"}, {3, "FEC_3_4"}, {4, "FEC_5_6"},   {5, "FEC_7_8"},
    {6, "FEC_8_9"},  {7, "FEC_3_5"}, {8, "FEC_4_5"}, {9, "FEC_9_10"}, {15, "FEC_NONE"},
};

bool ReadZapLine(LineReader& reader, std::string_view line, TunProgDataTag& p) {
    const std::vector<std::string_view> f = Split(line, ':');
    if (f.size() != 9) return reader.Fail("expected 9 fields separated by \":\", found " + std::to_string(f.size()));
    p.name = UnescapeLineName(f[0]);
    uint64_t hz = 0;
    if (!reader.Number(f[1], "frequency", uint64_t{kMaxFrequencyKhz} * 1000 + 999, hz)) return false;
    p.frequency = static_cast<uint32_t>(hz / 1000);
    if (f[2] != "INVERSION_AUTO" && f[2] != "INVERSION_ON" && f[2] != "INVERSION_OFF") {
        return reader.Fail("unknown inversion \"" + std::string(f[2]) + "\"");
    }
    if (!reader.Field(f[3], "symbol rate", UINT32_MAX, p.symbolRate)) return false;
    const std::optional<uint8_t> fec = CodeSpelled(kFecs, f[4]);
    if (!fec) return reader.Fail("unknown FEC \"" + std::string(f[4]) + "\"");
    p.fec = *fec;
    const std::optional<uint8_t> modulation = CodeSpelled(kModulations, f[5]);
    if (!modulation) return reader.Fail("unknown modulation \"" + std::string(f[5]) + "\"");
    p.modulation = *modulation;
    return reader.Pid(f[6], "video PID", p.videoPid) && reader.Pid(f[7], "audio PID", p.audioPid) &&
           reader.Field(f[8], "service id", UINT16_MAX, p.progId);
}

}  // namespace

std::string ExportZap(const std::vector<TunProgDataTag>& programs) {
    std::string out;
    for (const TunProgDataTag& p : programs) {
        // The format has no way of its own to carry a colon in a name: it goes
        // out as VDR writes it, and a leading "#" escaped so the line is no comment.
        out += EscapeLineName(ExportName(p), true) + ":" + std::to_string(uint64_t{p.frequency} * 1000) + ":INVERSION_AUTO:" +
               std::to_string(p.symbolRate) + ":" + SpellingOf(kFecs, p.fec) + ":" + SpellingOf(kModulations, p.modulation) + ":" +
               std::to_string(p.videoPid) + ":" + std::to_string(p.audioPid) + ":" + std::to_string(p.progId) + "\n";
    }
    return out;
}

std::optional<std::string> ImportZap(std::string_view text, const std::string& fileName,
                                     std::vector<TunProgDataTag>& programs) {
    const std::vector<std::string_view> lines = Lines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (Trim(lines[i]).empty() || lines[i][0] == '#') continue;
        LineReader reader(fileName, i + 1);
        TunProgDataTag program = NewImportedProgram();
        if (!ReadZapLine(reader, lines[i], program)) return reader.Error();
        SetProgramType(program);
        programs.push_back(std::move(program));
    }
    return std::nullopt;
}

}  // namespace exchange::detail
