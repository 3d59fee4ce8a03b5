// An extended m3u playlist: each program's name and the URL a player opens.
#include <cstdint>
#include <string>

#include "exchange/FormatSupport.h"

namespace exchange::detail {

namespace {

std::string Placeholder(std::string_view key, const TunProgDataTag& p) {
    const ModulationName& modulation = Modulation(p.modulation);
    if (key == "frequency") return std::to_string(uint64_t{p.frequency} * 1000);
    if (key == "frequency_khz") return std::to_string(p.frequency);
    if (key == "symbol_rate") return std::to_string(p.symbolRate);
    if (key == "modulation") return modulation.vlc;
    if (key == "qam") return modulation.code == 0 ? "AUTO" : std::to_string(modulation.vdr);
    if (key == "service_id") return std::to_string(p.progId);
    if (key == "video_pid") return std::to_string(p.videoPid);
    if (key == "audio_pid") return std::to_string(p.audioPid);
    if (key == "pmt_pid") return std::to_string(p.pmtPid);
    if (key == "ts_id") return std::to_string(p.tsId);
    if (key == "nw_id") return std::to_string(p.nwId);
    if (key == "index") return std::to_string(p.index);
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

std::string ExportM3u(const std::vector<TunProgDataTag>& programs, const std::string& urlPattern) {
    std::string out = "#EXTM3U\n";
    for (const TunProgDataTag& p : programs) {
        out += "#EXTINF:-1," + OneLine(p.name) + "\n";
        out += "#EXTVLCOPT:program=" + std::to_string(p.progId) + "\n";
        out += Url(urlPattern, p) + "\n";
    }
    return out;
}

}  // namespace exchange::detail
