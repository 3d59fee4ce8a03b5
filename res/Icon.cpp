#include "res/Icon.h"

#include <cstddef>

namespace res {

namespace {

// One character per pixel; the palette below gives the colours.
constexpr const char* kAppIconRows[kAppIconSize] = {
    "......o..................o......",
    ".......a................a.......",
    "........a..............a........",
    ".........a............a.........",
    "..........a..........a..........",
    "...........a........a...........",
    "............a......a............",
    ".............a....a.............",
    "..............a..a..............",
    "..............kkkk..............",
    ".............kkkkkk.............",
    "..kkkkkkkkkkkkkkkkkkkkkkkkkkkk..",
    ".kggggggggggggggggggggggggggggk.",
    ".kggkkkkkkkkkkkkkkkkkkggggggggk.",
    ".kgksllhhhsssssssssssskgggogggk.",
    ".kgkslhhsssssssssssssskggokoggk.",
    ".kgkshhssssssssssssssskgggogggk.",
    ".kgkshsssssssssssssssskgggggggk.",
    ".kgksssssssssssssssssskgggogggk.",
    ".kgksssssssssssssssssskggokoggk.",
    ".kgksssssssssssssssssskgggogggk.",
    ".kgksssssssssssssssssskgggggggk.",
    ".kgksssssssssssssssssskgkkkkkgk.",
    ".kgksssssssssssssssssskgggggggk.",
    ".kgksssssssssssssssssskgkkkkkgk.",
    ".kggkkkkkkkkkkkkkkkkkkggggggrgk.",
    ".kggggggggggggggggggggggggggggk.",
    "..kkkkkkkkkkkkkkkkkkkkkkkkkkkk..",
    "....kkk..................kkk....",
    "...kkkkk................kkkkk...",
    "................................",
    "................................",
};

constexpr uint32_t PaletteColour(char c) {
    switch (c) {
        case 'k': return 0xFF1C1F26;  // outline
        case 'g': return 0xFF6B7585;  // cabinet
        case 's': return 0xFF1F4BA0;  // screen
        case 'h': return 0xFF5B8EE6;  // reflection
        case 'l': return 0xFFD2E4FF;  // reflection, brightest
        case 'a': return 0xFF9AA3AD;  // antenna rods
        case 'o': return 0xFFE8B339;  // knobs and rod tips
        case 'r': return 0xFFE23B3B;  // power lamp
        default: return 0x00000000;
    }
}

}  // namespace

const std::array<uint32_t, kAppIconSize * kAppIconSize>& AppIconPixels() {
    static const auto pixels = [] {
        std::array<uint32_t, kAppIconSize * kAppIconSize> p{};
        for (int y = 0; y < kAppIconSize; ++y) {
            for (int x = 0; x < kAppIconSize; ++x)
                p[static_cast<size_t>(y * kAppIconSize + x)] = PaletteColour(kAppIconRows[y][x]);
        }
        return p;
    }();
    return pixels;
}

}  // namespace res
