// What the Linux DVB backend learns from the NIT it delivers: how each
// transport of the own network is tuned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

namespace cardlib {

struct DvbDelivery {
    uint32_t symbolRate = 0;  // symbols/s
    uint32_t modulation = 0;  // enum fe_modulation; 0: the NIT does not say
    uint32_t innerFec = 0;    // enum fe_code_rate
};

// The cable delivery system descriptors of one NIT actual section, by
// frequency (kHz), into `deliveries`. Only a section that arrived whole and
// unspoilt (its CRC holds), and descriptors whose BCD digits are digits and
// whose frequency is at least 1 kHz, count; a neighbour's NIT (NIT other) may
// describe the same frequency differently. True for a whole, unspoilt NIT
// actual: the own network answered.
bool LearnDeliveriesFromNit(const uint8_t* section, size_t size, std::map<unsigned long, DvbDelivery>& deliveries);

}  // namespace cardlib
