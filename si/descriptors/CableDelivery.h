// EN 300 468 6.2.13.1: the cable delivery system descriptor, read, written,
// and its code tables: modulation (table 38) and FEC_inner (table 35) with the
// Linux kernel's enums (linux/dvb/frontend.h) and the channel files' names.
// Each descriptor that matters has a module like this one in si/descriptors/,
// used by the decoders, the tuner backends and the simulated network alike.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "si/SectionReader.h"

namespace si {

// The descriptor's fields as broadcast. BCD fields are kept as the digits
// read, a nibble above 9 counted by its value; `bcdValid` says whether every
// nibble was a decimal digit.
struct CableDelivery {
    uint32_t frequency = 0;    // 8 BCD digits, units of 100 Hz
    uint8_t fecOuter = 0;      // table 34
    uint8_t modulation = 0;    // table 38
    uint32_t symbolRate = 0;   // 7 BCD digits, units of 100 symbols/s
    uint8_t fecInner = 0;      // table 35
    bool bcdValid = false;
};

// Reads the body of a cable delivery system descriptor; false when it is too
// short (the reader takes the error and `out` is left as it was).
bool ReadCableDelivery(SectionReader& body, CableDelivery& out);
// The whole descriptor, tag and length included.
std::vector<uint8_t> WriteCableDelivery(const CableDelivery& delivery);

// A modulation code with the kernel's enum fe_modulation and its names in
// dvbv5 ("QAM/64"), zap ("QAM_64"), VDR (64) and VLC ("64QAM") files.
struct ModulationCode {
    uint8_t code;
    uint32_t kernel;
    const char* dvbv5;
    const char* zap;
    unsigned vdr;
    const char* vlc;
};
// A FEC_inner code with the kernel's enum fe_code_rate and its names.
struct FecCode {
    uint8_t code;
    uint32_t kernel;
    const char* dvbv5;
    const char* zap;
    unsigned vdr;
};
// Code 0 ("not defined") first, as automatic; then every code the table defines.
std::span<const ModulationCode> ModulationCodes();
std::span<const FecCode> FecCodes();
// nullptr for a code the table leaves reserved.
const ModulationCode* FindModulation(uint8_t code);
const FecCode* FindFec(uint8_t code);

}  // namespace si
