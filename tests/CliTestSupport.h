// Running the kelvane-cli executable from a test: its user folders, standard
// output and standard error all in the test's own folder.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/ProgramTestSupport.h"

namespace clitest {

struct CliRun {
    int status;
    std::string out, err;
};

// One word for sh, whatever it holds.
inline std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// kelvane-cli ARGS with XDG_CONFIG_HOME `dir`/config and XDG_DATA_HOME
// `dir`/data; what it wrote is left in `dir`/out and `dir`/err too.
inline CliRun RunCli(const std::filesystem::path& dir, const std::vector<std::string>& args) {
    std::string command = "env XDG_CONFIG_HOME=" + Quoted((dir / "config").string()) +
                          " XDG_DATA_HOME=" + Quoted((dir / "data").string()) + " " + Quoted(KELVANE_CLI);
    for (const std::string& arg : args) command += " " + Quoted(arg);
    command += " >" + Quoted((dir / "out").string()) + " 2>" + Quoted((dir / "err").string());
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, programtest::ReadFile(dir / "out"),
            programtest::ReadFile(dir / "err")};
}

}  // namespace clitest
