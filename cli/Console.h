// What kelvane-cli asks of the terminal it runs on: whether standard error
// is one (the progress then is one line, rewritten in place), and whether
// the user pressed Ctrl+C. Tests give answers of their own.
#pragma once

namespace cli {

class Console {
public:
    virtual ~Console() = default;
    virtual bool ErrorIsTerminal() = 0;
    // From CatchInterrupt until ReleaseInterrupt, Ctrl+C (SIGINT) does not
    // end the process: Interrupted answers true from then on, and the scan
    // that asks ends itself without saving.
    virtual void CatchInterrupt() = 0;
    virtual void ReleaseInterrupt() = 0;
    virtual bool Interrupted() = 0;
};

// The process's own: isatty on standard error, a SIGINT handler that only
// sets a flag.
Console& SystemConsole();

// Catches Ctrl+C for as long as it lives.
class InterruptCatch {
public:
    explicit InterruptCatch(Console* console) : m_Console(console) {
        if (m_Console) m_Console->CatchInterrupt();
    }
    ~InterruptCatch() {
        if (m_Console) m_Console->ReleaseInterrupt();
    }
    InterruptCatch(const InterruptCatch&) = delete;
    InterruptCatch& operator=(const InterruptCatch&) = delete;

private:
    Console* m_Console;
};

}  // namespace cli
