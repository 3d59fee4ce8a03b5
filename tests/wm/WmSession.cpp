#include "tests/wm/WmSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace wmtest {

namespace {

constexpr auto kPatience = std::chrono::seconds(5);

pid_t Spawn(const std::vector<std::string>& args, const posix_spawn_file_actions_t* actions, char** env) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], actions, nullptr, argv.data(), env) != 0) return -1;
    return pid;
}

void End(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    // A process that ignores the request gets no second one after a while.
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

}  // namespace

bool InPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty() && access((std::filesystem::path(dir) / program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

WmSession::~WmSession() { Stop(); }

void WmSession::Stop() {
    End(m_Manager);
    End(m_Server);
    if (!m_Ready.empty()) std::filesystem::remove(m_Ready);
}

bool WmSession::Start(int width, int height) {
    for (const char* program : {"Xvfb", "openbox"}) {
        if (!InPath(program)) {
            m_Why = std::string(program) + " is not installed (tools/setup.sh installs it)";
            return false;
        }
    }
    // Xvfb picks a free display itself and writes its number to the pipe
    // once it accepts connections.
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        m_Why = "no pipe";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    m_Server = Spawn({"Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0", screen, "-nolisten", "tcp",
                      "-noreset"},
                     &actions, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string number;
    pollfd wait{pipeFds[0], POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (m_Server > 0 && number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        if (poll(&wait, 1, 100) <= 0) continue;
        char buffer[16];
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        number.append(buffer, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    if (number.find('\n') == std::string::npos) {
        m_Why = "Xvfb did not start";
        Stop();
        return false;
    }
    m_Display = ":" + number.substr(0, number.find('\n'));

    // openbox runs its start-up command once it manages the screen.
    m_Ready = (std::filesystem::temp_directory_path() / ("kelvane-wm-ready-" + std::to_string(getpid()))).string();
    std::filesystem::remove(m_Ready);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (std::string(*e).rfind("DISPLAY=", 0) != 0) env.emplace_back(*e);
    }
    env.push_back("DISPLAY=" + m_Display);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    m_Manager = Spawn({"openbox", "--sm-disable", "--startup", "touch " + m_Ready}, nullptr, envp.data());
    while (m_Manager > 0 && !std::filesystem::exists(m_Ready) && std::chrono::steady_clock::now() < deadline + kPatience) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!std::filesystem::exists(m_Ready)) {
        m_Why = "openbox did not start on " + m_Display;
        Stop();
        return false;
    }
    return true;
}

}  // namespace wmtest
