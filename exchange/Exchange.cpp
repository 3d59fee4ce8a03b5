#include "exchange/Exchange.h"

#include <cstdlib>
#include <string>
#include <unordered_set>

#include "card/ProgramFields.h"
#include "exchange/FormatSupport.h"
#include "framework/AsciiCase.h"

namespace exchange {

namespace {

using detail::Split;
using detail::StartsWith;

std::string WriteM3u(const std::vector<TunProgDataTag>& programs, const ExportOptions& options) {
    return detail::ExportM3u(programs, options.beside,
                             options.m3uUrlPattern.empty() ? kDefaultM3uUrlPattern : options.m3uUrlPattern);
}

template <std::string (*Write)(const std::vector<TunProgDataTag>&)>
std::string WriteOnly(const std::vector<TunProgDataTag>& programs, const ExportOptions&) {
    return Write(programs);
}

template <std::string (*Write)(const std::vector<TunProgDataTag>&, const std::vector<ProgramBeside>&)>
std::string WriteBeside(const std::vector<TunProgDataTag>& programs, const ExportOptions& options) {
    return Write(programs, options.beside);
}

// A format that carries nothing beside the record reads every program as having nothing.
template <std::optional<std::string> (*Read)(std::string_view, const std::string&, std::vector<TunProgDataTag>&)>
std::optional<std::string> ReadRecordsOnly(std::string_view text, const std::string& fileName,
                                           std::vector<TunProgDataTag>& programs, std::vector<ProgramBeside>&) {
    return Read(text, fileName, programs);
}

const FormatInfo kFormats[] = {
    // A whole line "[name]": a VDR or zap channel's name may start with "[".
    {Format::Dvbv5, "dvbv5", {"dvbv5"}, "dvbv5 channel files (*.conf *.dvbv5)", "dvbv5-zap", "a dvbv5 channel file",
     [](std::string_view line) { return line[0] == '[' && line.back() == ']'; }, WriteBeside<detail::ExportDvbv5>, detail::ImportDvbv5,
     false, true, nullptr},
    // VDR's group separators start with a colon. VDR reads no comments, so a
    // channel's name may start with "#": a cable channel's 13 fields say it.
    {Format::Vdr, "vdr", {"vdr"}, "VDR channels.conf (*.conf *.vdr)", "VDR 2.x channels.conf", "a VDR channels.conf",
     [](std::string_view line) {
         const std::vector<std::string_view> fields = Split(line, ':');
         return line[0] == ':' || (fields.size() == 13 && (line[0] != '#' || fields[3] == "C"));
     },
     WriteBeside<detail::ExportVdr>, detail::ImportVdr, false, false,
     [](std::string_view line) -> const char* { return line[0] == ':' ? "VDR group separators" : nullptr; }},
    {Format::Zap, "zap", {"zap"}, "zap channels.conf (*.conf *.zap)", "czap", "a zap channels.conf",
     [](std::string_view line) { return line[0] != '#' && Split(line, ':').size() == 9; },
     WriteOnly<detail::ExportZap>, ReadRecordsOnly<detail::ImportZap>, false, true, nullptr},
    {Format::M3u, "m3u", {"m3u", "m3u8"}, "m3u playlists (*.m3u *.m3u8)", "playlist", "an m3u playlist",
     [](std::string_view line) { return StartsWith(line, "#EXTM3U"); }, WriteM3u, detail::ImportM3u, false, false,
     detail::SkippedM3uLine},
    {Format::Csv, "csv", {"csv"}, "CSV files (*.csv)", "every column of the list", "a CSV file",
     [](std::string_view line) { return StartsWith(line, "Nr,"); }, WriteBeside<detail::ExportCsv>,
     detail::ImportCsv, true, false, nullptr},
};

}  // namespace

std::span<const FormatInfo> Formats() { return kFormats; }

const FormatInfo& InfoOf(Format format) {
    for (const FormatInfo& info : kFormats) {
        if (info.format == format) return info;
    }
    // Every Format has its entry; a missing one is a programming error.
    std::abort();
}

std::optional<Format> FormatFromName(std::string_view name) {
    const std::string lower = fw::AsciiLower(std::string(name));
    for (const FormatInfo& info : kFormats) {
        if (lower == info.name) return info.format;
    }
    return std::nullopt;
}

const char* FormatName(Format format) { return InfoOf(format).name; }

std::optional<Format> FormatFromFileName(std::string_view fileName) {
    const size_t slash = fileName.find_last_of('/');
    if (slash != std::string_view::npos) fileName.remove_prefix(slash + 1);
    const size_t dot = fileName.find_last_of('.');
    if (dot == std::string_view::npos) return std::nullopt;
    const std::string extension = fw::AsciiLower(std::string(fileName.substr(dot + 1)));
    for (const FormatInfo& info : kFormats) {
        for (const char* own : info.extensions) {
            if (extension == own) return info.format;
        }
    }
    return std::nullopt;
}

std::optional<Format> FormatFromText(std::string_view text) {
    const std::vector<Format> formats = FormatsFromText(text);
    if (formats.empty()) return std::nullopt;
    return formats.front();
}

std::vector<Format> FormatsFromText(std::string_view text) {
    const std::string utf8 = detail::ToUtf8(text);
    std::vector<Format> formats;
    for (const std::string_view raw : detail::Lines(utf8)) {
        const std::string_view line = detail::Trim(raw);
        if (line.empty()) continue;
        for (const FormatInfo& info : kFormats) {
            if (info.recognise(line)) formats.push_back(info.format);
        }
        if (!formats.empty() || line[0] != '#') break;
    }
    return formats;
}

std::string Export(Format format, const std::vector<TunProgDataTag>& programs, const ExportOptions& options) {
    if (!options.uniqueNames) return InfoOf(format).write(programs, options);
    std::vector<TunProgDataTag> unique = programs;
    MakeNamesUnique(unique);
    return InfoOf(format).write(unique, options);
}

ImportResult Import(Format format, std::string_view text, const std::string& fileName) {
    const FormatInfo& info = InfoOf(format);
    ImportResult result;
    std::optional<std::string> error;
    // Every reader works on UTF-8; older set-ups write ISO-8859-15.
    const std::string utf8 = detail::ToUtf8(text);
    if (info.read) error = info.read(utf8, fileName, result.programs, result.beside);
    else error = fileName + ": " + info.name + " files are only written";
    if (error) {
        result.programs.clear();
        result.beside.clear();
        result.error = *error;
        return result;
    }
    if (!info.carriesNr) {
        for (size_t i = 0; i < result.programs.size(); ++i) result.programs[i].index = static_cast<uint32_t>(i + 1);
    }
    result.beside.resize(result.programs.size());
    if (info.skips) {
        const char* why = nullptr;
        for (const std::string_view line : detail::Lines(utf8)) {
            if (line.empty()) continue;
            if (const char* what = info.skips(line)) {
                why = what;
                ++result.skippedLines;
            }
        }
        if (why) {
            result.skipped = std::to_string(result.skippedLines) + (result.skippedLines == 1 ? " line" : " lines") +
                             " skipped: " + why;
        }
    }
    result.ok = true;
    return result;
}

size_t CountAlreadyListed(const std::vector<TunProgDataTag>& list, const std::vector<TunProgDataTag>& imported) {
    std::unordered_set<uint32_t> listed;
    listed.reserve(list.size());
    for (const TunProgDataTag& program : list) listed.insert(ServiceKey(program));
    size_t count = 0;
    for (const TunProgDataTag& program : imported) count += listed.count(ServiceKey(program));
    return count;
}

std::string AlreadyListedText(size_t count) {
    return std::to_string(count) + (count == 1 ? " was" : " were") +
           " already in the list (same NW-ID and Prog-ID)";
}

}  // namespace exchange
