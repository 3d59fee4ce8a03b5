#pragma once

#include <cstddef>
#include <cstdint>

namespace si {

// ISO/IEC 13818-1 Annex A: CRC-32/MPEG-2 (polynomial 0x04C11DB7, register
// preset to all ones, most significant bit first, no reflection, no final
// inversion), computed bit by bit. Run over a whole section including its
// four CRC bytes, a correct section leaves 0.
uint32_t Crc32Mpeg2(const unsigned char* data, size_t length);

}  // namespace si
