// Writes a simulated network as transport-stream captures for the file
// backend: for tests, benchmarks and kelvane_write_ts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "simnet/SimNetwork.h"

namespace cardlib {

// One repetition cycle of what `transport` broadcasts, as a constant-rate
// transport stream with PCRs and null packets: the tables at the times the
// simulated network sends them, counted from lock.
std::vector<uint8_t> TransportStream(const SimNetwork& network, const SimTransport& transport);

// Writes "<kHz>.ts" for every transport of `network` that locks into `folder`
// (created if missing). False with `error` set when a file cannot be written.
bool WriteTsFolder(const SimNetwork& network, const std::string& folder, std::string* error);

}  // namespace cardlib
