#pragma once

#include <array>
#include <cstdint>

namespace res {

inline constexpr int kAppIconSize = 32;

// The application icon (resource 128), a television set with its antenna:
// kAppIconSize x kAppIconSize pixels, row by row from the top, each
// 0xAARRGGBB (alpha 0 is transparent).
const std::array<uint32_t, kAppIconSize * kAppIconSize>& AppIconPixels();

}  // namespace res
