// Channel files in and out: plain functions between program records and the
// text of a file, no GUI. The program list window's Export/Import and
// kelvane-cli both use them.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "card/DBDVBX32.h"
#include "card/ProgramBeside.h"

namespace exchange {

enum class Format { Dvbv5, Vdr, Zap, M3u, Csv };

// "dvbv5", "vdr", "zap", "m3u", "csv" (case-insensitive); nullopt otherwise.
std::optional<Format> FormatFromName(std::string_view name);
// The lower-case name FormatFromName reads.
const char* FormatName(Format format);
// From a file name's extension (".m3u"/".m3u8" -> M3u, ".csv" -> Csv,
// ".dvbv5", ".vdr", ".zap" -> theirs); nullopt where the extension does not
// say (".conf" is used by several formats).
std::optional<Format> FormatFromFileName(std::string_view fileName);
// From a file's first line that holds something: "[name]" is a dvbv5 entry,
// 13 colon-separated fields are VDR, 9 are zap, "Nr," the CSV header,
// "#EXTM3U" a playlist; nullopt otherwise.
std::optional<Format> FormatFromText(std::string_view text);
// Every format that line is of, in the table's order: more than one where a
// line fits several, none where it fits none.
std::vector<Format> FormatsFromText(std::string_view text);

// VLC's cable MRL. Placeholders in an m3u URL pattern:
//   {frequency} Hz, {frequency_khz}, {symbol_rate} symbols/s,
//   {modulation} VLC's spelling ("256QAM", "QAM" when not defined),
//   {qam} the QAM order (16 to 256, "AUTO"), {service_id},
//   {video_pid}, {audio_pid}, {pmt_pid}, {ts_id}, {nw_id}, {index}.
// Anything else in braces stays as written. Each entry also carries VLC's
// "#EXTVLCOPT:program=" line, which picks the service on the transport, and
// "video-track-id=" and "audio-track-id=" lines with its PIDs. Only entries
// whose URL is a cable MRL like this one can be imported.
inline constexpr const char* kDefaultM3uUrlPattern =
    "dvb-c://frequency={frequency}:srate={symbol_rate}:modulation={modulation}";

// The SAT>IP form of the m3u: each entry the RTSP URL of its program on the
// SAT>IP server `server` ("HOST" or "HOST:PORT"), with placeholders
//   {satip_tuning} "freq=MHZ&msys=dvbc&sr=KSYM&mtype=256qam" (mtype where known),
//   {pids} "0,PMT,VIDEO,AUDIO,TXT,SUBTITLE" (those the program has).
// The import reads such URLs back as it reads cable MRLs: the tuning and the
// PIDs from the URL, the service id from "#EXTVLCOPT:program=" where given.
std::string SatIpUrlPattern(const std::string& server);

struct ExportOptions {
    // m3u only: the URL each entry points at (placeholders above).
    std::string m3uUrlPattern;  // empty: the built-in default
    // What is beside each program's record, in the programs' order (no
    // entry: nothing). The channel number goes out in dvbv5, m3u and CSV,
    // the CA systems in VDR and CSV, the audio type in VDR (AC-3 and E-AC-3
    // as Dolby PIDs) and CSV.
    std::vector<ProgramBeside> beside;
    // Every name that more than one program has goes out with the service
    // id appended: "Kinowelt Abruf (811)" (see RepeatedNames).
    bool uniqueNames = false;
};

// The placeholders above, in the order the help names them.
struct M3uPlaceholder {
    const char* name;  // "frequency"
    const char* unit;  // "Hz"; empty where the name says it
    std::string (*value)(const TunProgDataTag& program);
};
std::span<const M3uPlaceholder> M3uPlaceholders();

// One channel file format: everything the window's menu, kelvane-cli and
// the functions below know of it. A new format is one more entry.
struct FormatInfo {
    Format format;
    const char* name;  // what FormatFromName reads
    // The extensions that name it alone, lower case, without the dot
    // (".conf" names none: several formats use it).
    std::vector<const char*> extensions;
    const char* filter;   // the file chooser's choice
    const char* summary;  // what kelvane-cli's help says it is
    const char* readAs;   // what a refusal says the file was read as: "a VDR channels.conf"
    // Whether a file's first line that holds something is of the format.
    // Asked before a "#" comment is passed over, so "#EXTM3U" counts.
    bool (*recognise)(std::string_view line);
    std::string (*write)(const std::vector<TunProgDataTag>& programs, const ExportOptions& options);
    // Fills `programs` or returns the first error; null for a format that is
    // only written (Import menus and kelvane-cli do not offer it).
    std::optional<std::string> (*read)(std::string_view text, const std::string& fileName,
                                       std::vector<TunProgDataTag>& programs, std::vector<ProgramBeside>& beside);
    // It carries the list's own "Nr"; the others number in file order.
    bool carriesNr;
    // Players find a channel by its name (dvbv5-zap's "[name]", czap's first
    // field): of programs with one name they reach only the first.
    bool nameKeyed;
    // What a line the import passes over on purpose is ("VDR group
    // separators"), null for one it reads; null where it passes over none
    // but blank lines and comments.
    const char* (*skips)(std::string_view line);
};
// Every format, in the order menus and help list them.
std::span<const FormatInfo> Formats();
const FormatInfo& InfoOf(Format format);

// Fields: frequency kHz <-> Hz (dvbv5, zap), kHz (VDR); modulation code 1 to
// 5 <-> QAM 16 to 256, 0 <-> automatic; fec as EN 300 468's FEC_inner code
// (0 automatic, 15 none); symbol rate in symbols/s (VDR: 1000 symbols/s); the
// service id written is the record's program number `progId`. An imported
// program gets "Standard" 8 and "Extra-Info" 32 as a scanned one does, and
// "Prog-Type" 1 with a video PID, 2 with only audio. Only the CSV carries
// every field, "Nr" included; the others number programs in file order.
// The whole file's text (UTF-8). An empty list gives a valid empty file of the format.
std::string Export(Format format, const std::vector<TunProgDataTag>& programs, const ExportOptions& options = {});

struct ImportResult {
    bool ok = false;
    std::vector<TunProgDataTag> programs;  // empty unless ok: nothing half-imported
    // Parallel to `programs`: what the file says beside each record (the
    // channel number, CA systems, audio type; 0 where it says nothing).
    std::vector<ProgramBeside> beside;
    std::string error;                     // "FILE:LINE: what is wrong" when !ok
    // Lines that hold something and were passed over on purpose, and why
    // ("2 lines skipped: VDR group separators"); empty when none were.
    size_t skippedLines = 0;
    std::string skipped;
};
// An m3u playlist gives the entries whose URL is VLC's cable MRL (the
// default pattern) or a SAT>IP server's; the others are skipped, and a playlist with none fails.
ImportResult Import(Format format, std::string_view text, const std::string& fileName);

// Each name (as it goes out) that more than one program has, once, in list
// order, with how many have it.
struct RepeatedName {
    std::string name;
    size_t count;
    // The first of them as MakeNamesUnique makes it: "Kinowelt Abruf (811)".
    std::string firstUnique;
};
std::vector<RepeatedName> RepeatedNames(const std::vector<TunProgDataTag>& programs);
// For a name-keyed format, what an export with these names would do:
// "Names used more than once: "Kinowelt Abruf" (4 programs); dvbv5-zap
// reaches only the first program of each"; empty otherwise.
std::string RepeatedNamesText(Format format, const std::vector<RepeatedName>& names);
// Appends " (service id)" to every name that more than one program has; a
// program without a name has "Service <id>" in files already.
void MakeNamesUnique(std::vector<TunProgDataTag>& programs);

// How many of `imported` describe a service that `list` holds already (the
// same "NW-ID" and "Prog-ID", as a scan merges), and how an import says so.
size_t CountAlreadyListed(const std::vector<TunProgDataTag>& list, const std::vector<TunProgDataTag>& imported);
std::string AlreadyListedText(size_t count);

}  // namespace exchange
