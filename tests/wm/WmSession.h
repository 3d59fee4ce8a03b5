#pragma once

#include <string>
#include <sys/types.h>

namespace wmtest {

// An X server of its own (Xvfb, on a display nobody uses) with a real window
// manager (openbox) on it, for the tests that need windows framed, moved and
// activated as on a desktop. Both processes end with the session.
class WmSession {
public:
    WmSession() = default;
    ~WmSession();
    WmSession(const WmSession&) = delete;
    WmSession& operator=(const WmSession&) = delete;

    // Starts both on a screen of width x height; false, with Why(), when a
    // program is missing or did not come up within a few seconds.
    bool Start(int width, int height);
    void Stop();
    // ":N" once started.
    const std::string& Display() const { return m_Display; }
    const std::string& Why() const { return m_Why; }

private:
    pid_t m_Server = -1;
    pid_t m_Manager = -1;
    std::string m_Display;
    std::string m_Why;
    std::string m_Ready;  // the file openbox's start-up command creates
};

// Whether `program` is an executable in PATH.
bool InPath(const std::string& program);

}  // namespace wmtest
