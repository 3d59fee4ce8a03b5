// The kelvane executable: the Qt host, then the application object, which
// runs the program list window until the user closes it.
#include <QApplication>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "app/ProgramListApp.h"
#include "app/Version.h"
#include "board/BoardDatabase.h"
#include "cardlib/Card.h"
#include "cardsetup/CardSettings.h"
#include "framework/qt/QtHost.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"

namespace {

// The settings file lives beside the executable, so its real path counts, not
// the name it was started by.
std::string ExecutablePath(const char* argv0) {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && !self.empty()) return self.string();
    if (!argv0) return {};
    const std::filesystem::path started = std::filesystem::absolute(argv0, ec);
    return ec ? std::string() : started.string();
}

constexpr const char* kHelp =
    "Usage: kelvane [--help | --version] [Qt options]\n"
    "Edits a DVB-C receiver card's program list and fills it by scanning a cable\n"
    "network, in a window. kelvane-cli does the same without one.\n"
    "\n"
    "  --help     this text\n"
    "  --version  the version and the licence\n"
    "\n"
    "Qt's own options (-platform, -style, ...) are taken. See kelvane(1).\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts, so they need no display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << VersionLine("kelvane") << std::endl;
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << kHelp;
        return 0;
    }
    QApplication application(argc, argv);
    // QApplication took its own options out; whatever is left, nobody reads.
    if (argc > 1) {
        std::cerr << "kelvane: unknown argument \"" << argv[1] << "\" (see kelvane --help)" << std::endl;
        return 2;
    }
    QApplication::setApplicationName(QStringLiteral("Kelvane"));
    // Lets the desktop match the windows to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(KELVANE_APP_ID));

    fw::QtHost host;
    host.SetAppName("Kelvane");
    res::RegisterResources(host);
    QApplication::setWindowIcon(host.Icon(res::IDI_APP));
    // The stand-in card and its board database live as long as the program;
    // the card goes before the host, so nothing of it runs on a host that is
    // going away.
    cardlib::Board board;
    cardlib::Card card;
    // The card's backend comes from its own settings file, its timing and
    // deliveries from this host. A file it cannot use leaves the defaults in
    // place; the user is told what was ignored.
    const std::string problems = cardlib::ConfigureFromSettings(card, host);
    if (!problems.empty()) host.ShowMessage(nullptr, problems);

    ProgramListApp app(host);
    app.SetCard(&card);
    return app.InitInstance(ExecutablePath(argc > 0 ? argv[0] : nullptr));
}
