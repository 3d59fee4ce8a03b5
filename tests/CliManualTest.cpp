// What a user reads and types beside kelvane-cli's help: its manual page and
// its shell completion, both held to the declarations of its commands, and
// the version the build gives both executables.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/Version.h"
#include "cli/Options.h"
#include "exchange/Exchange.h"
#include "programs/ProgramListDialog.h"
#include "tests/CliTestSupport.h"
#include "tests/ProgramTestSupport.h"

namespace {

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The words of a roff line after its macro, as the reader sees them.
std::vector<std::string> RoffWords(const std::string& line) {
    std::string text;
    for (size_t i = line.find(' ') == std::string::npos ? line.size() : line.find(' '); i < line.size(); ++i) {
        if (line.compare(i, 2, "\\-") == 0) {
            text += '-';
            ++i;
        } else if (line[i] != '"') {
            text += line[i];
        }
    }
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

struct ManPage {
    std::vector<std::string> synopsis;                                // its lines
    std::set<std::string> programOptions;                             // .TP items of OPTIONS
    std::map<std::string, std::map<std::string, std::string>> commands;  // .SS of COMMANDS: option -> value
    std::string text;                                                 // all of it, "\-" read as "-"
};

ManPage ReadManPage(const std::string& path) {
    ManPage page;
    std::string section, command;
    const std::vector<std::string> lines = ReadLines(path);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        for (size_t pos = 0; pos < line.size(); ++pos) {
            if (line.compare(pos, 2, "\\-") == 0) continue;
            page.text += line[pos];
        }
        page.text += '\n';
        if (line.rfind(".SH ", 0) == 0) {
            section = line.substr(4);
            command.clear();
        } else if (section == "SYNOPSIS") {
            page.synopsis.push_back(line);
        } else if (section == "COMMANDS" && line.rfind(".SS ", 0) == 0) {
            command = line.substr(4);
            page.commands[command];
        } else if (line == ".TP" && i + 1 < lines.size()) {
            const std::vector<std::string> tag = RoffWords(lines[i + 1]);
            if (tag.empty() || tag[0][0] != '-') continue;
            if (section == "OPTIONS") page.programOptions.insert(tag[0]);
            if (section == "COMMANDS" && !command.empty())
                page.commands[command][tag[0]] = tag.size() > 1 && lines[i + 1].rfind(".BI", 0) == 0 ? tag[1] : "";
        }
    }
    return page;
}

TEST(CliManual, DocumentsEveryCommandAndOptionAsDeclaredAndNoOther) {
    const ManPage page = ReadManPage(std::string(KELVANE_MAN_DIR) + "/kelvane-cli.1");
    ASSERT_FALSE(page.commands.empty()) << "no COMMANDS section in the page";

    std::map<std::string, std::map<std::string, std::string>> declared;
    for (const cli::CommandSpec& command : cli::Commands()) {
        auto& options = declared[command.name];
        for (const cli::OptionSpec& option : command.options) options[option.name] = option.value;
        const bool inSynopsis =
            std::any_of(page.synopsis.begin(), page.synopsis.end(), [&](const std::string& line) {
                return line.rfind(".B kelvane-cli " + command.name, 0) == 0;
            });
        EXPECT_TRUE(inSynopsis) << command.name << " is not in the synopsis";
    }
    // Both ways: a command or option missing from the page, or one the page
    // describes that kelvane-cli does not take, and each value's name.
    EXPECT_EQ(page.commands, declared);
    EXPECT_EQ(page.programOptions, (std::set<std::string>{"--help", cli::kVersionOption}));

    for (const exchange::FormatInfo& format : exchange::Formats()) {
        EXPECT_NE(page.text.find(".B " + std::string(format.name) + "\n"), std::string::npos) << format.name;
    }
    for (const exchange::M3uPlaceholder& placeholder : exchange::M3uPlaceholders()) {
        EXPECT_NE(page.text.find("{" + std::string(placeholder.name) + "}"), std::string::npos) << placeholder.name;
    }
}

TEST(CliManual, PagesAndAboutLineCarryTheBuildsVersion) {
    for (const char* name : {"kelvane", "kelvane-cli"}) {
        const std::vector<std::string> lines = ReadLines(std::string(KELVANE_MAN_DIR) + "/" + name + ".1");
        const auto title = std::find_if(lines.begin(), lines.end(),
                                        [](const std::string& line) { return line.rfind(".TH ", 0) == 0; });
        ASSERT_NE(title, lines.end()) << name;
        EXPECT_NE(title->find("\"Kelvane " + std::string(kKelvaneVersion) + "\""), std::string::npos) << *title;
    }
    EXPECT_NE(std::string(ProgramListDialog::AboutText()).find(std::string(" ") + kKelvaneVersion + " "),
              std::string::npos)
        << ProgramListDialog::AboutText();
    EXPECT_EQ(VersionLine("kelvane-cli"), "kelvane-cli " + std::string(kKelvaneVersion) + " (GPL-2.0-or-later)");
}

struct CompletionCase {
    std::vector<std::string> words;  // after "kelvane-cli"; the last is at the cursor
    std::vector<std::string> offered;
    bool files;
};

TEST(CliCompletion, OffersWhatTheDeclarationsTake) {
    const std::vector<std::string> formats = {"dvbv5", "vdr", "zap", "m3u", "csv"};
    const std::vector<CompletionCase> cases = {
        {{""}, {"list", "export", "import", "remove", "scan", "networks", "presets", "reorder", "backups", "restore", "satip-servers"}, false},
        {{"satip-servers", "-"}, {"--help"}, false},
        {{"ex"}, {"export"}, false},
        {{"-"}, {"--help", "--version"}, false},
        {{"export", "--format", ""}, formats, false},
        {{"import", "--format", "v"}, {"vdr"}, false},
        // bash splits "--format=" and "--format=v" at the "=".
        {{"export", "--format", "="}, formats, false},
        {{"export", "--format", "=", "z"}, {"zap"}, false},
        {{"export", "--replace", "="}, {}, false},
        {{"export", "--format", "csv", "-"}, {"--db", "-o", "--m3u-url", "--unique-names", "--satip", "--help"}, false},
        {{"export", "-o", ""}, {}, true},
        {{"import", "--db", "=", ""}, {}, true},
        {{"import", ""}, {}, true},
        {{"import", "--replace", "--"}, {"--format", "--db", "--update", "--help"}, false},
        {{"import", "--db=board.db", "--"}, {"--format", "--replace", "--update", "--help"}, false},
        {{"list", ""}, {"--db", "--help"}, false},
        {{"scan", "--tick-ms", ""}, {}, false},
        {{"scan", "--dry"}, {"--dry-run"}, false},
        {{"presets", ""}, {"at", "de"}, false},
        {{"presets", "d"}, {"de"}, false},
        {{"nosuch", ""}, {}, false},
    };
    for (const CompletionCase& c : cases) {
        std::vector<std::string> words = {"kelvane-cli"};
        words.insert(words.end(), c.words.begin(), c.words.end());
        std::string line;
        for (const std::string& word : c.words) line += word + " ";
        const cli::Completion completion = cli::Complete(cli::Commands(), words, words.size() - 1, [] {
            return std::vector<std::string>{"at", "de"};
        });
        EXPECT_EQ(completion.words, c.offered) << line;
        EXPECT_EQ(completion.files, c.files) << line;
    }
}

class BashCompletion : public ::testing::Test {
protected:
    void SetUp() override { m_Dir = programtest::MakeTempDir(); }
    void TearDown() override { std::filesystem::remove_all(m_Dir); }

    // COMPREPLY after the completion function ran over `words`, in the
    // test's folder "work", with its own card.ini.
    std::vector<std::string> Complete(const std::vector<std::string>& words) const {
        std::string array = "'" + std::string(KELVANE_CLI) + "'";
        for (const std::string& word : words) array += " '" + word + "'";
        const std::string script = "source '" + std::string(KELVANE_COMPLETION) + "'; COMP_WORDS=(" + array +
                                   "); COMP_CWORD=" + std::to_string(words.size()) +
                                   "; _kelvane_cli; printf '%s\\n' \"${COMPREPLY[@]}\"";
        const std::string command = "cd '" + (m_Dir / "work").string() + "' && env XDG_CONFIG_HOME='" +
                                    (m_Dir / "config").string() + "' bash --norc --noprofile -c \"$0\" >../out 2>../err";
        const std::string shell = "sh -c " + clitest::Quoted(command) + " " + clitest::Quoted(script);
        const int status = std::system(shell.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << programtest::ReadFile((m_Dir / "err").string());
        std::vector<std::string> offered = ReadLines((m_Dir / "out").string());
        offered.erase(std::remove(offered.begin(), offered.end(), ""), offered.end());
        std::sort(offered.begin(), offered.end());
        return offered;
    }

    std::filesystem::path m_Dir;
};

TEST_F(BashCompletion, CompletesCommandsFormatsFilesAndPresetCountries) {
    std::filesystem::create_directories(m_Dir / "work" / "old");
    programtest::WriteFile((m_Dir / "work" / "channels.conf").string(), "");
    programtest::WriteFile((m_Dir / "work" / "tv.m3u").string(), "");
    std::filesystem::create_directories(m_Dir / "config" / "kelvane");
    std::filesystem::create_directories(m_Dir / "presets");
    programtest::WriteFile((m_Dir / "config" / "kelvane" / "card.ini").string(),
                           "[Card]\nPresetFolder=" + (m_Dir / "presets").string() + "\n");
    for (const char* preset : {"de-Kabel_Deutschland-Hannover", "de-Unitymedia", "at-Liwest", "ch-Rega-Sense"})
        programtest::WriteFile((m_Dir / "presets" / preset).string(), "");

    EXPECT_EQ(Complete({"sc"}), (std::vector<std::string>{"scan"}));
    EXPECT_EQ(Complete({"export", "--format", "="}), (std::vector<std::string>{"csv", "dvbv5", "m3u", "vdr", "zap"}));
    EXPECT_EQ(Complete({"import", ""}), (std::vector<std::string>{"channels.conf", "old", "tv.m3u"}));
    EXPECT_EQ(Complete({"import", "--db", "=", "t"}), (std::vector<std::string>{"tv.m3u"}));
    EXPECT_EQ(Complete({"presets", ""}), (std::vector<std::string>{"at", "ch", "de"}));
}

}  // namespace
