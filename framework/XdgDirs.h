// The user's folders as the XDG base directory rules name them.
#pragma once

#include <string>

namespace fw {

// $HOME, else the user's entry in the password database, else ".".
std::string HomeDirectory();
// $XDG_CONFIG_HOME, else ~/.config.
std::string XdgConfigHome();
// $XDG_DATA_HOME, else ~/.local/share.
std::string XdgDataHome();

}  // namespace fw
