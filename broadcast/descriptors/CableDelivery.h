// EN 300 468 6.2.13.1: the cable delivery system descriptor, read and
// written, and which codes its modulation (table 38) and FEC_inner (table 35)
// fields define. Each descriptor that matters has a module like this one in
// broadcast/descriptors/, used by the decoders, the tuner backends and the simulated
// network alike; what a channel file or a kernel calls a code is theirs.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "broadcast/SectionReader.h"

namespace si {

// The descriptor's fields in Hz and symbols/s. The BCD digits are decoded as
// read, a nibble above 9 counted by its value; `bcdValid` says whether every
// nibble was a decimal digit.
struct CableDelivery {
    uint64_t frequencyHz = 0;  // 8 BCD digits of 100 Hz: up to 9999999900 Hz
    uint8_t fecOuter = 0;      // table 34
    uint8_t modulation = 0;    // table 38
    uint32_t symbolRate = 0;   // symbols/s; 7 BCD digits of 100 symbols/s
    uint8_t fecInner = 0;      // table 35
    bool bcdValid = false;
};

// Reads the body of a cable delivery system descriptor; false when it is too
// short (the reader takes the error and `out` is left as it was).
bool ReadCableDelivery(SectionReader& body, CableDelivery& out);
// The whole descriptor, tag and length included; frequency and symbol rate
// go out in the descriptor's units of 100, the rest below them dropped.
std::vector<uint8_t> WriteCableDelivery(const CableDelivery& delivery);

// Table 38: a modulation code and its QAM order (0 for code 0, "not defined").
struct ModulationCode {
    uint8_t code;
    unsigned qamOrder;
};
// Table 35: a FEC_inner code and its code rate; code 0 ("not defined") and
// code 15 ("no convolutional coding") have none (0/0).
struct FecCode {
    uint8_t code;
    unsigned numerator;
    unsigned denominator;
};
inline constexpr uint8_t kModulationNotDefined = 0;
inline constexpr uint8_t kFecNotDefined = 0, kFecNone = 15;
// Code 0 ("not defined") first; then every code the table defines.
std::span<const ModulationCode> ModulationCodes();
std::span<const FecCode> FecCodes();
// nullptr for a code the table leaves reserved.
const ModulationCode* FindModulation(uint8_t code);
const FecCode* FindFec(uint8_t code);

}  // namespace si
