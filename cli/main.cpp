// kelvane-cli: the program list from a shell, on the same core as the window:
// list, export and import channel files, remove kinds of programs, and scan.
#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/ProgramListApp.h"
#include "app/Version.h"
#include "cardlib/CablePresets.h"
#include "cardsetup/CardSettings.h"
#include "cli/Board.h"
#include "cli/Console.h"
#include "cli/Networks.h"
#include "cli/Options.h"
#include "cli/Scan.h"
#include "cli/Table.h"
#include "exchange/Exchange.h"
#include "framework/Files.h"
#include "programs/ProgramKinds.h"
#include "framework/Profile.h"
#include "programs/ListReshuffle.h"
#include "scan/ScanChannelsDialog.h"

namespace {

// As a shell reports a process that SIGINT ended: 128 + 2.
constexpr int kInterruptedStatus = 130;

struct Failure {
    int status;
    std::string message;
};

// One line for whatever keeps the file from being read: missing, a folder,
// no permission.
std::optional<Failure> ReadFile(const std::string& path, std::string& text) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return Failure{1, "cannot read " + path + ": this is a folder, not a channel file"};
    fw::Files& files = fw::Files::System();
    switch (files.ReadAll(path, &text)) {
        case fw::Files::ReadResult::Ok: return std::nullopt;
        case fw::Files::ReadResult::Missing: return Failure{1, "cannot read " + path + ": no such file"};
        default: break;
    }
    const std::string reason = files.LastError();
    return Failure{1, "cannot read " + path + (reason.empty() ? std::string() : ": " + reason)};
}

std::optional<Failure> List(const cli::ParsedCommand& o) {
    cli::Board board(o.Value("--db"));
    // As for export: a misspelt --db is not a list without programs.
    if (!board.Exists()) return Failure{1, board.Path() + ": no board database at this path"};
    std::vector<TunProgDataTag> programs;
    std::vector<ProgramBeside> beside;
    std::string error;
    if (!board.Load(programs, error, &beside)) return Failure{1, error};
    std::cout << cli::ProgramTable(programs, beside);
    return std::nullopt;
}

std::optional<Failure> SatIpServers() {
    const std::vector<cardlib::satip::FoundServer> servers = cardlib::FindSatIpServers();
    if (servers.empty())
        return Failure{1, "no SAT>IP server answered within " + std::to_string(cardlib::satip::kDiscoveryMs / 1000) + " s"};
    for (const cardlib::satip::FoundServer& server : servers)
        std::cout << server.address << "  " << server.name << "  " << server.dvbcTuners << " DVB-C tuners\n";
    return std::cout.flush() ? std::nullopt : std::optional<Failure>(Failure{1, "cannot write standard output"});
}

std::optional<Failure> Export(const cli::ParsedCommand& o) {
    const exchange::Format format = *exchange::FormatFromName(o.Value("--format"));
    if (o.Has("--satip") && (format != exchange::Format::M3u || o.Has("--m3u-url") || o.Value("--satip").empty()))
        return Failure{2, "--satip HOST[:PORT] goes with --format m3u and without --m3u-url"};
    cli::Board board(o.Value("--db"));
    // An empty file from a misspelt --db would look like a list without programs.
    if (!board.Exists()) return Failure{1, board.Path() + ": no board database at this path"};
    std::vector<TunProgDataTag> programs;
    std::string error;
    exchange::ExportOptions options;
    if (!board.Load(programs, error, &options.beside)) return Failure{1, error};
    options.m3uUrlPattern = o.Has("--satip") ? exchange::SatIpUrlPattern(o.Value("--satip")) : o.Value("--m3u-url");
    options.uniqueNames = o.Has("--unique-names");
    // Written all the same: the user hears what a player will make of it.
    if (!options.uniqueNames) {
        const std::string repeated = exchange::RepeatedNamesText(format, exchange::RepeatedNames(programs));
        if (!repeated.empty()) std::cerr << "warning: " << repeated << " (--unique-names tells them apart)" << std::endl;
    }
    const std::string text = exchange::Export(format, programs, options);
    const std::string output = o.Value("-o");
    if (!o.Has("-o")) {
        std::cout << text << std::flush;
        return std::cout ? std::nullopt : std::optional<Failure>(Failure{1, "cannot write standard output"});
    }
    fw::Files& files = fw::Files::System();
    if (!fw::WriteWhole(files, output, text)) {
        const std::string reason = files.LastError();
        return Failure{1, "cannot write " + output + (reason.empty() ? std::string() : ": " + reason)};
    }
    return std::nullopt;
}

std::string GuiSettingsPath();

std::optional<Failure> Import(const cli::ParsedCommand& o) {
    const std::string& file = o.files.front();
    std::string text;
    if (auto failure = ReadFile(file, text)) return failure;
    std::optional<exchange::Format> format = exchange::FormatFromName(o.Value("--format"));
    if (!format) format = exchange::FormatFromFileName(file);
    if (!format) format = exchange::FormatFromText(text);
    if (!format) return Failure{2, file + ": the format is not clear from the file; give --format"};
    const exchange::ImportResult result = exchange::Import(*format, text, file);
    if (!result.ok) return Failure{1, result.error};

    cli::Board board(o.Value("--db"));
    std::string error;
    size_t inList = 0, known = 0;
    const bool updating = o.Has("--update");
    // The names as the window's check box says, as its scan takes them.
    const bool updateNames = fw::Profile(GuiSettingsPath()).GetInt("Settings", "UpdateNames", 1) != 0;
    programs::ImportCounts counts;
    const bool saved = board.Update(
        o.Has("--replace"),
        [&](std::vector<TunProgDataTag>& programs, std::vector<ProgramBeside>& beside) {
            if (updating) {
                programs::ImportUpdating(programs, beside, result.programs, result.beside, updateNames, &counts);
                inList = programs.size();
                return;
            }
            known = exchange::CountAlreadyListed(programs, result.programs);
            programs.insert(programs.end(), result.programs.begin(), result.programs.end());
            beside.resize(programs.size() - result.programs.size());
            beside.insert(beside.end(), result.beside.begin(), result.beside.end());
            inList = programs.size();
        },
        error);
    if (!saved) return Failure{1, error};
    std::cerr << result.programs.size() << " programs imported from " << file << ", " << inList << " in the list"
              << (updating ? ": " + programs::CountsText(counts) : std::string())
              << (known == 0 ? "" : "; " + exchange::AlreadyListedText(known))
              << (result.skipped.empty() ? "" : "; " + result.skipped) << std::endl;
    return std::nullopt;
}

std::optional<Failure> Remove(const cli::ParsedCommand& o) {
    std::vector<const programs::ProgramKind*> kinds;
    for (const std::string& name : o.files) {
        const programs::ProgramKind* kind = programs::FindProgramKind(name);
        if (kind && !kind->stored)
            return Failure{2, "\"" + name + "\" is a scan's mark, not stored: use scan --remove-missing"};
        if (!kind) return Failure{2, "unknown kind \"" + name + "\" (" + programs::StoredKindNames() + ")"};
        if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) kinds.push_back(kind);
    }
    cli::Board board(o.Value("--db"));
    if (!board.Exists()) return Failure{1, board.Path() + ": no board database at this path"};
    std::string error;
    std::vector<int> removed(kinds.size(), 0);
    size_t left = 0;
    const bool saved = board.Update(
        false,
        [&](std::vector<TunProgDataTag>& programs, std::vector<ProgramBeside>& beside) {
            beside.resize(programs.size());
            size_t kept = 0;
            for (size_t i = 0; i < programs.size(); ++i) {
                const auto kind = std::find_if(kinds.begin(), kinds.end(), [&](const programs::ProgramKind* k) {
                    return k->is({programs[i], std::string_view(), beside[i].caSystems});
                });
                if (kind != kinds.end()) {
                    ++removed[static_cast<size_t>(kind - kinds.begin())];
                    continue;
                }
                // Not onto itself: a string moved onto itself is left empty.
                if (kept != i) {
                    programs[kept] = std::move(programs[i]);
                    beside[kept] = beside[i];
                }
                ++kept;
            }
            programs.resize(kept);
            beside.resize(kept);
            left = kept;
        },
        error);
    if (!saved) return Failure{1, error};
    std::string line;
    for (size_t i = 0; i < kinds.size(); ++i)
        line += (i == 0 ? "" : ", ") + std::to_string(removed[i]) + " " +
                (removed[i] == 1 ? kinds[i]->singular : kinds[i]->plural);
    std::cerr << "Removed " << line << "; " << left << " in the list" << std::endl;
    return std::nullopt;
}

std::optional<Failure> Presets(const cli::ParsedCommand& o) {
    const std::string country = o.files.empty() ? std::string() : o.files.front();
    // Where card.ini's Preset= is looked up.
    const std::string folder = cardlib::ReadCardSettings(cardlib::CardSettingsPath()).presetFolder;
    const std::vector<std::string> names = cardlib::ListPresets(folder, country);
    if (names.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(folder, ec))
            return Failure{1, "no presets: " + folder + " is missing (sudo apt-get install dtv-scan-tables)"};
        return Failure{1, "no preset begins with \"" + country + "-\" in " + folder};
    }
    for (const std::string& name : names) std::cout << name << "\n";
    return std::cout.flush() ? std::nullopt : std::optional<Failure>(Failure{1, "cannot write standard output"});
}

// The countries `presets` takes: the prefixes of the preset names.
std::vector<std::string> PresetCountries() {
    const std::string folder = cardlib::ReadCardSettings(cardlib::CardSettingsPath()).presetFolder;
    std::vector<std::string> countries;
    for (const std::string& name : cardlib::ListPresets(folder)) {
        const std::string country = name.substr(0, name.find('-'));
        if (countries.empty() || countries.back() != country) countries.push_back(country);
    }
    return countries;
}

// Answers the completion script: one word a line, ":files" where file names
// may stand too.
int CompleteWords(int argc, char** argv) {
    char* end = nullptr;
    const long current = argc > 2 ? std::strtol(argv[2], &end, 10) : -1;
    if (current < 0 || *end != '\0') {
        std::cerr << "kelvane-cli: " << cli::kCompleteOption << " takes the number of the word to complete, then the words"
                  << std::endl;
        return 2;
    }
    const cli::Completion completion =
        cli::Complete(cli::Commands(), {argv + 3, argv + argc}, static_cast<size_t>(current), PresetCountries);
    for (const std::string& word : completion.words) std::cout << word << "\n";
    if (completion.files) std::cout << ":files\n";
    return std::cout.flush() ? 0 : 1;
}

// The window's settings file: that of the kelvane executable beside this one.
std::string GuiSettingsPath() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ProgramListApp::SettingsPathFor(ec ? std::string() : (self.parent_path() / "kelvane").string());
}

std::optional<Failure> Scan(const cli::ParsedCommand& o) {
    cli::Board board(o.Value("--db"));
    std::string error;
    const bool dryRun = o.Has("--dry-run");
    cli::ScanLimits limits;
    if (o.Has("--nit-timeout")) {
        limits.nitTimeoutMs = std::strtol(o.Value("--nit-timeout").c_str(), nullptr, 10) * 1000;
        limits.waitForSearch = false;
    }
    if (o.Has("--tick-ms")) limits.tickMs = static_cast<int>(std::strtol(o.Value("--tick-ms").c_str(), nullptr, 10));
    limits.skipUnlocked = !o.Has("--wait-unlocked");
    limits.removeMissing = o.Has("--remove-missing");
    limits.sweep = o.Has("--sweep");
    if (o.Has("--network-id")) limits.networkId = static_cast<int>(std::strtol(o.Value("--network-id").c_str(), nullptr, 10));
    if (o.Has("--frequency")) {
        limits.oneTransport = ScanChannelsDialog::ReadOneTransport(
            o.Value("--frequency") + " " + (o.Has("--symbol-rate") ? o.Value("--symbol-rate") : "6900") + " " +
            (o.Has("--modulation") ? o.Value("--modulation") : "auto"));
    } else if (o.Has("--symbol-rate") || o.Has("--modulation")) {
        return Failure{2, std::string(o.Has("--symbol-rate") ? "--symbol-rate" : "--modulation") +
                              " goes with --frequency"};
    }
    cli::Console& console = cli::SystemConsole();
    limits.progressOnOneLine = console.ErrorIsTerminal();
    limits.verbose = o.Has("--verbose");
    limits.console = &console;
    // Until the last line is out: a Ctrl+C after the save must not cut it off.
    cli::InterruptCatch catchInterrupt(&console);
    cli::ScanFailure failure = cli::ScanFailure::None;
    if (!cli::RunScan(board, GuiSettingsPath(), dryRun, limits, std::cout, std::cerr, error, failure)) {
        if (failure == cli::ScanFailure::Interrupted) return Failure{kInterruptedStatus, error};
        return Failure{1, failure == cli::ScanFailure::Card ? error : board.OneLine(error)};
    }
    if (!dryRun) std::cerr << "Program list saved to " << board.Path() << std::endl;
    if (console.Interrupted())
        return Failure{kInterruptedStatus, dryRun ? "interrupted; nothing was saved"
                                                  : "interrupted after the program list was saved"};
    return std::nullopt;
}

// The programs of FILE: another board database (a backup among them), or a
// channel file of any format that is read.
std::optional<Failure> ReadReference(cli::Board& board, const std::string& file, std::vector<TunProgDataTag>& programs) {
    std::string text;
    if (auto failure = ReadFile(file, text)) return failure;
    if (text.rfind(std::string_view("SQLite format 3\0", 16), 0) == 0) {
        std::string error;
        if (!board.LoadFrom(file, programs, error)) return Failure{1, error};
        return std::nullopt;
    }
    std::optional<exchange::Format> format = exchange::FormatFromFileName(file);
    if (!format) format = exchange::FormatFromText(text);
    if (!format) return Failure{1, file + ": neither a channel file of a format Kelvane reads nor a board database"};
    exchange::ImportResult result = exchange::Import(*format, text, file);
    if (!result.ok) return Failure{1, result.error};
    programs = std::move(result.programs);
    return std::nullopt;
}

std::optional<Failure> Reorder(const cli::ParsedCommand& o) {
    const std::string file = o.Value("--like");
    cli::Board board(o.Value("--db"));
    if (!board.Exists()) return Failure{1, board.Path() + ": no board database at this path"};
    std::vector<TunProgDataTag> reference;
    if (auto failure = ReadReference(board, file, reference)) return failure;
    std::string error;
    programs::ReferenceOrder ordered;
    const bool saved = board.Update(
        false,
        [&](std::vector<TunProgDataTag>& programs, std::vector<ProgramBeside>& beside) {
            ordered = programs::OrderLike(programs, reference);
            std::vector<TunProgDataTag> records;
            std::vector<ProgramBeside> besides;
            for (const size_t i : ordered.order) {
                records.push_back(std::move(programs[i]));
                besides.push_back(i < beside.size() ? beside[i] : ProgramBeside{});
            }
            programs = std::move(records);
            beside = std::move(besides);
        },
        error);
    if (!saved) return Failure{1, error};
    std::cerr << ordered.matched << " of " << ordered.order.size() << " programs matched " << file
              << "; the others follow in their order" << std::endl;
    return std::nullopt;
}

std::optional<Failure> Backups(const cli::ParsedCommand& o) {
    cli::Board board(o.Value("--db"));
    std::vector<std::vector<std::string>> rows;
    for (const DVBBackupInfo& backup : board.Backups()) {
        if (!backup.damaged.empty()) {
            rows.push_back({std::to_string(backup.number), "damaged: " + backup.damaged + " (" + backup.path + ")"});
            continue;
        }
        rows.push_back({std::to_string(backup.number), BoardGateway::BackupTime(backup.time),
                        std::to_string(backup.programs), backup.writer});
    }
    if (rows.empty()) {
        std::cerr << board.Path() << ": no backups yet" << std::endl;
        return std::nullopt;
    }
    rows.insert(rows.begin(), std::vector<std::string>{"Nr", "Time", "Programs", "Writer"});
    std::vector<size_t> widths;
    for (const std::vector<std::string>& row : rows) {
        // A damaged one's reason runs on to the end of its line.
        if (row.size() < 4) continue;
        widths.resize(row.size(), 0);
        for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    }
    for (const std::vector<std::string>& row : rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            line += c + 1 < row.size() && c < widths.size() ? row[c] + std::string(std::max(widths[c], row[c].size()) - row[c].size() + 2, ' ')
                                                            : row[c];
        }
        std::cout << line << "\n";
    }
    return std::cout.flush() ? std::nullopt : std::optional<Failure>(Failure{1, "cannot write standard output"});
}

std::optional<Failure> Restore(const cli::ParsedCommand& o) {
    const std::string& text = o.files.front();
    char* end = nullptr;
    const unsigned long number = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || number == 0 || number > UINT32_MAX)
        return Failure{2, "restore takes the number of a backup (see kelvane-cli backups), not \"" + text + "\""};
    cli::Board board(o.Value("--db"));
    std::string error;
    if (!board.Restore(static_cast<uint32_t>(number), error)) return Failure{1, error};
    std::cerr << "Backup " << number << " restored to " << board.Path() << std::endl;
    return std::nullopt;
}

std::optional<Failure> Networks(const cli::ParsedCommand&) {
    std::vector<NetworkOnAir> networks;
    std::string error;
    if (!cli::RunNetworks(networks, error)) return Failure{1, error};
    std::cout << cli::NetworksTable(networks);
    return std::cout.flush() ? std::nullopt : std::optional<Failure>(Failure{1, "cannot write standard output"});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "kelvane-cli: no command (see kelvane-cli --help)" << std::endl;
        return 2;
    }
    const std::string name = argv[1];
    const std::vector<cli::CommandSpec>& commands = cli::Commands();
    if (name == "--help" || name == "-h" || name == "help") {
        std::cout << cli::ProgramHelp(commands);
        return 0;
    }
    if (name == cli::kVersionOption) {
        if (argc > 2) {
            std::cerr << "kelvane-cli: " << name << " takes nothing after it" << std::endl;
            return 2;
        }
        std::cout << VersionLine("kelvane-cli") << std::endl;
        return 0;
    }
    if (name == cli::kCompleteOption) return CompleteWords(argc, argv);
    const auto command =
        std::find_if(commands.begin(), commands.end(), [&](const cli::CommandSpec& c) { return c.name == name; });
    if (command == commands.end()) {
        std::cerr << "kelvane-cli: unknown command \"" << name << "\" (see kelvane-cli --help)" << std::endl;
        return 2;
    }
    cli::ParsedCommand parsed;
    if (std::optional<std::string> usage = cli::ParseCommand(*command, {argv + 2, argv + argc}, parsed)) {
        std::cerr << "kelvane-cli: " << *usage << std::endl;
        return 2;
    }
    if (parsed.help) {
        std::cout << cli::CommandHelp(*command);
        return 0;
    }
    std::optional<Failure> failure;
    if (name == "list") failure = List(parsed);
    else if (name == "export") failure = Export(parsed);
    else if (name == "import") failure = Import(parsed);
    else if (name == "remove") failure = Remove(parsed);
    else if (name == "presets") failure = Presets(parsed);
    else if (name == "reorder") failure = Reorder(parsed);
    else if (name == "backups") failure = Backups(parsed);
    else if (name == "restore") failure = Restore(parsed);
    else if (name == "networks") failure = Networks(parsed);
    else if (name == "satip-servers") failure = SatIpServers();
    else failure = Scan(parsed);
    if (!failure) return 0;
    std::cerr << "kelvane-cli: " << failure->message << std::endl;
    return failure->status;
}
