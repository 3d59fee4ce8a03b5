#include "tests/qt/QtTestSupport.h"

#include <stdlib.h>

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include <QDialog>
#include <QElapsedTimer>
#include <QTest>

namespace qttest {

namespace {

// One QApplication for the whole test program, on the offscreen platform
// unless the caller chose another.
class QtEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        m_App = new QApplication(m_Argc, m_Argv);
    }
    void TearDown() override {
        delete m_App;
        m_App = nullptr;
    }

private:
    int m_Argc = 1;
    char m_Name[16] = "kelvane_qt_test";
    char* m_Argv[2] = {m_Name, nullptr};
    QApplication* m_App = nullptr;
};

[[maybe_unused]] ::testing::Environment* const g_Environment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

int RunModalWith(fw::QtHost& host, fw::Dialog& dialog, const std::function<void()>& script, int limitMs) {
    host.Post([&host, &dialog, script] {
        if (QDialog* window = host.WindowOf(dialog)) (void)QTest::qWaitForWindowExposed(window, 2000);
        if (!dialog.IsEnded()) script();
    });
    const fw::TaskId watchdog = host.Post(
        [&dialog] {
            ADD_FAILURE() << "the dialog was still open after the time limit";
            dialog.EndDialog(-1);
        },
        limitMs);
    const int result = dialog.DoModal();
    host.Cancel(watchdog);
    return result;
}

bool WaitFor(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) QTest::qWait(5);
    return done();
}

std::filesystem::path MakeTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvane-qt-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

std::filesystem::path ScreenshotPath(const char* name) {
    const std::filesystem::path dir = KELVANE_SCREENSHOT_DIR;
    std::filesystem::create_directories(dir);
    return dir / name;
}

cardlib::SimNetwork ShortNetwork(size_t transports, size_t servicesPerTransport) {
    cardlib::SimNetwork network = cardlib::DefaultNetwork();
    network.transports.resize(transports);
    for (auto& t : network.transports) t.services.resize(servicesPerTransport);
    network.timing.nitIntervalMs = 1000;
    return network;
}

}  // namespace qttest
