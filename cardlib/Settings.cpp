#include "cardlib/Settings.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cardlib/Card.h"
#include "cardlib/SimBackend.h"
#include "cardlib/SimNetwork.h"
#include "cardlib/TsFile.h"
#include "framework/AsciiCase.h"
#include "framework/Ini.h"
#include "framework/XdgDirs.h"

namespace cardlib {

namespace {

void Note(std::string* problems, const std::string& line) {
    if (problems) *problems += line + "\n";
}

}  // namespace

std::string CardSettingsPath() { return fw::XdgConfigHome() + "/kelvane/card.ini"; }

CardSettings ReadCardSettings(const std::string& path, std::string* problems) {
    CardSettings settings;
    if (path.empty()) return settings;
    std::ifstream in(path);
    if (!in) return settings;
    std::string raw;
    bool inCard = false;
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
            else
                Note(problems, where + "Backend is \"simulated\" or \"files\", not \"" + value + "\"");
        } else if (fw::IniNamesMatch(line.name, "Network")) {
            const std::string v = fw::AsciiLower(value);
            if (v == "default" || v == "large")
                settings.network = v;
            else
                Note(problems, where + "Network is \"default\" or \"large\", not \"" + value + "\"");
        } else if (fw::IniNamesMatch(line.name, "Folder")) {
            std::filesystem::path folder = value;
            // A relative folder is taken from beside the settings file.
            if (!value.empty() && folder.is_relative()) folder = std::filesystem::path(path).parent_path() / folder;
            settings.folder = folder.string();
        } else if (fw::IniNamesMatch(line.name, "HomeFrequency")) {
            char* end = nullptr;
            const unsigned long kHz = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || value[0] == '-')
                Note(problems, where + "HomeFrequency is a frequency in kHz, not \"" + value + "\"");
            else
                settings.homeFrequencyKHz = kHz;
        } else {
            Note(problems, where + "unknown key \"" + line.name + "\"");
        }
    }
    if (settings.source == CardSettings::Source::Files && settings.folder.empty()) {
        Note(problems, path + ": Backend=files needs a Folder; the simulated network runs instead");
        settings.source = CardSettings::Source::Simulated;
    }
    return settings;
}

std::unique_ptr<Backend> MakeBackend(const CardSettings& settings) {
    if (settings.source == CardSettings::Source::Files)
        return std::make_unique<TsFileBackend>(settings.folder, settings.homeFrequencyKHz);
    return std::make_unique<SimBackend>(settings.network == "large" ? LargeNetwork() : DefaultNetwork());
}

std::string ConfigureFromSettings(Card& card, fw::Host& host) {
    std::string problems;
    const CardSettings settings = ReadCardSettings(CardSettingsPath(), &problems);
    card.UseBackend(MakeBackend(settings));
    card.Attach(host);
    return problems;
}

}  // namespace cardlib
