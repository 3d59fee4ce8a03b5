#include "framework/WindowPlacement.h"

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
    window.MoveWindow(stored);
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
