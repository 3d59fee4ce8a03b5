#include "cli/Options.h"

#include <algorithm>
#include <cstdlib>

#include "cardlib/CablePresets.h"
#include "exchange/Exchange.h"
#include "programs/ProgramKinds.h"

namespace cli {

namespace {

const OptionSpec kHelp{"--help", "", "this text"};

bool LooksLikeOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

const OptionSpec* Find(const CommandSpec& command, const std::string& name) {
    if (name == "--help" || name == "-h") return &kHelp;
    for (const OptionSpec& option : command.options) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

// Words of `text` after `indent` columns, in lines of at most 79 characters.
std::string Wrap(const std::string& text, size_t indent) {
    std::string out;
    size_t column = indent;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = std::min(text.find(' ', pos), text.size());
        const std::string word = text.substr(pos, end - pos);
        pos = end + 1;
        if (word.empty()) continue;
        if (column > indent && column + 1 + word.size() > 79) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
        } else if (column > indent) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
    }
    return out;
}

std::string Synopsis(const OptionSpec& option) {
    if (option.value.empty()) return option.name;
    return option.name + " " + (option.choices.empty() ? option.value : option.choices);
}

std::string Left(const OptionSpec& option) {
    return "  " + option.name + (option.value.empty() ? "" : " " + option.value);
}

std::string FormatNames(bool importable, const char* separator, const char* last) {
    std::vector<std::string> names;
    for (const exchange::FormatInfo& info : exchange::Formats()) {
        if (!importable || info.read) names.emplace_back(info.name);
    }
    std::string out;
    for (size_t i = 0; i < names.size(); ++i) out += (i == 0 ? "" : i + 1 == names.size() ? last : separator) + names[i];
    return out;
}

std::optional<std::string> CheckFormat(const std::string& value) {
    if (exchange::FormatFromName(value)) return std::nullopt;
    return "unknown format \"" + value + "\" (" + FormatNames(false, ", ", " or ") + ")";
}

std::string FormatSummaries(bool importable) {
    std::string out;
    for (const exchange::FormatInfo& info : exchange::Formats()) {
        if (importable && !info.read) continue;
        out += std::string(out.empty() ? "" : ", ") + info.name + " (" + info.summary + ")";
    }
    return out;
}

std::string PlaceholderNames() {
    std::string out;
    for (const exchange::M3uPlaceholder& placeholder : exchange::M3uPlaceholders()) {
        out += std::string(out.empty() ? "" : ", ") + "{" + placeholder.name + "}";
        if (*placeholder.unit) out += std::string(" (") + placeholder.unit + ")";
    }
    return out;
}

OptionSpec FileOption(const char* name, const char* value, const char* help) {
    OptionSpec option{name, value, help};
    option.kind = ValueKind::File;
    return option;
}

OptionSpec DbOption() { return FileOption("--db", "PATH", "the board database (default: the one the window uses)"); }

OptionSpec FormatOption(bool importing) {
    OptionSpec option{"--format", "FORMAT",
                           importing ? "the file's format (default: from its extension or content): " +
                                           FormatSummaries(true)
                                     : FormatSummaries(false)};
    option.required = !importing;
    option.choices = FormatNames(importing, "|", "|");
    option.check = CheckFormat;
    return option;
}

// A whole number from `min` to `max`.
OptionSpec NumberOption(const char* name, const char* value, const char* help, long min, long max) {
    OptionSpec option{name, value, help};
    option.check = [name, min, max](const std::string& text) -> std::optional<std::string> {
        char* end = nullptr;
        const long number = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || number < min || number > max)
            return std::string(name) + " is a whole number from " + std::to_string(min) + " to " +
                   std::to_string(max) + ", not \"" + text + "\"";
        return std::nullopt;
    };
    return option;
}

// The kinds kelvane-cli remove takes, "radio|data|encrypted|unnamed".
std::string StoredKinds() {
    std::string out;
    for (const programs::ProgramKind& kind : programs::ProgramKinds())
        if (kind.stored) out += (out.empty() ? "" : "|") + std::string(kind.name);
    return out;
}

OptionSpec ModulationOption() {
    OptionSpec option{"--modulation", "QAM", "with --frequency: its modulation (default auto)"};
    option.choices = "64|128|256|auto";
    option.check = [](const std::string& value) -> std::optional<std::string> {
        if (value == "64" || value == "128" || value == "256" || value == "auto") return std::nullopt;
        return "--modulation is 64, 128, 256 or auto, not \"" + value + "\"";
    };
    return option;
}

}  // namespace

const std::vector<CommandSpec>& Commands() {
    static const std::vector<CommandSpec> commands = {
        {"list", "the program list as a table", "Prints the program list as a table.", {DbOption()}, ""},
        {"export",
         "the program list as a channel file",
         "Writes the program list as a channel file, to standard output without -o.",
         {FormatOption(false),
          DbOption(),
          FileOption("-o", "FILE", "the file to write"),
          {"--m3u-url", "PATTERN", "m3u: the URL of each entry; placeholders " + PlaceholderNames()},
          {"--unique-names", "", "append the service id to each name that several programs have"},
          {"--satip", "HOST[:PORT]", "m3u: each entry the RTSP URL of its program on this SAT>IP server"}},
         ""},
        {"import",
         "programs from a channel file into the program list",
         "Appends the file's programs to the program list, in one write of the board database. A bad line "
         "imports nothing and is reported as FILE:LINE.",
         {FormatOption(true), DbOption(), {"--replace", "", "the file's programs replace the list"},
          {"--update", "",
           "a program the list has already (same NW-ID and Prog-ID) is updated in place, as a scan does (its name "
           "only where the window's \"Update Program Names\" is checked), instead of appended"}},
         "FILE"},
        {"remove",
         "remove the programs of some kinds from the program list",
         "Removes every program of each KIND from the program list, in one write of the board database: " +
             programs::StoredKindNames() +
             " (radio: sound but no picture; data: neither; unnamed: no name). The programs a scan no longer "
             "finds go with scan --remove-missing.",
         {DbOption()},
         "KIND",
         false,
         ValueKind::Text,
         true,
         StoredKinds()},
        {"scan",
         "search the cable network, as the window's Search does",
         "Searches the cable network with the card set up in card.ini, as the window's Search does, in real "
         "time, with its progress on standard error; then saves the merged program list. Ctrl+C stops it and saves "
         "nothing (status 130).",
         {DbOption(),
          {"--dry-run", "", "print the merged list instead of saving it"},
          {"--remove-missing", "", "remove the programs the scan marks missing before saving"},
          {"--verbose", "", "also the scan's log lines, the card's among them (default: the progress and the summary)"},
          NumberOption("--nit-timeout", "SECONDS",
                        "give up (status 1) when no network has answered within this time (default 60, longer while the "
                        "tuner looks for the network; 0: never)",
                        0, 86400),
          NumberOption("--tick-ms", "MS", "the scan's pace in milliseconds (default 100; the window's is 500)", 20,
                        10000),
          {"--wait-unlocked", "",
           "wait out the time-out of a transport the tuner could not lock on, as the window does by default"},
          NumberOption("--network-id", "N",
                        "take the NIT of network N, actual or other, as the window's \"NetworkId\" setting "
                        "does (0: the NIT actual)",
                        0, 0xFFFF),
          {"--sweep", "",
           "after the NIT's transports, try every frequency of the cable raster the NIT does not list, as the "
           "window's \"Sweep\" setting does"},
          NumberOption("--frequency", "KHZ",
                        "scan only the transport on this frequency: its SDT, PAT and PMTs, no NIT (as the window's "
                        "Scan Transport\u2026)",
                        40000, 1100000),
          NumberOption("--symbol-rate", "KSYM", "with --frequency: its symbol rate (default 6900)", 870, 7200),
          ModulationOption()},
         ""},
        {"networks",
         "the networks whose NIT is on the home transport",
         "Listens to the home transport for the NITs of every network on it, actual and other, and prints each "
         "network's id, name, NIT actual or other and number of transports. Status 1 when no NIT comes.",
         {},
         ""},
        {"presets",
         "the operators' channel lists for Preset= in card.ini",
         "Lists the cable operators' channel lists (Debian's dtv-scan-tables, in " +
             std::string(cardlib::kPresetFolder) +
             " or card.ini's PresetFolder) whose name begins with COUNTRY (de, at, ch, ...), each as card.ini's Preset= takes it. Where "
             "card.ini gives no HomeFrequency, the tuner looks for the network on the preset's frequencies first, "
             "then on the cable raster.",
         {},
         "COUNTRY",
         true,
         ValueKind::Country},
        {"reorder",
         "the program list in the order of another list",
         "Puts the program list in the order of FILE: a channel file, another board database or one of the "
         "backups. A program matches an entry there by its NW-ID, TS-ID and Prog-ID, else by its NW-ID and "
         "Prog-ID, else by its name in any case; each entry matches one program at most. The matched programs "
         "take FILE's order, the others follow in their own.",
         {[] {
              OptionSpec option = FileOption("--like", "FILE", "the list whose order to take");
              option.required = true;
              return option;
          }(),
          DbOption()},
         ""},
        {"backups",
         "the backups of the board database",
         "Lists the backups kept beside the board database, newest first: number, time, programs and the program "
         "whose save replaced the list. Every write of the board database keeps the list it replaces; the "
         "newest 20 stay.",
         {DbOption()},
         ""},
        {"restore",
         "a backup back into the board database",
         "Writes backup N (see backups) back as the program list, whole, channel numbers included; the list it "
         "replaces is kept as a backup first.",
         {DbOption()},
         "N",
         false,
         ValueKind::Text},
        {"satip-servers",
         "the SAT>IP servers on the local network",
         "Lists the SAT>IP servers that answer on the local network within 3 s (SSDP), each with its address, "
         "its name and its DVB-C tuners; Backend=satip without a Server takes the first with DVB-C tuners.",
         {},
         ""},
    };
    return commands;
}

std::optional<std::string> ParseCommand(const CommandSpec& command, const std::vector<std::string>& args,
                                        ParsedCommand& parsed) {
    const std::string seeHelp = " (see kelvane-cli " + command.name + " --help)";
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!LooksLikeOption(arg)) {
            parsed.files.push_back(arg);
            continue;
        }
        std::string name = arg;
        std::optional<std::string> value;
        const size_t equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        }
        const OptionSpec* option = Find(command, name);
        if (!option) return "unknown option \"" + name + "\" for " + command.name + seeHelp;
        if (option == &kHelp) {
            if (value) return name + " takes no value";
            parsed.help = true;
            continue;
        }
        if (parsed.Has(option->name)) return option->name + " is given twice";
        if (option->value.empty()) {
            if (value) return option->name + " takes no value";
            parsed.values[option->name] = "";
            continue;
        }
        if (!value) {
            if (i + 1 == args.size()) return option->name + " needs a value";
            // "--db --help" names no file "--help"; "--db=--help" would.
            if (LooksLikeOption(args[i + 1])) {
                return option->name + " needs a value, not the option \"" + args[i + 1] + "\"";
            }
            value = args[++i];
        }
        if (option->check) {
            if (std::optional<std::string> wrong = option->check(*value)) return wrong;
        }
        parsed.values[option->name] = *value;
    }
    if (parsed.help) return std::nullopt;
    for (const OptionSpec& option : command.options) {
        if (option.required && !parsed.Has(option.name)) return command.name + " needs " + option.name;
    }
    if (command.file.empty() && !parsed.files.empty()) return command.name + " takes no file";
    if (!command.file.empty() && parsed.files.size() > 1 && !command.fileRepeats)
        return command.name + " takes one " + command.file;
    if (!command.file.empty() && parsed.files.empty() && !command.fileOptional)
        return command.name + " takes one " + command.file + (command.fileRepeats ? " or more" : "");
    return std::nullopt;
}

std::string CommandHelp(const CommandSpec& command) {
    std::string usage = "Usage: kelvane-cli " + command.name;
    for (const OptionSpec& option : command.options) {
        usage += option.required ? " " + Synopsis(option) : " [" + Synopsis(option) + "]";
    }
    const std::string file = command.file + (command.fileRepeats ? "..." : "");
    if (!command.file.empty()) usage += command.fileOptional ? " [" + file + "]" : " " + file;
    std::vector<const OptionSpec*> options;
    for (const OptionSpec& option : command.options) options.push_back(&option);
    options.push_back(&kHelp);
    size_t indent = 17;
    for (const OptionSpec* option : options) indent = std::max(indent, Left(*option).size() + 2);
    std::string out = usage + "\n" + Wrap(command.description, 0) + "\n\n";
    for (const OptionSpec* option : options) {
        const std::string left = Left(*option);
        out += left + std::string(indent - left.size(), ' ') + Wrap(option->help, indent) + "\n";
    }
    return out;
}

std::string ProgramHelp(const std::vector<CommandSpec>& commands) {
    std::string out =
        "Usage: kelvane-cli COMMAND [OPTIONS]\n"
        "Kelvane's DVB-C program list from the command line.\n"
        "\n"
        "Commands:\n";
    for (const CommandSpec& command : commands) {
        const std::string left = "  " + command.name;
        out += left + std::string(left.size() < 12 ? 12 - left.size() : 1, ' ') + command.summary + "\n";
    }
    return out + "\nkelvane-cli COMMAND --help describes each command.\n"
                 "kelvane-cli --version prints the version.\n";
}

Completion Complete(const std::vector<CommandSpec>& commands, const std::vector<std::string>& words, size_t current,
                    const std::function<std::vector<std::string>()>& countries) {
    Completion out;
    if (current == 0 || current > words.size()) return out;
    std::vector<std::string> before(words.begin() + 1, words.begin() + static_cast<std::ptrdiff_t>(current));
    std::string prefix = current < words.size() ? words[current] : std::string();
    // bash splits at "=": "--db=" ends in the word "=", "--db=x" in "=" and "x".
    if (prefix == "=" && !before.empty()) {
        prefix.clear();
        before.push_back("=");
    }
    const bool afterEquals = before.size() >= 2 && before.back() == "=";
    if (afterEquals) before.pop_back();

    auto offer = [&](const std::string& word) {
        if (word.rfind(prefix, 0) == 0) out.words.push_back(word);
    };
    auto offerValue = [&](ValueKind kind, const std::string& choices) {
        if (kind == ValueKind::File) out.files = true;
        if (kind == ValueKind::Country && countries) {
            for (const std::string& country : countries()) offer(country);
        }
        for (size_t pos = 0; !choices.empty() && pos <= choices.size();) {
            const size_t bar = std::min(choices.find('|', pos), choices.size());
            offer(choices.substr(pos, bar - pos));
            pos = bar + 1;
        }
    };

    const bool optionPrefix = !prefix.empty() && prefix[0] == '-';
    if (before.empty()) {
        if (optionPrefix) {
            for (const char* option : {"--help", kVersionOption}) offer(option);
        } else {
            for (const CommandSpec& command : commands) offer(command.name);
        }
        return out;
    }
    const auto command = std::find_if(commands.begin(), commands.end(),
                                      [&](const CommandSpec& c) { return c.name == before.front(); });
    if (command == commands.end()) return out;
    if (before.size() > 1) {
        // Values never look like options, so an option last is one whose value is due.
        const OptionSpec* option = Find(*command, before.back());
        if (option && !option->value.empty()) {
            offerValue(option->kind, option->choices);
            return out;
        }
        if (afterEquals) return out;
    }
    if (optionPrefix || command->file.empty()) {
        // Each option once: a repeated one is refused.
        std::vector<const OptionSpec*> options;
        for (const OptionSpec& option : command->options) options.push_back(&option);
        options.push_back(&kHelp);
        for (const OptionSpec* option : options) {
            const bool given = std::any_of(before.begin() + 1, before.end(), [&](const std::string& word) {
                return word == option->name || word.rfind(option->name + "=", 0) == 0;
            });
            if (!given) offer(option->name);
        }
    } else if (!command->file.empty()) {
        offerValue(command->fileKind, command->fileChoices);
    }
    return out;
}

}  // namespace cli
