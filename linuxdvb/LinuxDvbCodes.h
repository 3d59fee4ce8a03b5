// EN 300 468's modulation (table 38) and FEC_inner (table 35) codes as the
// Linux kernel's enums of linux/dvb/frontend.h, for whatever tunes a Linux
// DVB frontend from a cable delivery system descriptor.
#pragma once

#include <cstdint>

namespace cardlib {

// enum fe_modulation; QAM_AUTO for code 0 ("not defined") and reserved codes.
uint32_t KernelModulation(uint8_t code);
// enum fe_code_rate; FEC_AUTO for code 0 ("not defined") and reserved codes.
uint32_t KernelFec(uint8_t code);

}  // namespace cardlib
