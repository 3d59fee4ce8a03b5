#include "linuxdvb/LinuxDvbCodes.h"

#include <linux/dvb/frontend.h>

#include <array>
#include <cstddef>
#include <utility>

namespace cardlib {

namespace {

constexpr std::array<std::pair<uint8_t, uint32_t>, 5> kModulations{{
    {1, QAM_16}, {2, QAM_32}, {3, QAM_64}, {4, QAM_128}, {5, QAM_256},
}};

// Code 15, no convolutional coding, is the kernel's FEC_NONE.
constexpr std::array<std::pair<uint8_t, uint32_t>, 10> kFecs{{
    {1, FEC_1_2}, {2, FEC_2_3}, {3, FEC_3_4}, {4, FEC_5_6}, {5, FEC_7_8},
    {6, FEC_8_9}, {7, FEC_3_5}, {8, FEC_4_5}, {9, FEC_9_10}, {15, FEC_NONE},
}};

template <std::size_t N>
uint32_t Lookup(const std::array<std::pair<uint8_t, uint32_t>, N>& table, uint8_t code, uint32_t otherwise) {
    for (const auto& [own, kernel] : table)
        if (own == code) return kernel;
    return otherwise;
}

}  // namespace

uint32_t KernelModulation(uint8_t code) { return Lookup(kModulations, code, QAM_AUTO); }
uint32_t KernelFec(uint8_t code) { return Lookup(kFecs, code, FEC_AUTO); }

}  // namespace cardlib
