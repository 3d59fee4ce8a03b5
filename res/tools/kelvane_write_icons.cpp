// Writes the application icon as the PNG files of an icon theme:
//   kelvane_write_icons <theme folder> <icon name> <size>...
// gives <theme folder>/<size>x<size>/apps/<icon name>.png for each size.
#include <QImage>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "res/Icon.h"

namespace {

QImage IconImage() {
    const auto& pixels = res::AppIconPixels();
    QImage image(res::kAppIconSize, res::kAppIconSize, QImage::Format_ARGB32);
    for (int y = 0; y < res::kAppIconSize; ++y) {
        for (int x = 0; x < res::kAppIconSize; ++x)
            image.setPixel(x, y, pixels[static_cast<size_t>(y * res::kAppIconSize + x)]);
    }
    return image;
}

// The icon is pixel art: a whole multiple of its size repeats each pixel, so
// the picture stays sharp. Any other size averages the pixels it covers, taken
// from a large sharp copy.
QImage Scaled(const QImage& icon, int size) {
    if (size % res::kAppIconSize == 0) return icon.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const int large = res::kAppIconSize * 8;
    return icon.scaled(large, large, Qt::IgnoreAspectRatio, Qt::FastTransformation)
        .scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <theme folder> <icon name> <size>...\n", argv[0]);
        return 2;
    }
    const std::filesystem::path theme = argv[1];
    const std::string name = argv[2];
    const QImage icon = IconImage();
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || size > 1024) {
            std::fprintf(stderr, "%s: not an icon size: %s\n", argv[0], argv[i]);
            return 2;
        }
        const std::string edge = std::to_string(size);
        const std::filesystem::path folder = theme / (edge + "x" + edge) / "apps";
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        const std::filesystem::path file = folder / (name + ".png");
        if (ec || !Scaled(icon, size).save(QString::fromStdString(file.string()), "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], file.c_str());
            return 1;
        }
    }
    return 0;
}
