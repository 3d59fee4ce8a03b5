#include "cli/Options.h"

#include <algorithm>

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

}  // namespace

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
    if (!command.file.empty() && parsed.files.size() > 1) return command.name + " takes one " + command.file;
    if (!command.file.empty() && parsed.files.empty() && !command.fileOptional)
        return command.name + " takes one " + command.file;
    return std::nullopt;
}

std::string CommandHelp(const CommandSpec& command) {
    std::string usage = "Usage: kelvane-cli " + command.name;
    for (const OptionSpec& option : command.options) {
        usage += option.required ? " " + Synopsis(option) : " [" + Synopsis(option) + "]";
    }
    if (!command.file.empty()) usage += command.fileOptional ? " [" + command.file + "]" : " " + command.file;
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
    return out + "\nkelvane-cli COMMAND --help describes each command.\n";
}

}  // namespace cli
