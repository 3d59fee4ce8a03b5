#pragma once

#include <string>
#include <vector>

namespace fw {

// One entry of a menu: a command the dialog's OnCommand receives, its text,
// and the keys that choose it from anywhere in the window ("Ctrl+S", "F2";
// the first is the one the menu shows). A command of 0 is a separator.
struct MenuItem {
    int command = 0;
    std::string text;
    std::vector<std::string> shortcuts;
    bool enabled = true;
};

// A menu of the window's menu bar.
struct Menu {
    std::string title;  // "&File": the letter after & opens it with Alt
    std::vector<MenuItem> items;
};

// An item as a text: "Text\tShortcut", or "-" for a separator.
std::string MenuItemLabel(const MenuItem& item);

}  // namespace fw
