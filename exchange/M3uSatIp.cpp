// The SAT>IP form of a playlist entry: the RTSP URL of one program on a
// SAT>IP server, "rtsp://HOST/?freq=346&msys=dvbc&sr=6900&mtype=64qam&pids=0,256,257,258",
// which players open and a server tunes and filters by.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "card/ProgramFields.h"
#include "broadcast/descriptors/CableDelivery.h"
#include "exchange/Exchange.h"
#include "exchange/FormatSupport.h"
#include "framework/AsciiCase.h"

namespace exchange {

std::string SatIpUrlPattern(const std::string& server) {
    return "rtsp://" + server + "/?{satip_tuning}&pids={pids}";
}

}  // namespace exchange

namespace exchange::detail {

namespace {

constexpr std::string_view kRtsp = "rtsp://";

// The URL's query parameters in order; the last of a repeated name counts
// where they are looked up.
std::vector<std::pair<std::string_view, std::string_view>> Query(std::string_view url) {
    std::vector<std::pair<std::string_view, std::string_view>> query;
    const size_t mark = url.find('?');
    if (mark == std::string_view::npos) return query;
    for (const std::string_view part : Split(url.substr(mark + 1), '&')) {
        const size_t equals = part.find('=');
        if (equals != std::string_view::npos) query.emplace_back(part.substr(0, equals), part.substr(equals + 1));
    }
    return query;
}

std::optional<std::string_view> Value(const std::vector<std::pair<std::string_view, std::string_view>>& query,
                                      std::string_view name) {
    std::optional<std::string_view> found;
    for (const auto& [key, value] : query)
        if (key == name) found = value;
    return found;
}

bool SiPid(uint16_t pid) { return pid < 0x20; }

}  // namespace

std::string SatIpTuning(const TunProgDataTag& p) {
    const unsigned long kHz = p.frequency;
    std::string mhz = std::to_string(kHz / 1000);
    if (kHz % 1000) {
        std::string fraction = std::to_string(1000 + kHz % 1000).substr(1);
        while (fraction.back() == '0') fraction.pop_back();
        mhz += "." + fraction;
    }
    std::string text = "freq=" + mhz + "&msys=dvbc&sr=" + std::to_string((p.symbolRate + 500) / 1000);
    // Without a known constellation the server finds it.
    const si::ModulationCode* modulation = si::FindModulation(p.modulation);
    if (modulation && modulation->qamOrder) text += "&mtype=" + std::to_string(modulation->qamOrder) + "qam";
    return text;
}

std::string SatIpPids(const TunProgDataTag& p) {
    std::vector<uint16_t> pids = {0};
    for (const uint16_t pid : {p.pmtPid, p.videoPid, p.audioPid, p.txtPid, p.subtitlePid}) {
        if (pid == 0 || pid > kMaxPid || std::find(pids.begin(), pids.end(), pid) != pids.end()) continue;
        pids.push_back(pid);
    }
    std::string text;
    for (const uint16_t pid : pids) text += (text.empty() ? "" : ",") + std::to_string(pid);
    return text;
}

bool IsSatIpUrl(std::string_view url) {
    if (url.size() < kRtsp.size() || fw::AsciiLower(std::string(url.substr(0, kRtsp.size()))) != kRtsp) return false;
    const auto query = Query(url);
    return Value(query, "freq") && Value(query, "sr");
}

bool ReadSatIpTuning(LineReader& reader, std::string_view url, bool pidsKnown, TunProgDataTag& p) {
    const auto query = Query(url);
    if (const auto system = Value(query, "msys"); system && fw::AsciiLower(std::string(*system)) != "dvbc")
        return reader.Fail("msys=" + std::string(*system) + " is not DVB-C (dvbc)");
    // "346", "346.5": MHz, to the kHz.
    const std::string_view freq = *Value(query, "freq");
    const size_t dot = freq.find('.');
    uint64_t mhz = 0, fraction = 0;
    const std::string_view decimals = dot == std::string_view::npos ? std::string_view() : freq.substr(dot + 1);
    if (!reader.Number(freq.substr(0, dot), "freq", kMaxFrequencyKhz / 1000, mhz)) return false;
    if (dot != std::string_view::npos) {
        if (decimals.size() > 3) return reader.Fail("freq " + std::string(freq) + " is finer than a kHz");
        if (!reader.Number(decimals, "freq", 999, fraction)) return false;
        for (size_t i = decimals.size(); i < 3; ++i) fraction *= 10;
    }
    p.frequency = static_cast<uint32_t>(mhz * 1000 + fraction);
    uint64_t ksym = 0;
    if (!reader.Number(*Value(query, "sr"), "sr", UINT32_MAX / 1000, ksym)) return false;
    p.symbolRate = static_cast<uint32_t>(ksym * 1000);
    if (const auto mtype = Value(query, "mtype")) {
        const std::string name = fw::AsciiLower(std::string(*mtype));
        bool known = false;
        for (const si::ModulationCode& m : si::ModulationCodes()) {
            if (m.qamOrder && name == std::to_string(m.qamOrder) + "qam") {
                p.modulation = m.code;
                known = true;
            }
        }
        if (!known) return reader.Fail("unknown mtype \"" + std::string(*mtype) + "\"");
    }
    const auto pidText = Value(query, "pids");
    if (!pidText || *pidText == "all" || *pidText == "none") return true;
    std::vector<uint16_t> pids;
    for (const std::string_view text : Split(*pidText, ',')) {
        uint16_t pid = 0;
        if (!reader.Pid(text, "pids", pid)) return false;
        if (!SiPid(pid)) pids.push_back(pid);
    }
    // Without the player's track options the order tells: the PMT, then the
    // program's video, sound and teletext, as the export writes them.
    if (!pids.empty()) p.pmtPid = pids[0];
    if (!pidsKnown) {
        if (pids.size() > 1) p.videoPid = pids[1];
        if (pids.size() > 2) p.audioPid = pids[2];
        if (pids.size() > 3) p.txtPid = pids[3];
    }
    return true;
}

}  // namespace exchange::detail
