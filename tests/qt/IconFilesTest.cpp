#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <string>

#include "res/Icon.h"

namespace {

// The icon theme's PNGs show the window icon at every size: wherever an
// output pixel covers only pixels of one colour, it has that colour. (At a
// whole multiple of the icon's size every output pixel covers one pixel.)
TEST(IconFiles, EveryThemeSizeShowsTheWindowIcon) {
    constexpr int n = res::kAppIconSize;
    const auto& icon = res::AppIconPixels();
    auto source = [&](int x, int y) { return icon[static_cast<size_t>(y * n + x)]; };
    auto near = [](QRgb a, QRgb b) {
        if (qAlpha(a) == 0 && qAlpha(b) == 0) return true;
        return std::abs(qAlpha(a) - qAlpha(b)) <= 2 && std::abs(qRed(a) - qRed(b)) <= 2 &&
               std::abs(qGreen(a) - qGreen(b)) <= 2 && std::abs(qBlue(a) - qBlue(b)) <= 2;
    };
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        const std::string edge = std::to_string(size);
        const QImage png(QString::fromStdString(std::string(KELVANE_ICON_DIR) + "/" + edge + "x" + edge + "/apps/" +
                                                KELVANE_APP_ID + ".png"));
        ASSERT_EQ(png.size(), QSize(size, size));
        int uniform = 0, wrong = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                // The icon pixels this output pixel covers.
                const int x0 = x * n / size, x1 = ((x + 1) * n + size - 1) / size;
                const int y0 = y * n / size, y1 = ((y + 1) * n + size - 1) / size;
                bool same = true;
                for (int sy = y0; sy < y1 && same; ++sy)
                    for (int sx = x0; sx < x1 && same; ++sx) same = source(sx, sy) == source(x0, y0);
                if (!same) continue;
                ++uniform;
                if (!near(png.pixel(x, y), source(x0, y0))) ++wrong;
            }
        }
        EXPECT_GT(uniform, size * size / 2);
        EXPECT_EQ(wrong, 0);
    }
}

}  // namespace
