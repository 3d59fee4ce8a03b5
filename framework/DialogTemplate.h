#pragma once

#include <string>
#include <vector>

namespace fw {

enum class ControlKind { PushButton, DefPushButton, CheckBox, Edit, Static, ListView, Progress };

// Control style bits that the hosts honour.
enum ControlStyle : unsigned {
    kStyleNone = 0,
    kEditReadOnly = 1u << 0,
    kEditCentered = 1u << 1,
    kEditNoBorder = 1u << 2,
    kCheckTextLeft = 1u << 3,
    kListSingleSel = 1u << 4,
    kListShowSelAlways = 1u << 5,
    kListNoHeader = 1u << 6,
    kListNoSortHeader = 1u << 7,  // column headers not clickable
    kListSortAscending = 1u << 8,
    kTabStop = 1u << 9,
    kBorder = 1u << 10,
};

struct ControlTemplate {
    int id = 0;
    ControlKind kind = ControlKind::Static;
    std::string text;
    int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    unsigned style = kStyleNone;
};

struct DialogTemplate {
    int id = 0;
    std::string caption;
    int cx = 0, cy = 0;  // dialog units
    std::string fontName;
    int fontPoints = 8;
    bool resizable = false;
    bool minimizeBox = false;
    bool maximizeBox = false;
    std::vector<ControlTemplate> controls;  // template order is tab order
};

// Standard dialog results and button ids.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

}  // namespace fw
