// Writes MPEG-2 / DVB sections: the byte layout of ISO/IEC 13818-1 and EN 300 468.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "broadcast/Crc32.h"

namespace cardlib {

using Section = std::vector<uint8_t>;

// Big-endian bytes appended to a buffer.
class ByteWriter {
public:
    void U8(unsigned v) { m_Bytes.push_back(static_cast<uint8_t>(v)); }
    void U16(unsigned v) { U8(v >> 8), U8(v); }
    void U32(uint32_t v) { U16(v >> 16), U16(v & 0xFFFF); }
    void Append(const std::vector<uint8_t>& bytes) { m_Bytes.insert(m_Bytes.end(), bytes.begin(), bytes.end()); }
    void Append(const std::string& bytes) { m_Bytes.insert(m_Bytes.end(), bytes.begin(), bytes.end()); }
    // A 12-bit length field under four reserved bits; Close fills it in with
    // the bytes written since.
    size_t OpenLength(unsigned upperNibble = 0xF);
    void CloseLength(size_t field);
    size_t Size() const { return m_Bytes.size(); }
    std::vector<uint8_t>& Bytes() { return m_Bytes; }

private:
    std::vector<uint8_t> m_Bytes;
};

// EN 300 468: a descriptor is tag, length, then at most 255 bytes.
std::vector<uint8_t> Descriptor(uint8_t tag, const std::vector<uint8_t>& body);

// `value` as `digits` BCD digits, most significant first, packed two per byte
// (an odd count leaves the last low nibble free for the caller).
std::vector<uint8_t> Bcd(uint32_t value, unsigned digits);

// A long-form section (section_syntax_indicator 1): header, `body`, CRC.
Section LongSection(uint8_t tableId, uint16_t tableIdExtension, uint8_t version, uint8_t sectionNumber,
                    uint8_t lastSectionNumber, const std::vector<uint8_t>& body);

// A short-form section (section_syntax_indicator 0): header and `body`, then a
// CRC where the table has one (the TOT does, the TDT does not).
Section ShortSection(uint8_t tableId, const std::vector<uint8_t>& body, bool withCrc);

// EN 300 468 Annex C: `utcMs` (since 1970) as a 16-bit Modified Julian Date
// and hour, minute and second in BCD, five bytes.
std::vector<uint8_t> MjdUtc(int64_t utcMs);

// Splits loop entries into groups that fit `room` bytes each (an entry larger
// than `room` gets a group of its own); at least one group, maybe empty.
std::vector<std::vector<std::vector<uint8_t>>> GroupEntries(const std::vector<std::vector<uint8_t>>& entries,
                                                            size_t room);

}  // namespace cardlib
