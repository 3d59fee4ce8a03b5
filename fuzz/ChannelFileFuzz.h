// What every channel-file importer must hold to, whatever bytes it is given:
// a refused file keeps nothing and names a line the file has, on one line; an
// accepted one exports as text recognised for its format, and that text
// imports to the same records. Each *_import_fuzz.cpp feeds one format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "card/DBDVBX32.h"
#include "exchange/Exchange.h"

namespace channelfilefuzz {

inline constexpr const char* kFileName = "channels.conf";

inline void Check(bool condition) {
    if (!condition) __builtin_trap();
}

// Lines as an editor counts them: a last line without its LF counts too.
inline size_t LineCount(std::string_view text) {
    size_t lines = 0;
    for (const char c : text) lines += c == '\n';
    if (!text.empty() && text.back() != '\n') ++lines;
    return lines;
}

// "FILE:LINE: why" with LINE a line of the file; a dtv-scan-tables file is
// refused as a whole, without a line.
inline void CheckRefusal(exchange::Format format, const exchange::ImportResult& result, std::string_view text) {
    Check(result.programs.empty() && result.beside.empty());
    Check(result.error.find_first_of("\r\n") == std::string::npos);
    const std::string prefix = std::string(kFileName) + ":";
    Check(result.error.compare(0, prefix.size(), prefix) == 0);
    const std::string_view rest = std::string_view(result.error).substr(prefix.size());
    if (format == exchange::Format::Dvbv5 && rest.substr(0, 34) == " an operator's frequency list (dtv") return;
    size_t digits = 0;
    uint64_t line = 0;
    while (digits < rest.size() && digits < 12 && rest[digits] >= '0' && rest[digits] <= '9')
        line = line * 10 + static_cast<uint64_t>(rest[digits++] - '0');
    Check(digits > 0 && digits < rest.size() && rest.substr(digits, 2) == ": ");
    Check(line >= 1 && line <= LineCount(text));
}

// The record an export of `p` reads back as: a program without a name goes
// out as "Service N", a line format puts a name on one line, and VDR has no
// ';' in a name (it starts the provider there).
inline TunProgDataTag AsExported(exchange::Format format, TunProgDataTag p) {
    const size_t named = p.name.find_first_not_of(" \t");
    if (named == std::string::npos) {
        p.name = "Service " + std::to_string(p.progId);
        return p;
    }
    if (format == exchange::Format::Csv) return p;
    for (char& c : p.name) {
        if (c == '\r' || c == '\n') c = ' ';
        if (c == ';' && format == exchange::Format::Vdr) c = ',';
    }
    return p;
}

inline int ImportExportImport(exchange::Format format, const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const exchange::ImportResult first = exchange::Import(format, text, kFileName);
    if (!first.ok) {
        CheckRefusal(format, first, text);
        return 0;
    }
    Check(first.error.empty());
    Check(first.beside.size() == first.programs.size());
    Check(first.skippedLines <= LineCount(text));

    exchange::ExportOptions options;
    options.beside = first.beside;
    const std::string exported = exchange::Export(format, first.programs, options);
    if (!first.programs.empty()) Check(exchange::FormatFromText(exported) == format);
    const exchange::ImportResult second = exchange::Import(format, exported, kFileName);
    Check(second.ok);
    Check(second.skippedLines == 0);
    Check(second.programs.size() == first.programs.size());
    for (size_t i = 0; i < first.programs.size(); ++i) {
        Check(second.programs[i] == AsExported(format, first.programs[i]));
    }
    // What is beside the records goes out and comes back; only dvbv5, m3u
    // and CSV carry channel numbers, only VDR and CSV the CA systems and
    // the audio type.
    Check(second.beside == first.beside);
    const bool numbered = format == exchange::Format::Dvbv5 || format == exchange::Format::M3u ||
                          format == exchange::Format::Csv;
    const bool typed = format == exchange::Format::Vdr || format == exchange::Format::Csv;
    for (const ProgramBeside& beside : first.beside) {
        if (!numbered) Check(beside.channelNumber == 0);
        if (!typed) Check(beside.caSystems == 0 && beside.audioStreamType == 0);
    }
    return 0;
}

}  // namespace channelfilefuzz
