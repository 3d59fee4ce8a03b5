#pragma once

#include <vector>

#include "framework/Geometry.h"

namespace fw {

class Dialog;

// A window's placement in the settings file: the keys "Left", "Top", "Right"
// and "Bottom" of `section`, in screen coordinates.

// Moves and sizes the window to the stored rectangle; each missing key keeps
// the window's current edge. A rectangle without area (right at or left of
// left, bottom at or above top) is not a placement and is ignored. One that
// fits on a screen is applied as stored; one that fits on none (a smaller
// screen than the one it was saved on) is shrunk to the screen it overlaps
// most and moved onto it, so every control stays in reach.
void RestoreWindowPlacement(Dialog& window, const char* section);
void SaveWindowPlacement(const Dialog& window, const char* section);
// The rectangle as placement puts it on these screens (see above).
Rect FitOnScreen(const Rect& rect, const std::vector<Rect>& screens);

}  // namespace fw
