#pragma once

namespace fw {

class Dialog;

// A window's placement in the settings file: the keys "Left", "Top", "Right"
// and "Bottom" of `section`, in screen coordinates.

// Moves and sizes the window to the stored rectangle; each missing key keeps
// the window's current edge. A rectangle without area (right at or left of
// left, bottom at or above top) is not a placement and is ignored. No check
// against the screen is made.
void RestoreWindowPlacement(Dialog& window, const char* section);
void SaveWindowPlacement(const Dialog& window, const char* section);

}  // namespace fw
