#include "exchange/Exchange.h"

#include "exchange/FormatSupport.h"
#include "framework/AsciiCase.h"

namespace exchange {

std::optional<Format> FormatFromName(std::string_view name) {
    const std::string lower = fw::AsciiLower(std::string(name));
    if (lower == "dvbv5") return Format::Dvbv5;
    if (lower == "vdr") return Format::Vdr;
    if (lower == "zap") return Format::Zap;
    if (lower == "m3u") return Format::M3u;
    if (lower == "csv") return Format::Csv;
    return std::nullopt;
}

const char* FormatName(Format format) {
    switch (format) {
        case Format::Dvbv5: return "dvbv5";
        case Format::Vdr: return "vdr";
        case Format::Zap: return "zap";
        case Format::M3u: return "m3u";
        case Format::Csv: return "csv";
    }
    return "";
}

std::optional<Format> FormatFromFileName(std::string_view fileName) {
    const size_t slash = fileName.find_last_of('/');
    if (slash != std::string_view::npos) fileName.remove_prefix(slash + 1);
    const size_t dot = fileName.find_last_of('.');
    if (dot == std::string_view::npos) return std::nullopt;
    const std::string extension = fw::AsciiLower(std::string(fileName.substr(dot + 1)));
    if (extension == "m3u" || extension == "m3u8") return Format::M3u;
    if (extension == "csv") return Format::Csv;
    if (extension == "dvbv5") return Format::Dvbv5;
    if (extension == "vdr") return Format::Vdr;
    if (extension == "zap") return Format::Zap;
    return std::nullopt;
}

std::optional<Format> FormatFromText(std::string_view text) {
    for (const std::string_view raw : detail::Lines(text)) {
        const std::string_view line = detail::Trim(raw);
        if (line.empty()) continue;
        if (detail::StartsWith(line, "#EXTM3U")) return Format::M3u;
        if (line[0] == '#') continue;
        if (line[0] == '[') return Format::Dvbv5;
        // VDR's group separators start with a colon.
        if (line[0] == ':') return Format::Vdr;
        if (detail::StartsWith(line, "Nr,")) return Format::Csv;
        const size_t fields = detail::Split(line, ':').size();
        if (fields == 13) return Format::Vdr;
        if (fields == 9) return Format::Zap;
        return std::nullopt;
    }
    return std::nullopt;
}

std::string Export(Format format, const std::vector<TunProgDataTag>& programs, const ExportOptions& options) {
    switch (format) {
        case Format::Dvbv5: return detail::ExportDvbv5(programs);
        case Format::Vdr: return detail::ExportVdr(programs);
        case Format::Zap: return detail::ExportZap(programs);
        case Format::M3u:
            return detail::ExportM3u(programs, options.m3uUrlPattern.empty() ? kDefaultM3uUrlPattern
                                                                            : options.m3uUrlPattern);
        case Format::Csv: return detail::ExportCsv(programs);
    }
    return {};
}

ImportResult Import(Format format, std::string_view text, const std::string& fileName) {
    ImportResult result;
    std::optional<std::string> error;
    switch (format) {
        case Format::Dvbv5: error = detail::ImportDvbv5(text, fileName, result.programs); break;
        case Format::Vdr: error = detail::ImportVdr(text, fileName, result.programs); break;
        case Format::Zap: error = detail::ImportZap(text, fileName, result.programs); break;
        case Format::Csv: error = detail::ImportCsv(text, fileName, result.programs); break;
        case Format::M3u: error = fileName + ": an m3u playlist holds no tuning data and cannot be imported"; break;
    }
    if (error) {
        result.programs.clear();
        result.error = *error;
        return result;
    }
    // The CSV carries the list's own "Nr"; the other formats number in file order.
    if (format != Format::Csv) {
        for (size_t i = 0; i < result.programs.size(); ++i) result.programs[i].index = static_cast<uint32_t>(i + 1);
    }
    result.ok = true;
    return result;
}

}  // namespace exchange
