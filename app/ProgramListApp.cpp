#include "app/ProgramListApp.h"

#include <unistd.h>

#include <filesystem>
#include <optional>
#include <system_error>

#include "app/CardStatus.h"

#include "framework/Host.h"
#include "framework/XdgDirs.h"
#include "programs/ProgramListDialog.h"

namespace {

bool IsWritableDirectory(const std::filesystem::path& dir) {
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) return false;
    return access(dir.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

ProgramListApp::ProgramListApp(fw::Host& host, std::function<bool()> socketStartup)
    : m_Host(host), m_SocketStartup(std::move(socketStartup)) {}

ProgramListApp::~ProgramListApp() {
    // The host must not keep a profile that goes with this object.
    if (m_Profile) m_Host.SetProfile(nullptr);
}

std::string ProgramListApp::UserConfigDirectory() {
    return (std::filesystem::path(fw::XdgConfigHome()) / "kelvane").string();
}

std::string ProgramListApp::SettingsPathFor(const std::string& executablePath) {
    if (!executablePath.empty()) {
        std::error_code ec;
        std::filesystem::path path = std::filesystem::absolute(executablePath, ec);
        if (!ec && path.has_filename()) {
            path.replace_extension("INI");
            const std::filesystem::path dir = path.parent_path();
            if (IsWritableDirectory(dir)) return path.string();
        }
    }
    return (std::filesystem::path(UserConfigDirectory()) / "kelvane.INI").string();
}

std::string ProgramListApp::SettingsPath() const { return m_Profile ? m_Profile->Path() : std::string(); }

int ProgramListApp::InitInstance(const std::string& executablePath) {
    if (m_SocketStartup && !m_SocketStartup()) {
        m_Host.ShowMessage(nullptr, "Fehler beim Initialisieren der Windows-Sockets.");
        return 1;
    }

    const std::string settings = SettingsPathFor(executablePath);
    // The settings are written only when the main window ends; their folder
    // must exist by then. A folder that cannot be made leaves the writes
    // failing silently, as any failed settings write does.
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(settings).parent_path(), ec);
    m_Profile = std::make_unique<fw::Profile>(settings);
    m_Host.SetProfile(m_Profile.get());

    ProgramListDialog dialog(m_Host);
    std::optional<CardStatus> cardStatus;
    if (m_Card) cardStatus.emplace(*m_Card, dialog);
    dialog.DoModal();
    return 0;
}
