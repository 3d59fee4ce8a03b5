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
};

struct CommandSpec {
    std::string name;
    std::string summary;      // one line for the command list
    std::string description;  // the help's paragraph
    std::vector<OptionSpec> options;
    // What the files on the command line are called ("FILE"); empty: none taken.
    std::string file;
    bool fileOptional = false;  // the file may be left out ("[COUNTRY]")
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

}  // namespace cli
