// kelvane-cli's commands as declarations: each command's options once, from
// which the parsing, its usage errors and the help text all follow.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cli {

// What a value or a command's file names, so that the shell can offer it.
enum class ValueKind { Text, File, Country };

struct OptionSpec {
    OptionSpec(std::string name_, std::string value_, std::string help_)
        : name(std::move(name_)), value(std::move(value_)), help(std::move(help_)) {}

    std::string name;   // "--db", "-o"
    std::string value;  // what its value is called in the help ("PATH"); empty: a flag
    std::string help;   // may run over several lines; wrapped to the terminal's 80 columns
    bool required = false;
    // Shown in the usage line instead of `value` ("dvbv5|vdr|zap|m3u|csv").
    std::string choices;
    // What is wrong with a value, for the usage error; unset: any value goes.
    std::function<std::optional<std::string>(const std::string& value)> check;
    ValueKind kind = ValueKind::Text;
};

struct CommandSpec {
    std::string name;
    std::string summary;      // one line for the command list
    std::string description;  // the help's paragraph
    std::vector<OptionSpec> options;
    // What the files on the command line are called ("FILE"); empty: none taken.
    std::string file;
    bool fileOptional = false;  // the file may be left out ("[COUNTRY]")
    ValueKind fileKind = ValueKind::File;
    bool fileRepeats = false;  // one or more may stand ("KIND...")
    std::string fileChoices = {};  // what each may be, for the completion ("radio|data")
};

struct ParsedCommand {
    std::map<std::string, std::string> values;  // by option name; a flag given maps to ""
    std::vector<std::string> files;
    bool help = false;

    bool Has(const std::string& option) const { return values.count(option) != 0; }
    std::string Value(const std::string& option) const {
        const auto it = values.find(option);
        return it == values.end() ? std::string() : it->second;
    }
};

// kelvane-cli's commands: the one table that its parsing, help, manual page
// and shell completion are held to.
const std::vector<CommandSpec>& Commands();

// What kelvane-cli takes in place of a command.
inline constexpr const char* kVersionOption = "--version";
// The shell completion's question: "--complete INDEX WORD...", the words as
// the shell split the command line (the program first), INDEX the word at
// the cursor. Not in the help: only the completion script asks it.
inline constexpr const char* kCompleteOption = "--complete";

// Reads the arguments after the command. A value given to a flag
// ("--replace=no"), an option where a value belongs ("--db --help"), an
// unknown or a repeated option, a missing required one or a wrong number of
// files: the one line to report, and nothing else happens.
std::optional<std::string> ParseCommand(const CommandSpec& command, const std::vector<std::string>& args,
                                        ParsedCommand& parsed);

// "Usage: kelvane-cli export --format dvbv5|... [--db PATH] ...", the
// description and every option with its help, "--help" included.
std::string CommandHelp(const CommandSpec& command);
// The program's usage: the commands and what each is for.
std::string ProgramHelp(const std::vector<CommandSpec>& commands);

// What may stand at the cursor. `words` as the shell split the line: bash
// makes "--db=x" three words ("--db", "=", "x"). `files`: file names may
// stand there too, which the shell lists itself.
struct Completion {
    std::vector<std::string> words;
    bool files = false;
};
// `countries` gives the country prefixes of the presets; it is asked only
// where a COUNTRY may stand.
Completion Complete(const std::vector<CommandSpec>& commands, const std::vector<std::string>& words, size_t current,
                    const std::function<std::vector<std::string>()>& countries);

}  // namespace cli
