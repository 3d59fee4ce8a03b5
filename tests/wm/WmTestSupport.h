#pragma once

#include <string>

namespace wmtest {

// Why the X server with its window manager is not there (empty when it is);
// tests skip with it.
extern std::string g_SkipReason;
extern int g_ScreenWidth;
extern int g_ScreenHeight;

}  // namespace wmtest

#define WM_TEST_NEEDS_SESSION()                                                       \
    do {                                                                              \
        if (!wmtest::g_SkipReason.empty()) GTEST_SKIP() << wmtest::g_SkipReason;       \
    } while (false)
