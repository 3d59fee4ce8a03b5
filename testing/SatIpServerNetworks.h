// The networks the emulated SAT>IP server's executable sends, by name, so a
// test scans the same one in process over the simulated backend.
#pragma once

#include <optional>
#include <string>

#include "simnet/SimNetwork.h"

namespace cardlib {

// "default", "large", "operator" (the simulated backend's), or "quick": the
// default network's first two transports with three services each, its NIT
// each second and SDT each half second, for a scan of a few seconds in real
// time.
std::optional<SimNetwork> SatIpServerNetwork(const std::string& name);

}  // namespace cardlib
