// kelvane-cli: the program list from a shell, on the same core as the window:
// list, export and import channel files, and scan.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "app/ProgramListApp.h"
#include "cli/Board.h"
#include "cli/Scan.h"
#include "cli/Table.h"
#include "exchange/Exchange.h"

namespace {

constexpr const char* kUsage =
    "Usage: kelvane-cli COMMAND [OPTIONS]\n"
    "Kelvane's DVB-C program list from the command line.\n"
    "\n"
    "Commands:\n"
    "  list      the program list as a table\n"
    "  export    the program list as a channel file\n"
    "  import    programs from a channel file into the program list\n"
    "  scan      search the cable network, as the window's Search does\n"
    "\n"
    "kelvane-cli COMMAND --help describes each command.\n";

constexpr const char* kDbHelp =
    "  --db PATH      the board database (default: the one the window uses)\n"
    "  --help         this text\n";

const char* CommandHelp(const std::string& command) {
    if (command == "list") return "Usage: kelvane-cli list [--db PATH]\nPrints the program list as a table.\n\n";
    if (command == "export") {
        return "Usage: kelvane-cli export --format dvbv5|vdr|zap|m3u|csv [--db PATH] [-o FILE] [--m3u-url PATTERN]\n"
               "Writes the program list as a channel file, to standard output without -o.\n\n"
               "  --format F     dvbv5 (dvbv5-zap), vdr (VDR 2.x channels.conf), zap (czap),\n"
               "                 m3u (playlist), csv (the list's 25 columns)\n"
               "  -o FILE        the file to write\n"
               "  --m3u-url P    m3u: the URL of each entry; placeholders {frequency} (Hz),\n"
               "                 {symbol_rate}, {modulation}, {qam}, {service_id}, {video_pid},\n"
               "                 {audio_pid}, {pmt_pid}, {ts_id}, {nw_id}, {index}\n";
    }
    if (command == "import") {
        return "Usage: kelvane-cli import [--format dvbv5|vdr|zap|csv] [--db PATH] [--replace] FILE\n"
               "Appends the file's programs to the program list, in one write of the board\n"
               "database. A bad line imports nothing and is reported as FILE:LINE.\n\n"
               "  --format F     the file's format (default: from its extension or content)\n"
               "  --replace      the file's programs replace the list\n";
    }
    if (command == "scan") {
        return "Usage: kelvane-cli scan [--db PATH] [--dry-run]\n"
               "Searches the cable network with the card set up in card.ini, as the window's\n"
               "Search does, in real time, with its status lines on standard error; then\n"
               "saves the merged program list.\n\n"
               "  --dry-run      print the merged list instead of saving it\n";
    }
    return nullptr;
}

struct Failure {
    int status;
    std::string message;
};

struct Options {
    std::string command;
    std::string db;
    std::optional<exchange::Format> format;
    std::string output;
    std::string m3uUrl;
    std::vector<std::string> files;
    bool replace = false;
    bool dryRun = false;
    bool help = false;
};

// The options each command takes; anything else is a usage error.
std::optional<Failure> Parse(int argc, char** argv, Options& o) {
    o.command = argv[1];
    const std::string allowed = o.command == "list"     ? "--db"
                                : o.command == "export" ? "--db --format -o --m3u-url"
                                : o.command == "import" ? "--db --format --replace"
                                                        : "--db --dry-run";
    const auto takes = [&](const std::string& option) {
        return (" " + allowed + " ").find(" " + option + " ") != std::string::npos;
    };
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        std::optional<std::string> value;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            value = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
        }
        const auto next = [&]() -> std::optional<std::string> {
            if (value) return value;
            if (i + 1 < argc) return std::string(argv[++i]);
            return std::nullopt;
        };
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg.size() > 1 && arg[0] == '-' && !takes(arg)) {
            return Failure{2, "unknown option \"" + arg + "\" for " + o.command + " (see kelvane-cli " + o.command +
                                  " --help)"};
        } else if (arg == "--replace" || arg == "--dry-run") {
            (arg == "--replace" ? o.replace : o.dryRun) = true;
        } else if (arg[0] == '-' && arg.size() > 1) {
            const std::optional<std::string> v = next();
            if (!v) return Failure{2, arg + " needs a value"};
            if (arg == "--db") o.db = *v;
            else if (arg == "-o") o.output = *v;
            else if (arg == "--m3u-url") o.m3uUrl = *v;
            else if (!(o.format = exchange::FormatFromName(*v))) {
                return Failure{2, "unknown format \"" + *v + "\" (dvbv5, vdr, zap, m3u or csv)"};
            }
        } else {
            o.files.push_back(arg);
        }
    }
    if (o.help) return std::nullopt;
    if (o.command == "import" ? o.files.size() != 1 : !o.files.empty()) {
        return Failure{2, o.command == "import" ? "import takes one FILE" : o.command + " takes no file"};
    }
    if (o.command == "export" && !o.format) return Failure{2, "export needs --format"};
    return std::nullopt;
}

std::optional<Failure> ReadFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Failure{1, "cannot read " + path};
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return Failure{1, "cannot read " + path};
    return std::nullopt;
}

std::optional<Failure> List(const Options& o) {
    cli::Board board(o.db);
    std::vector<TunProgDataTag> programs;
    std::string error;
    if (!board.Load(programs, error)) return Failure{1, board.Path() + ": " + error};
    std::cout << cli::ProgramTable(programs);
    return std::nullopt;
}

std::optional<Failure> Export(const Options& o) {
    cli::Board board(o.db);
    std::vector<TunProgDataTag> programs;
    std::string error;
    if (!board.Load(programs, error)) return Failure{1, board.Path() + ": " + error};
    exchange::ExportOptions options;
    options.m3uUrlPattern = o.m3uUrl;
    const std::string text = exchange::Export(*o.format, programs, options);
    if (o.output.empty()) {
        std::cout << text << std::flush;
        return std::cout ? std::nullopt : std::optional<Failure>(Failure{1, "cannot write standard output"});
    }
    std::ofstream out(o.output, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) return Failure{1, "cannot write " + o.output};
    return std::nullopt;
}

std::optional<Failure> Import(const Options& o) {
    const std::string& file = o.files.front();
    std::string text;
    if (auto failure = ReadFile(file, text)) return failure;
    std::optional<exchange::Format> format = o.format;
    if (!format) format = exchange::FormatFromFileName(file);
    if (!format) format = exchange::FormatFromText(text);
    if (!format) return Failure{2, file + ": the format is not clear from the file; give --format"};
    const exchange::ImportResult result = exchange::Import(*format, text, file);
    if (!result.ok) return Failure{1, result.error};

    cli::Board board(o.db);
    std::vector<TunProgDataTag> programs;
    std::string error;
    if (!o.replace && !board.Load(programs, error)) return Failure{1, board.Path() + ": " + error};
    programs.insert(programs.end(), result.programs.begin(), result.programs.end());
    if (!board.Save(programs, error)) return Failure{1, board.Path() + ": " + error};
    std::cerr << result.programs.size() << " programs imported from " << file << ", " << programs.size()
              << " in the list" << std::endl;
    return std::nullopt;
}

// The window's settings file: that of the kelvane executable beside this one.
std::string GuiSettingsPath() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ProgramListApp::SettingsPathFor(ec ? std::string() : (self.parent_path() / "kelvane").string());
}

std::optional<Failure> Scan(const Options& o) {
    cli::Board board(o.db);
    std::string error;
    if (!cli::RunScan(board, GuiSettingsPath(), o.dryRun, std::cout, std::cerr, error)) {
        return Failure{1, board.Path() + ": " + error};
    }
    if (!o.dryRun) std::cerr << "Program list saved to " << board.Path() << std::endl;
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "kelvane-cli: no command (see kelvane-cli --help)" << std::endl;
        return 2;
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    if (!CommandHelp(command)) {
        std::cerr << "kelvane-cli: unknown command \"" << command << "\" (see kelvane-cli --help)" << std::endl;
        return 2;
    }
    Options options;
    std::optional<Failure> failure = Parse(argc, argv, options);
    if (!failure && options.help) {
        std::cout << CommandHelp(command) << kDbHelp;
        return 0;
    }
    if (!failure) {
        if (command == "list") failure = List(options);
        else if (command == "export") failure = Export(options);
        else if (command == "import") failure = Import(options);
        else failure = Scan(options);
    }
    if (!failure) return 0;
    std::cerr << "kelvane-cli: " << failure->message << std::endl;
    return failure->status;
}
