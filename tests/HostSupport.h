#pragma once

#include "framework/Host.h"
#include "res/Resources.h"

namespace hosttest {

// Registers Kelvane's dialog templates and icon with a fixture's host, as the
// programs do with theirs: declared between the host and the dialogs, it runs
// before they are made.
struct RegisteredResources {
    explicit RegisteredResources(fw::Host& host) { res::RegisterResources(host); }
};

}  // namespace hosttest
