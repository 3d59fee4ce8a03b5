#include "cardsetup/CardSettings.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "cardlib/CablePresets.h"
#include "cardlib/Card.h"
#include "simnet/SimBackend.h"
#include "simnet/SimNetwork.h"
#include "tsfile/TsFileBackend.h"
#include "framework/AsciiCase.h"
#include "framework/Ini.h"
#include "framework/XdgDirs.h"

namespace cardlib {

namespace {

// A decimal number no larger than `max`.
bool Number(const std::string& text, unsigned long max, unsigned long& value) {
    const std::optional<uint64_t> number = fw::IniNumber(text, max);
    if (number) value = static_cast<unsigned long>(*number);
    return number.has_value();
}

void Note(std::string* problems, const std::string& line) {
    if (problems) *problems += line + "\n";
}

// "HOST" or "HOST:PORT": a name or an IPv4 address, the RTSP port 554 by default.
bool ReadServer(const std::string& text, SatIpSettings& satip) {
    const size_t colon = text.rfind(':');
    const std::string host = text.substr(0, colon);
    unsigned long port = satip::kRtspPort;
    if (colon != std::string::npos && (!Number(text.substr(colon + 1), 65535, port) || port == 0)) return false;
    if (host.empty() || host.find_first_of(" /?#@\t") != std::string::npos) return false;
    satip.host = host;
    satip.port = static_cast<uint16_t>(port);
    return true;
}

}  // namespace

std::string CardSettingsPath() { return fw::XdgConfigHome() + "/kelvane/card.ini"; }

CardSettings ReadCardSettings(const std::string& path, std::string* problems) {
    CardSettings settings;
    settings.path = path;
    if (path.empty()) return settings;
    std::ifstream in(path);
    if (!in) return settings;
    std::string raw;
    bool inCard = false, adapterGiven = false, badServer = false;
    int number = 0;
    while (std::getline(in, raw)) {
        ++number;
        const fw::IniLine line = fw::ParseIniLine(raw);
        if (line.kind == fw::IniLine::Kind::Section) {
            inCard = fw::IniNamesMatch(line.name, "Card");
            continue;
        }
        if (!inCard || line.kind == fw::IniLine::Kind::Blank || line.kind == fw::IniLine::Kind::Comment) continue;
        const std::string where = path + ":" + std::to_string(number) + ": ";
        if (line.kind != fw::IniLine::Kind::Assignment) {
            Note(problems, where + "not a key=value line");
            continue;
        }
        const std::string& value = line.value;
        if (fw::IniNamesMatch(line.name, "Backend")) {
            const std::string v = fw::AsciiLower(value);
            if (v == "simulated")
                settings.source = CardSettings::Source::Simulated;
            else if (v == "files")
                settings.source = CardSettings::Source::Files;
            else if (v == "dvb")
                settings.source = CardSettings::Source::Dvb;
            else if (v == "satip")
                settings.source = CardSettings::Source::SatIp;
            else
                Note(problems,
                     where + "Backend is \"simulated\", \"files\", \"dvb\" or \"satip\", not \"" + value + "\"");
        } else if (fw::IniNamesMatch(line.name, "Server")) {
            if (!ReadServer(value, settings.satip)) {
                Note(problems, where + "Server is HOST or HOST:PORT, not \"" + value + "\"");
                badServer = true;
            }
        } else if (fw::IniNamesMatch(line.name, "Transport")) {
            const std::string v = fw::AsciiLower(value);
            if (v == "udp" || v == "tcp")
                settings.satip.interleaved = v == "tcp";
            else
                Note(problems, where + "Transport is \"udp\" or \"tcp\", not \"" + value + "\"");
        } else if (fw::IniNamesMatch(line.name, "MaxPids")) {
            unsigned long count = 0;
            if (!Number(value, 8192, count) || count == 0)
                Note(problems, where + "MaxPids is a number of PIDs (1 to 8192), not \"" + value + "\"");
            else
                settings.satip.maxPids = static_cast<unsigned>(count);
        } else if (fw::IniNamesMatch(line.name, "Network")) {
            const std::string v = fw::AsciiLower(value);
            if (v == "default" || v == "default-next" || v == "large" || v == "operator")
                settings.network = v;
            else
                Note(problems, where + "Network is \"default\", \"default-next\", \"large\" or \"operator\", not \"" +
                                   value + "\"; the default network runs instead");
        } else if (fw::IniNamesMatch(line.name, "Folder")) {
            std::filesystem::path folder = value;
            // A relative folder is taken from beside the settings file.
            if (!value.empty() && folder.is_relative()) folder = std::filesystem::path(path).parent_path() / folder;
            settings.folder = folder.string();
        } else if (fw::IniNamesMatch(line.name, "Preset")) {
            settings.preset = value;
        } else if (fw::IniNamesMatch(line.name, "PresetFolder")) {
            std::filesystem::path folder = value;
            if (!value.empty() && folder.is_relative()) folder = std::filesystem::path(path).parent_path() / folder;
            if (!value.empty()) settings.presetFolder = folder.string();
        } else if (fw::IniNamesMatch(line.name, "HomeFrequency")) {
            // The tuner takes Hz in 32 bits.
            unsigned long kHz = 0;
            if (!Number(value, UINT32_MAX / 1000, kHz))
                Note(problems, where + "HomeFrequency is a frequency in kHz, not \"" + value + "\"");
            else
                settings.homeFrequencyKHz = kHz;
        } else if (fw::IniNamesMatch(line.name, "Adapter") || fw::IniNamesMatch(line.name, "Frontend") ||
                   fw::IniNamesMatch(line.name, "Demux")) {
            unsigned long number = 0;
            if (!Number(value, 255, number)) {
                Note(problems, where + line.name + " is a device number (0 to 255), not \"" + value + "\"");
                continue;
            }
            unsigned& field = fw::IniNamesMatch(line.name, "Adapter")    ? settings.dvb.adapter
                              : fw::IniNamesMatch(line.name, "Frontend") ? settings.dvb.frontend
                                                                         : settings.dvb.demux;
            field = static_cast<unsigned>(number);
            if (fw::IniNamesMatch(line.name, "Adapter")) adapterGiven = true;
        } else if (fw::IniNamesMatch(line.name, "SymbolRate")) {
            // ksym/s, as cable operators publish it; several, comma separated,
            // are tried in order.
            std::vector<uint32_t> rates;
            bool valid = true;
            for (size_t from = 0; valid && from <= value.size();) {
                size_t comma = value.find(',', from);
                if (comma == std::string::npos) comma = value.size();
                unsigned long rate = 0;
                valid = Number(fw::TrimBlanks(std::string_view(value).substr(from, comma - from)), 7200, rate) && rate >= 870;
                rates.push_back(static_cast<uint32_t>(rate * 1000));
                from = comma + 1;
            }
            if (!valid)
                Note(problems, where + "SymbolRate is in ksym/s (870 to 7200, several comma separated), not \"" +
                                   value + "\"");
            else
                settings.dvb.symbolRates = rates;
        } else if (fw::IniNamesMatch(line.name, "Modulation")) {
            const std::string v = fw::AsciiLower(value);
            unsigned long order = 0;
            if (v == "auto")
                settings.dvb.modulation = 0;
            else if (Number(v, 256, order) && (order == 64 || order == 128 || order == 256))
                settings.dvb.modulation = static_cast<unsigned>(order);
            else
                Note(problems, where + "Modulation is \"auto\", 64, 128 or 256, not \"" + value + "\"");
        } else {
            Note(problems, where + "unknown key \"" + line.name + "\"");
        }
    }
    if (settings.source == CardSettings::Source::Files && settings.folder.empty()) {
        Note(problems, path + ": Backend=files needs a Folder; the simulated network runs instead");
        settings.source = CardSettings::Source::Simulated;
    }
    // A Server that cannot be read is not left to discovery, which may find another.
    if (settings.source == CardSettings::Source::SatIp && badServer) {
        Note(problems, path + ": Backend=satip without a readable Server; the simulated network runs instead");
        settings.source = CardSettings::Source::Simulated;
    }
    if (settings.source == CardSettings::Source::SatIp && settings.homeFrequencyKHz == 0)
        Note(problems, path + ": Backend=satip needs a HomeFrequency (kHz), where the network's table is sent");
    settings.satip.homeFrequencyKHz = settings.homeFrequencyKHz;
    // The tuning where the NIT has not said yet.
    if (!settings.dvb.symbolRates.empty()) settings.satip.symbolRate = settings.dvb.symbolRates.front();
    settings.satip.symbolRates = settings.dvb.symbolRates;
    settings.satip.modulation = settings.dvb.modulation;
    settings.dvb.homeFrequencyKHz = settings.homeFrequencyKHz;
    settings.dvb.findAdapter = !adapterGiven;
    return settings;
}

std::string KeepHomeFrequency(const std::string& path, unsigned long kHz) {
    std::vector<std::string> lines;
    {
        std::ifstream in(path, std::ios::binary);
        for (std::string raw; std::getline(in, raw);) lines.push_back(raw);
    }
    const std::string value = std::to_string(kHz);
    bool inCard = false, written = false;
    size_t header = lines.size();
    for (size_t i = 0; i < lines.size() && !written; ++i) {
        const fw::IniLine line = fw::ParseIniLine(lines[i]);
        if (line.kind == fw::IniLine::Kind::Section) {
            inCard = fw::IniNamesMatch(line.name, "Card");
            if (inCard && header == lines.size()) header = i;
        } else if (inCard && line.kind == fw::IniLine::Kind::Assignment &&
                   fw::IniNamesMatch(line.name, "HomeFrequency")) {
            const bool cr = !lines[i].empty() && lines[i].back() == '\r';
            lines[i] = "HomeFrequency=" + value + (cr ? "\r" : "");
            written = true;
        }
    }
    if (!written && header < lines.size()) {
        const bool cr = !lines[header].empty() && lines[header].back() == '\r';
        lines.insert(lines.begin() + static_cast<long>(header) + 1, "HomeFrequency=" + value + (cr ? "\r" : ""));
    } else if (!written) {
        lines.push_back("[Card]");
        lines.push_back("HomeFrequency=" + value);
    }
    // A new file beside the old one, then one rename: a failed write
    // leaves the old file as it was.
    const std::string temporary = path + ".new";
    std::error_code ec;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        for (const std::string& l : lines) out << l << "\n";
        out.close();
        if (!out) {
            std::filesystem::remove(temporary, ec);
            return "The home frequency " + value + " kHz could not be written to " + path + ": set HomeFrequency=" +
                   value + " there yourself.";
        }
    }
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        return "The home frequency " + value + " kHz could not be written to " + path + ": set HomeFrequency=" +
               value + " there yourself.";
    }
    return "HomeFrequency=" + value + " kept in " + path + " for the next start";
}

std::unique_ptr<Backend> MakeBackend(const CardSettings& settings, std::string* problems,
                                     std::string* deviceProblem) {
    if (settings.source == CardSettings::Source::Dvb) {
        DvbSettings dvb = settings.dvb;
        std::string error;
        if (!settings.preset.empty() && !ReadPreset(settings.presetFolder, settings.preset, dvb.preset, error))
            Note(problems, settings.path + ": " + error + "; the cable raster is searched instead");
        dvb.presetName = settings.preset;
        if (!settings.path.empty()) {
            const std::string path = settings.path;
            dvb.homeFound = [path](unsigned long kHz) { return KeepHomeFrequency(path, kHz); };
        }
        auto backend = std::make_unique<LinuxDvbBackend>(dvb, KernelDvbSystem());
        if (!backend->Problem().empty()) Note(problems, backend->Problem());
        if (deviceProblem && backend->DeviceFault()) *deviceProblem = backend->Problem();
        return backend;
    }
    if (settings.source == CardSettings::Source::SatIp) {
        SatIpSettings satip = settings.satip;
        // Without a Server the first on the local network that has DVB-C tuners.
        if (satip.host.empty()) {
            for (const satip::FoundServer& server : FindSatIpServers()) {
                if (server.dvbcTuners == 0) continue;
                satip.host = server.address;
                satip.found = "SAT>IP server \"" + server.name + "\" found at " + server.address + " (" +
                              std::to_string(server.dvbcTuners) + " DVB-C tuners)";
                break;
            }
        }
        auto backend = std::make_unique<SatIpBackend>(satip, SystemSatIpNet());
        if (satip.host.empty() && deviceProblem)
            *deviceProblem = "No SAT>IP server with DVB-C tuners answered within " +
                             std::to_string(satip::kDiscoveryMs / 1000) +
                             " s. Set Server=HOST (or HOST:PORT) in card.ini.";
        return backend;
    }
    if (settings.source == CardSettings::Source::Files) {
        auto backend = std::make_unique<TsFileBackend>(settings.folder, settings.homeFrequencyKHz);
        // As a missing tuner: said at once, and the scan does not start.
        if (!backend->SourceProblem().empty()) Note(problems, backend->SourceProblem());
        if (deviceProblem) *deviceProblem = backend->SourceProblem();
        return backend;
    }
    if (settings.network == "operator") return std::make_unique<SimBackend>(OperatorNetwork());
    if (settings.network == "default-next") return std::make_unique<SimBackend>(DefaultNetworkNext());
    return std::make_unique<SimBackend>(settings.network == "large" ? LargeNetwork() : DefaultNetwork());
}

std::vector<satip::FoundServer> FindSatIpServers() { return satip::Discover(*SystemSatIpNet()); }

std::string ConfigureFromSettings(Card& card, fw::Host& host, std::string* deviceProblem) {
    std::string problems;
    const CardSettings settings = ReadCardSettings(CardSettingsPath(), &problems);
    card.UseBackend(MakeBackend(settings, &problems, deviceProblem));
    card.Attach(host);
    return problems;
}

}  // namespace cardlib
