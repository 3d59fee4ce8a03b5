#pragma once

#include <vector>

#include "framework/DialogTemplate.h"
#include "framework/Resources.h"

namespace fw {
class Host;
}

namespace res {

// The three dialog templates: program list, program details, scan window.
std::vector<fw::DialogTemplate> DialogTemplates();

// Kelvane's dialog templates and its icon, as one table for the host.
const fw::Resources& AppResources();

// Registers that table with `host`: every program that makes Kelvane's
// windows on a host does this first.
void RegisterResources(fw::Host& host);

}  // namespace res
