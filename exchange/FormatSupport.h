// What the format readers and writers share: how a format spells the DVB-C
// codes, strict number reading with "FILE:LINE: ..." errors, and the per-format entry points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "card/DBDVBX32.h"
#include "card/ProgramBeside.h"
#include "exchange/Exchange.h"

namespace exchange::detail {

// The record's modulation code is the cable delivery system descriptor's
// (EN 300 468 6.2.13.1: 1 to 5 = 16 to 256-QAM, 0 not defined), its FEC code
// the descriptor's FEC_inner (0 not defined, 15 none). Each format spells
// them in its own file, as a table of codes and names with the code it
// writes for a code it has no name for (automatic) first.
template <typename Name>
struct Spelling {
    uint8_t code;
    Name name;
};
template <typename Name, size_t N>
Name SpellingOf(const Spelling<Name> (&table)[N], uint8_t code) {
    for (const Spelling<Name>& entry : table)
        if (entry.code == code) return entry.name;
    return table[0].name;
}
// The code a file's name stands for; nullopt for a name the format does not have.
template <typename Name, size_t N, typename Read>
std::optional<uint8_t> CodeSpelled(const Spelling<Name> (&table)[N], const Read& name) {
    for (const Spelling<Name>& entry : table)
        if (name == entry.name) return entry.code;
    return std::nullopt;
}

// The highest PID: PIDs are 13 bits.
inline constexpr uint64_t kMaxPid = 8191;

// Fields of a scanned cable program that no channel file carries, filled as a
// scan fills them, so that an imported program tunes like a scanned one.
TunProgDataTag NewImportedProgram();
// "Prog-Type" from the PIDs read: television with video, radio with only audio.
void SetProgramType(TunProgDataTag& program);

// A name on one line of a line format: line breaks become blanks.
std::string OneLine(std::string_view name);
// The name a program goes out under in every format: its own, or for a
// program without one (blanks are none) "Service " and its service id, so
// that no line starts with a separator its format reads as something else.
std::string NameInFile(const TunProgDataTag& program);
// The same in a line format: on one line.
std::string ExportName(const TunProgDataTag& program);

// A name in a colon-separated line format (VDR, zap). A ":" goes out as "|",
// as VDR writes it and reads it back; a literal "|" as "\|" and, with
// `escapeHash`, a "#" that would open the line as "\#" (zap reads such a
// line as a comment; VDR does not). A backslash before one of those is
// doubled. VDR itself has no way to carry a "|": it shows "\:" there.
std::string EscapeLineName(std::string_view name, bool escapeHash);
// The reverse: "|" is ":", "\|" "|", "\#" "#", "\\" one backslash; any
// other backslash stays as written, as other programs' files have them.
std::string UnescapeLineName(std::string_view field);

// The text as UTF-8: as it is when it is valid UTF-8, otherwise read as
// ISO-8859-15, which older VDR set-ups write; without the byte order marks
// that start the file or a line.
std::string ToUtf8(std::string_view text);

// Text split at LF (a CR before it dropped); the last line may lack its LF.
std::vector<std::string_view> Lines(std::string_view text);
std::vector<std::string_view> Split(std::string_view text, char separator);
std::string_view Trim(std::string_view text);
bool StartsWith(std::string_view text, std::string_view prefix);

// Reads the values of one line of a file and keeps the first complaint.
class LineReader {
public:
    LineReader(const std::string& fileName, size_t line) : m_FileName(fileName), m_Line(line) {}

    // Plain decimal digits, nothing else; `what` names the field in the error.
    bool Number(std::string_view text, const char* what, uint64_t max, uint64_t& value);
    template <typename T>
    bool Field(std::string_view text, const char* what, uint64_t max, T& field) {
        uint64_t value = 0;
        if (!Number(text, what, max, value)) return false;
        field = static_cast<T>(value);
        return true;
    }
    template <typename T>
    bool Pid(std::string_view text, const char* what, T& field) {
        return Field(text, what, kMaxPid, field);
    }
    bool Fail(const std::string& message);
    const std::string& Error() const { return m_Error; }
    void SetLine(size_t line) { m_Line = line; }

private:
    const std::string& m_FileName;
    size_t m_Line;
    std::string m_Error;
};

// `beside`: parallel to `programs` (no entry: nothing beside the record).
std::string ExportDvbv5(const std::vector<TunProgDataTag>& programs, const std::vector<ProgramBeside>& beside);
std::string ExportVdr(const std::vector<TunProgDataTag>& programs, const std::vector<ProgramBeside>& beside);
std::string ExportZap(const std::vector<TunProgDataTag>& programs);
std::string ExportM3u(const std::vector<TunProgDataTag>& programs, const std::vector<ProgramBeside>& beside,
                      const std::string& urlPattern);
std::string ExportCsv(const std::vector<TunProgDataTag>& programs, const std::vector<ProgramBeside>& beside);
// What is beside program `i`; nothing where there is no entry.
inline ProgramBeside BesideAt(const std::vector<ProgramBeside>& beside, size_t i) {
    return i < beside.size() ? beside[i] : ProgramBeside{};
}
inline uint32_t ChannelNumberAt(const std::vector<ProgramBeside>& beside, size_t i) {
    return BesideAt(beside, i).channelNumber;
}
// The highest channel number a file may give: the board keeps 16 bits.
inline constexpr uint64_t kMaxChannelNumber = UINT16_MAX;

// Each fills `programs` (and, where the format has them, `beside`, one per
// program) or returns the first error.
std::optional<std::string> ImportDvbv5(std::string_view text, const std::string& fileName,
                                       std::vector<TunProgDataTag>& programs, std::vector<ProgramBeside>& beside);
std::optional<std::string> ImportVdr(std::string_view text, const std::string& fileName,
                                     std::vector<TunProgDataTag>& programs, std::vector<ProgramBeside>& beside);
std::optional<std::string> ImportZap(std::string_view text, const std::string& fileName,
                                     std::vector<TunProgDataTag>& programs);
std::optional<std::string> ImportM3u(std::string_view text, const std::string& fileName,
                                     std::vector<TunProgDataTag>& programs, std::vector<ProgramBeside>& beside);
// The SAT>IP form of an m3u entry (M3uSatIp.cpp): the tuning as a server's
// URL query ("freq=346&msys=dvbc&sr=6900&mtype=64qam") and the program's
// PIDs ("0,PMT,VIDEO,AUDIO,TXT,SUBTITLE", each once, none that is 0).
std::string SatIpTuning(const TunProgDataTag& program);
std::string SatIpPids(const TunProgDataTag& program);
// An "rtsp://" URL with freq and sr.
bool IsSatIpUrl(std::string_view url);
// Its tuning and PIDs into `program`; `pidsKnown`: the entry's options gave
// the video and audio PIDs, so the list gives only the PMT.
bool ReadSatIpTuning(LineReader& reader, std::string_view url, bool pidsKnown, TunProgDataTag& program);
// Why the m3u import passes over a line: an entry whose URL names no transport.
const char* SkippedM3uLine(std::string_view line);
std::optional<std::string> ImportCsv(std::string_view text, const std::string& fileName,
                                     std::vector<TunProgDataTag>& programs, std::vector<ProgramBeside>& beside);

}  // namespace exchange::detail
