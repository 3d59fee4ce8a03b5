#pragma once

#include <functional>
#include <memory>
#include <string>

#include "framework/Profile.h"

namespace cardlib {
class Card;
}
namespace fw {
class Host;
}

// The application object: prepares the process, makes the settings file the
// host's profile and runs the program list window modally; the process ends
// when that window closes.
class ProgramListApp {
public:
    // `socketStartup` stands in for initialising the socket layer; none means
    // there is nothing to initialise (as on Linux), which always succeeds.
    explicit ProgramListApp(fw::Host& host, std::function<bool()> socketStartup = {});
    ~ProgramListApp();

    // Runs the start-up and the main window; returns the process's exit code:
    // 0 after the main window has closed, 1 when the sockets could not be
    // initialised (then no window was shown and no setting touched).
    int InitInstance(const std::string& executablePath);

    // The settings file for an executable: its path with the extension
    // replaced by "INI" (build/kelvane -> build/kelvane.INI). Where that
    // folder cannot be written, kelvane.INI in the user's configuration folder
    // ($XDG_CONFIG_HOME/kelvane/, else ~/.config/kelvane/).
    static std::string SettingsPathFor(const std::string& executablePath);
    // The user's configuration folder for Kelvane.
    static std::string UserConfigDirectory();

    // The settings file in use; empty before InitInstance has formed it.
    std::string SettingsPath() const;
    // The card whose status lines and problems the program list window
    // shows (app/CardStatus.h); none: nobody hears it.
    void SetCard(cardlib::Card* card) { m_Card = card; }

private:
    fw::Host& m_Host;
    std::function<bool()> m_SocketStartup;
    std::unique_ptr<fw::Profile> m_Profile;
    cardlib::Card* m_Card = nullptr;
};
