#include "cardlib/Settings.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cardlib/Card.h"
#include "cardlib/SimBackend.h"
#include "cardlib/SimNetwork.h"
#include "cardlib/TsFile.h"

namespace cardlib {

namespace {

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

void Note(std::string* problems, const std::string& line) {
    if (problems) *problems += line + "\n";
}

}  // namespace

std::string CardSettingsPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/') return std::string(config) + "/kelvane/card.ini";
    const char* home = std::getenv("HOME");
    if (home && *home) return std::string(home) + "/.config/kelvane/card.ini";
    return {};
}

CardSettings ReadCardSettings(const std::string& path, std::string* problems) {
    CardSettings settings;
    if (path.empty()) return settings;
    std::ifstream in(path);
    if (!in) return settings;
    std::string line, section;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const std::string text = Trim(line);
        if (text.empty() || text[0] == ';' || text[0] == '#') continue;
        if (text.front() == '[') {
            const auto close = text.find(']');
            section = Lower(Trim(text.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
            continue;
        }
        if (section != "card") continue;
        const auto eq = text.find('=');
        const std::string where = path + ":" + std::to_string(number) + ": ";
        if (eq == std::string::npos) {
            Note(problems, where + "not a key=value line");
            continue;
        }
        const std::string key = Lower(Trim(text.substr(0, eq)));
        const std::string value = Trim(text.substr(eq + 1));
        if (key == "backend") {
            const std::string v = Lower(value);
            if (v == "simulated")
                settings.source = CardSettings::Source::Simulated;
            else if (v == "files")
                settings.source = CardSettings::Source::Files;
            else
                Note(problems, where + "Backend is \"simulated\" or \"files\", not \"" + value + "\"");
        } else if (key == "network") {
            const std::string v = Lower(value);
            if (v == "default" || v == "large")
                settings.network = v;
            else
                Note(problems, where + "Network is \"default\" or \"large\", not \"" + value + "\"");
        } else if (key == "folder") {
            std::filesystem::path folder = value;
            // A relative folder is taken from beside the settings file.
            if (!value.empty() && folder.is_relative()) folder = std::filesystem::path(path).parent_path() / folder;
            settings.folder = folder.string();
        } else if (key == "homefrequency") {
            char* end = nullptr;
            const unsigned long kHz = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || value[0] == '-')
                Note(problems, where + "HomeFrequency is a frequency in kHz, not \"" + value + "\"");
            else
                settings.homeFrequencyKHz = kHz;
        } else {
            Note(problems, where + "unknown key \"" + Trim(text.substr(0, eq)) + "\"");
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
