// Where cable operators put their transports and at which symbol rates, for
// whatever looks for transports no table names: the scan's sweep, the Linux
// tuner's search for the network and its guesses of a symbol rate.
#pragma once

#include <cstdint>
#include <vector>

namespace broadcast {

// The European cable raster: 8 MHz channels from 114 to 858 MHz.
inline constexpr unsigned long kRasterFirstKHz = 114000, kRasterLastKHz = 858000, kRasterStepKHz = 8000;
// Band III in 7 MHz channels (E5 to E12), which some operators keep below 300 MHz.
inline constexpr unsigned long kSevenMhzFirstKHz = 177500, kSevenMhzLastKHz = 226500, kSevenMhzStepKHz = 7000;

// The symbol rates (symbols/s) cable operators use, most common first
// (w_scan's extended list): 6900 and 6875 ksym/s, then the rarer ones.
const std::vector<uint32_t>& ExtendedSymbolRates();

// Every frequency (kHz) of the raster and the 7 MHz channels, ascending.
std::vector<unsigned long> SweepFrequencies();

}  // namespace broadcast
