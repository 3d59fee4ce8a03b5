// The kelvane executable: the Qt host, then the application object, which
// runs the program list window until the user closes it.
#include <QApplication>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/ProgramListApp.h"
#include "cardlib/BoardDatabase.h"
#include "cardlib/Card.h"
#include "cardlib/Settings.h"
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

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
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
