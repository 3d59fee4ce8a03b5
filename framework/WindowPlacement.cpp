#include "framework/WindowPlacement.h"

#include <algorithm>
#include <cstdint>

#include "framework/Dialog.h"
#include "framework/Profile.h"

namespace fw {

void RestoreWindowPlacement(Dialog& window, const char* section) {
    const Rect current = window.GetWindowRect();
    Profile& profile = window.GetProfile();
    Rect stored;
    stored.left = profile.GetInt(section, "Left", current.left);
    stored.top = profile.GetInt(section, "Top", current.top);
    stored.right = profile.GetInt(section, "Right", current.right);
    stored.bottom = profile.GetInt(section, "Bottom", current.bottom);
    // 64-bit: a garbage file may hold edges whose difference overflows int.
    const long long width = static_cast<long long>(stored.right) - stored.left;
    const long long height = static_cast<long long>(stored.bottom) - stored.top;
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) return;
    window.MoveWindow(FitOnScreen(stored, window.GetHost().ScreenAreas()));
}

Rect FitOnScreen(const Rect& rect, const std::vector<Rect>& screens) {
    if (screens.empty()) return rect;
    const auto inside = [&](const Rect& s) {
        return rect.left >= s.left && rect.top >= s.top && rect.right <= s.right && rect.bottom <= s.bottom;
    };
    const auto overlap = [&](const Rect& s) {
        const long long w = std::max(0LL, static_cast<long long>(std::min(rect.right, s.right)) - std::max(rect.left, s.left));
        const long long h = std::max(0LL, static_cast<long long>(std::min(rect.bottom, s.bottom)) - std::max(rect.top, s.top));
        return w * h;
    };
    const Rect* best = &screens.front();
    for (const Rect& s : screens) {
        if (inside(s)) return rect;
        if (overlap(s) > overlap(*best)) best = &s;
    }
    const int width = std::min(rect.Width(), best->Width());
    const int height = std::min(rect.Height(), best->Height());
    const int left = std::clamp(rect.left, best->left, best->right - width);
    const int top = std::clamp(rect.top, best->top, best->bottom - height);
    return Rect{left, top, left + width, top + height};
}

void SaveWindowPlacement(const Dialog& window, const char* section) {
    const Rect rect = window.GetWindowRect();
    Profile& profile = window.GetProfile();
    profile.WriteInt(section, "Left", rect.left);
    profile.WriteInt(section, "Top", rect.top);
    profile.WriteInt(section, "Right", rect.right);
    profile.WriteInt(section, "Bottom", rect.bottom);
}

}  // namespace fw
