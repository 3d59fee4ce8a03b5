#include "broadcast/Crc32.h"

namespace si {

uint32_t Crc32Mpeg2(const unsigned char* data, size_t length) {
    constexpr uint32_t kPolynomial = 0x04C11DB7;
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < length; ++i) {
        const unsigned byte = data[i];
        for (int bit = 7; bit >= 0; --bit) {
            const bool dataBit = ((byte >> bit) & 1u) != 0;
            const bool topBit = (crc & 0x80000000u) != 0;
            crc <<= 1;
            if (topBit != dataBit) crc ^= kPolynomial;
        }
    }
    return crc;
}

}  // namespace si
