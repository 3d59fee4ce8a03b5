#include "cli/Console.h"

#include <signal.h>
#include <unistd.h>

namespace cli {

namespace {

volatile sig_atomic_t g_Interrupted = 0;

void OnInterrupt(int) { g_Interrupted = 1; }

class SystemConsoleImpl final : public Console {
public:
    bool ErrorIsTerminal() override { return isatty(STDERR_FILENO) == 1; }
    void CatchInterrupt() override {
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_Before);
        // Started with Ctrl+C ignored (in the background of a shell without
        // job control, under nohup): it stays ignored.
        if (m_Before.sa_handler == SIG_IGN) sigaction(SIGINT, &m_Before, nullptr);
    }
    void ReleaseInterrupt() override { sigaction(SIGINT, &m_Before, nullptr); }
    bool Interrupted() override { return g_Interrupted != 0; }

private:
    struct sigaction m_Before {};
};

}  // namespace

Console& SystemConsole() {
    static SystemConsoleImpl console;
    return console;
}

}  // namespace cli
