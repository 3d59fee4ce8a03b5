// An extended m3u playlist: each program's name and the URL a player opens.
#include <cstdint>
#include <string>

#include "exchange/FormatSupport.h"

namespace exchange {

namespace {

std::string Number(uint64_t value) { return std::to_string(value); }

const M3uPlaceholder kPlaceholders[] = {
    {"frequency", "Hz", [](const TunProgDataTag& p) { return Number(uint64_t{p.frequency} * 1000); }},
    {"frequency_khz", "", [](const TunProgDataTag& p) { return Number(p.frequency); }},
    {"symbol_rate", "symbols/s", [](const TunProgDataTag& p) { return Number(p.symbolRate); }},
    {"modulation", "", [](const TunProgDataTag& p) { return std::string(detail::Modulation(p.modulation).vlc); }},
    {"qam", "",
     [](const TunProgDataTag& p) {
         const detail::ModulationName& modulation = detail::Modulation(p.modulation);
         return modulation.code == 0 ? std::string("AUTO") : Number(modulation.vdr);
     }},
    {"service_id", "", [](const TunProgDataTag& p) { return Number(p.progId); }},
    {"video_pid", "", [](const TunProgDataTag& p) { return Number(p.videoPid); }},
    {"audio_pid", "", [](const TunProgDataTag& p) { return Number(p.audioPid); }},
    {"pmt_pid", "", [](const TunProgDataTag& p) { return Number(p.pmtPid); }},
    {"ts_id", "", [](const TunProgDataTag& p) { return Number(p.tsId); }},
    {"nw_id", "", [](const TunProgDataTag& p) { return Number(p.nwId); }},
    {"index", "", [](const TunProgDataTag& p) { return Number(p.index); }},
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

}  // namespace

std::string ExportM3u(const std::vector<TunProgDataTag>& programs, const std::vector<uint32_t>& channelNumbers,
                      const std::string& urlPattern) {
    std::string out = "#EXTM3U\n";
    for (size_t i = 0; i < programs.size(); ++i) {
        const TunProgDataTag& p = programs[i];
        const uint32_t number = ChannelNumberAt(channelNumbers, i);
        // The attribute players (Kodi, VLC, Jellyfin) number channels by.
        const std::string attributes = number != 0 ? " tvg-chno=\"" + std::to_string(number) + "\"" : "";
        out += "#EXTINF:-1" + attributes + "," + ExportName(p) + "\n";
        out += "#EXTVLCOPT:program=" + std::to_string(p.progId) + "\n";
        out += Url(urlPattern, p) + "\n";
    }
    return out;
}

}  // namespace exchange::detail
