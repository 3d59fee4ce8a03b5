// The emulated SAT>IP server's executable as a process of a test, on
// loopback in real time.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

extern char** environ;

namespace satiptest {

// The server's executable, started with `args`; gone with the object.
class ServerProcess {
public:
    explicit ServerProcess(std::vector<std::string> args) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        args.insert(args.begin(), KELVANE_SATIP_SERVER);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        if (posix_spawn(&m_Pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_Pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        // Its first lines name the ports, once it listens.
        std::string lines;
        pollfd p{out[0], POLLIN, 0};
        char c = 0;
        while (m_Pid > 0 && std::count(lines.begin(), lines.end(), '\n') < 2 && poll(&p, 1, 5000) == 1 &&
               read(out[0], &c, 1) == 1)
            lines += c;
        close(out[0]);
        port = PortAfter(lines, "SAT>IP server on 127.0.0.1:");
        ssdpPort = PortAfter(lines, "SSDP answers on 127.0.0.1:");
    }
    ~ServerProcess() {
        if (m_Pid <= 0) return;
        kill(m_Pid, SIGTERM);
        waitpid(m_Pid, nullptr, 0);
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    uint16_t port = 0, ssdpPort = 0;

private:
    static uint16_t PortAfter(const std::string& text, const std::string& head) {
        const size_t at = text.find(head);
        return at == std::string::npos ? 0 : static_cast<uint16_t>(std::stoul(text.substr(at + head.size())));
    }
    pid_t m_Pid = -1;
};

}  // namespace satiptest
