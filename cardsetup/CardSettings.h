// The stand-in card's own settings file: which backend runs, and where the
// transport-stream files are. The program's own settings do not live here.
#pragma once

#include <memory>
#include <string>

#include "cardlib/Backend.h"
#include "linuxdvb/LinuxDvbBackend.h"
#include "satip/SatIpBackend.h"
#include "satip/SatIpDiscovery.h"
#include <vector>
#include "framework/Host.h"

namespace cardlib {

struct CardSettings {
    enum class Source { Simulated, Files, Dvb, SatIp };
    Source source = Source::Simulated;
    std::string network = "default";  // simulated: "default", "default-next", "large" or "operator"
    std::string folder;                // files: the folder of "<kHz>.ts" captures
    unsigned long homeFrequencyKHz = 0;  // files: where the front end starts; 0: the lowest file
                                         // dvb: where the scan starts; 0: where the tuner stands
    DvbSettings dvb;                     // dvb: which devices, and what to tune where the NIT is silent
    std::string preset;                  // dvb: "Preset", a dtv-scan-tables DVB-C file's name
    std::string presetFolder = kPresetFolder;
    SatIpSettings satip;                 // satip: the server (Server=HOST[:PORT]) and its stream
    std::string path;                    // the file read; where a home frequency found is kept
};

// $XDG_CONFIG_HOME/kelvane/card.ini, or ~/.config/kelvane/card.ini.
std::string CardSettingsPath();

// Reads the [Card] section. A missing file gives the defaults (the simulated
// network); a value that makes no sense keeps its default and is described
// in `problems`, one line each.
CardSettings ReadCardSettings(const std::string& path, std::string* problems = nullptr);

// Writes `kHz` as the [Card] section's HomeFrequency into the settings file
// at `path`, every other line as it was (the section and the file are made
// where missing). Returns the line for the log: where it was kept, or why not.
std::string KeepHomeFrequency(const std::string& path, unsigned long kHz);

// A backend that cannot reach its device still works (it receives nothing)
// and says why in `problems`.
// `deviceProblem`: what keeps the backend from its device (no adapter, no
// permission), also among `problems`; empty when nothing does.
std::unique_ptr<Backend> MakeBackend(const CardSettings& settings, std::string* problems = nullptr,
                                     std::string* deviceProblem = nullptr);

class Card;

// What the application's start-up calls: reads the settings file, gives
// `card` the backend it names and attaches the card to `host`. Returns the
// problems found in the file (empty when none), for the caller to show or
// ignore.
// The SAT>IP servers on the local network that answer within 3 s.
std::vector<satip::FoundServer> FindSatIpServers();

std::string ConfigureFromSettings(Card& card, fw::Host& host, std::string* deviceProblem = nullptr);

}  // namespace cardlib
