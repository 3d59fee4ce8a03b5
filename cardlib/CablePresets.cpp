#include "cardlib/CablePresets.h"

#include <linux/dvb/frontend.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "framework/AsciiCase.h"
#include "framework/Ini.h"

namespace cardlib {

namespace {

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A decimal number of at most 10 digits; false for anything else.
bool Decimal(const std::string& text, unsigned long& value) {
    const std::optional<uint64_t> number = fw::IniNumber(text, 9999999999);
    if (number) value = static_cast<unsigned long>(*number);
    return number.has_value();
}

// libdvbv5's names (dvb-v5-std.c) to the kernel's enums.
uint32_t ModulationNamed(const std::string& name) {
    static const std::map<std::string, uint32_t> kNames = {
        {"QAM/16", QAM_16},   {"QAM/32", QAM_32},   {"QAM/64", QAM_64},
        {"QAM/128", QAM_128}, {"QAM/256", QAM_256}, {"QAM/AUTO", QAM_AUTO}};
    const auto it = kNames.find(name);
    return it == kNames.end() ? static_cast<uint32_t>(QAM_AUTO) : it->second;
}

uint32_t FecNamed(const std::string& name) {
    // DVB-C annex A has no inner code of its own; "NONE" in the lists means
    // the tuner may choose.
    static const std::map<std::string, uint32_t> kNames = {
        {"1/2", FEC_1_2}, {"2/3", FEC_2_3}, {"3/4", FEC_3_4}, {"3/5", FEC_3_5}, {"4/5", FEC_4_5},
        {"5/6", FEC_5_6}, {"6/7", FEC_6_7}, {"7/8", FEC_7_8}, {"8/9", FEC_8_9}, {"9/10", FEC_9_10}};
    const auto it = kNames.find(name);
    return it == kNames.end() ? static_cast<uint32_t>(FEC_AUTO) : it->second;
}

struct Entry {
    std::map<std::string, std::string> keys;
};

bool ToChannel(const Entry& e, CableChannel& c) {
    auto value = [&](const char* key) {
        const auto it = e.keys.find(key);
        return it == e.keys.end() ? std::string() : it->second;
    };
    const std::string system = value("DELIVERY_SYSTEM");
    if (system != "DVBC/ANNEX_A" && system != "DVBC/ANNEX_AC") return false;
    unsigned long hz = 0, rate = 0;
    if (!Decimal(value("FREQUENCY"), hz) || !Decimal(value("SYMBOL_RATE"), rate)) return false;
    // Some lists give kHz; a cable frequency is at least 40 MHz.
    if (hz < 40000000UL) hz *= 1000;
    if (hz < 40000000UL || hz > 1000000000UL || rate < 870000 || rate > 7200000) return false;
    c.frequencyKHz = hz / 1000;
    c.symbolRate = static_cast<uint32_t>(rate);
    c.modulation = ModulationNamed(value("MODULATION"));
    c.innerFec = FecNamed(value("INNER_FEC"));
    return true;
}

}  // namespace

std::vector<std::string> ListPresets(const std::string& folder, const std::string& country) {
    std::vector<std::string> names;
    std::error_code ec;
    const std::string prefix = fw::AsciiLower(country) + (country.empty() ? "" : "-");
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        if (fw::AsciiLower(name).rfind(prefix, 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool ReadPreset(const std::string& folder, const std::string& name, std::vector<CableChannel>& channels,
                std::string& error) {
    channels.clear();
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
        error = "Preset \"" + name + "\" is not a preset's name (kelvane-cli presets lists them)";
        return false;
    }
    const std::string path = (std::filesystem::path(folder) / name).string();
    std::ifstream in(path);
    if (!in) {
        error = "Preset \"" + name + "\" is not in " + folder +
                " (install the package dtv-scan-tables; kelvane-cli presets lists them)";
        return false;
    }
    std::vector<Entry> entries;
    std::string raw;
    while (std::getline(in, raw)) {
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#') continue;
        if (line.front() == '[') {
            entries.emplace_back();
            continue;
        }
        const size_t equals = line.find('=');
        if (entries.empty() || equals == std::string::npos) continue;
        entries.back().keys[Trim(line.substr(0, equals))] = Trim(line.substr(equals + 1));
    }
    for (const Entry& e : entries) {
        CableChannel c;
        if (!ToChannel(e, c)) continue;
        const bool known = std::any_of(channels.begin(), channels.end(), [&](const CableChannel& k) {
            return k.frequencyKHz == c.frequencyKHz && k.symbolRate == c.symbolRate;
        });
        if (!known) channels.push_back(c);
    }
    if (channels.empty()) {
        error = path + " holds no DVB-C channel";
        return false;
    }
    return true;
}

std::vector<CableChannel> CableRaster() {
    std::vector<CableChannel> raster;
    for (unsigned long kHz = kRasterFirstKHz; kHz <= kRasterLastKHz; kHz += kRasterStepKHz) {
        for (uint32_t rate : broadcast::ExtendedSymbolRates()) raster.push_back({kHz, rate, QAM_AUTO, FEC_AUTO});
    }
    return raster;
}

}  // namespace cardlib
