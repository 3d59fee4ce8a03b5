// The window manager tests: one X server with openbox for the whole run, on
// the screen size that --screen=WIDTHxHEIGHT names (1280x1024 without it).
#include <gtest/gtest.h>

#include <QByteArray>
#include <QtGlobal>
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/wm/WmSession.h"
#include "tests/wm/WmTestSupport.h"

namespace wmtest {

std::string g_SkipReason;
int g_ScreenWidth = 1280;
int g_ScreenHeight = 1024;

}  // namespace wmtest

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--screen=", 9) == 0 &&
            std::sscanf(argv[i] + 9, "%dx%d", &wmtest::g_ScreenWidth, &wmtest::g_ScreenHeight) != 2) {
            std::fprintf(stderr, "--screen=WIDTHxHEIGHT, not %s\n", argv[i]);
            return 2;
        }
    }
    wmtest::WmSession session;
    if (session.Start(wmtest::g_ScreenWidth, wmtest::g_ScreenHeight)) {
        qputenv("DISPLAY", QByteArray(session.Display().c_str()));
        qputenv("QT_QPA_PLATFORM", QByteArray("xcb"));
    } else {
        wmtest::g_SkipReason = session.Why();
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    }
    const int result = RUN_ALL_TESTS();
    session.Stop();
    return result;
}
