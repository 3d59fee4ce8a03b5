#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/ProgramListApp.h"
#include "board/BoardDatabase.h"
#include "cardlib/Card.h"
#include "framework/Profile.h"
#include "framework/headless/HeadlessHost.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"
#include "tests/ProgramTestSupport.h"

namespace {

using Strings = std::vector<std::string>;

// Sets an environment variable for the test's lifetime.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : m_Name(name) {
        if (const char* old = std::getenv(name)) m_Old = old;
        if (value) setenv(name, value->c_str(), 1);
        else unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_Old) setenv(m_Name, m_Old->c_str(), 1);
        else unsetenv(m_Name);
    }

private:
    const char* m_Name;
    std::optional<std::string> m_Old;
};

class ProgramListApplication : public ::testing::Test {
public:
    void SetUp() override { std::filesystem::create_directories(m_Dir / "bin"); }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(m_Dir, ec);
    }
    std::filesystem::path m_Dir = programtest::MakeTempDir();
    cardlib::Board board{(m_Dir / "board.db").string()};
    cardlib::Card card;
};

TEST_F(ProgramListApplication, FailedSocketStartShowsTheGermanMessageAndEndsWithoutAWindow) {
    fw::HeadlessHost host;
    res::RegisterResources(host);
    bool windowShown = false;
    host.ScriptModal(res::IDD_PROGRAM_LIST, [&](fw::Dialog&) { windowShown = true; });
    board.Calls().recordNames = true;
    ProgramListApp app(host, [] { return false; });
    EXPECT_NE(app.InitInstance((m_Dir / "bin" / "kelvane").string()), 0);
    EXPECT_EQ(host.Messages(), Strings{"Fehler beim Initialisieren der Windows-Sockets."});
    EXPECT_FALSE(windowShown);
    EXPECT_TRUE(board.Calls().names.empty());
    EXPECT_FALSE(std::filesystem::exists(m_Dir / "bin" / "kelvane.INI"));
}

TEST_F(ProgramListApplication, RunsTheMainWindowAndEndsWhenItCloses) {
    fw::HeadlessHost host;
    res::RegisterResources(host);
    std::string profileSeen;
    host.ScriptModal(res::IDD_PROGRAM_LIST, [&](fw::Dialog& d) {
        profileSeen = d.GetProfile().Path();
        d.CheckDlgButton(res::IDC_UPDATE_NAMES, false);
        d.ClickButton(fw::IDCANCEL);
    });
    int socketStarts = 0;
    ProgramListApp app(host, [&] { return ++socketStarts == 1; });
    const std::string ini = (m_Dir / "bin" / "kelvane.INI").string();
    EXPECT_EQ(app.InitInstance((m_Dir / "bin" / "kelvane").string()), 0);
    EXPECT_EQ(socketStarts, 1);
    EXPECT_EQ(profileSeen, ini);
    EXPECT_EQ(app.SettingsPath(), ini);
    EXPECT_FALSE(board.IsOpen());
    EXPECT_TRUE(host.Messages().empty());
    // The window's end wrote its settings beside the executable.
    EXPECT_EQ(fw::Profile(ini).GetInt("Settings", "UpdateNames", -1), 0);
    EXPECT_EQ(fw::Profile(ini).GetInt("Columns", "Col_24", -1), 48);
}

TEST_F(ProgramListApplication, SettingsFileIsTheExecutableWithTheExtensionInI) {
    const auto dir = m_Dir / "bin";
    std::filesystem::create_directories(m_Dir / "my.tools");
    struct Case {
        std::filesystem::path executable;
        std::filesystem::path settings;
    };
    const Case cases[] = {
        {dir / "kelvane", dir / "kelvane.INI"},
        {dir / "scan.exe", dir / "scan.INI"},
        {dir / "kelvane.2.3", dir / "kelvane.2.INI"},
        {m_Dir / "my.tools" / "kelvane", m_Dir / "my.tools" / "kelvane.INI"},
    };
    for (const Case& c : cases) EXPECT_EQ(ProgramListApp::SettingsPathFor(c.executable.string()), c.settings.string());

    // A relative path is taken from the current directory.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(m_Dir);
    EXPECT_EQ(ProgramListApp::SettingsPathFor("bin/kelvane"), (dir / "kelvane.INI").string());
    std::filesystem::current_path(cwd);
}

TEST_F(ProgramListApplication, UnwritableExecutableFolderUsesTheUserConfigFolder) {
    const std::string missing = (m_Dir / "no" / "such" / "kelvane").string();
    {
        ScopedEnv config("XDG_CONFIG_HOME", (m_Dir / "config").string());
        EXPECT_EQ(ProgramListApp::SettingsPathFor(missing), (m_Dir / "config" / "kelvane" / "kelvane.INI").string());
        EXPECT_EQ(ProgramListApp::SettingsPathFor(""), (m_Dir / "config" / "kelvane" / "kelvane.INI").string());
    }
    for (const std::optional<std::string>& xdg : {std::optional<std::string>{}, std::optional<std::string>{"rel"}}) {
        ScopedEnv config("XDG_CONFIG_HOME", xdg);
        ScopedEnv home("HOME", (m_Dir / "home").string());
        EXPECT_EQ(ProgramListApp::SettingsPathFor(missing),
                  (m_Dir / "home" / ".config" / "kelvane" / "kelvane.INI").string());
    }
}

TEST_F(ProgramListApplication, SettingsInTheConfigFolderAreWrittenThere) {
    ScopedEnv config("XDG_CONFIG_HOME", (m_Dir / "config").string());
    fw::HeadlessHost host;
    res::RegisterResources(host);
    {
        ProgramListApp app(host);
        EXPECT_EQ(app.InitInstance((m_Dir / "no" / "such" / "kelvane").string()), 0);
    }
    const auto ini = m_Dir / "config" / "kelvane" / "kelvane.INI";
    EXPECT_EQ(fw::Profile(ini.string()).GetInt("Settings", "UpdateNames", -1), 1);
    EXPECT_FALSE(std::filesystem::exists(m_Dir / "no"));
}

}  // namespace
