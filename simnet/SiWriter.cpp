#include "simnet/SiWriter.h"

#include <algorithm>

namespace cardlib {

namespace {
// The last four bytes of `s` are room for its CRC.
void FillCrc(Section& s) {
    const uint32_t crc = si::Crc32Mpeg2(s.data(), s.size() - 4);
    for (int i = 0; i < 4; ++i) s[s.size() - 4 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
}
}  // namespace

size_t ByteWriter::OpenLength(unsigned upperNibble) {
    const size_t at = m_Bytes.size();
    U16(upperNibble << 12);
    return at;
}

void ByteWriter::CloseLength(size_t field) {
    const size_t length = m_Bytes.size() - field - 2;
    m_Bytes[field] = static_cast<uint8_t>((m_Bytes[field] & 0xF0) | ((length >> 8) & 0x0F));
    m_Bytes[field + 1] = static_cast<uint8_t>(length);
}

std::vector<uint8_t> Descriptor(uint8_t tag, const std::vector<uint8_t>& body) {
    const size_t length = body.size() > 255 ? 255 : body.size();
    std::vector<uint8_t> d(2 + length);
    d[0] = tag;
    d[1] = static_cast<uint8_t>(length);
    std::copy_n(body.begin(), length, d.begin() + 2);
    return d;
}

std::vector<uint8_t> Bcd(uint32_t value, unsigned digits) {
    std::vector<unsigned> nibbles(digits);
    for (unsigned i = digits; i-- > 0;) {
        nibbles[i] = value % 10;
        value /= 10;
    }
    std::vector<uint8_t> out((digits + 1) / 2, 0);
    for (unsigned i = 0; i < digits; ++i) out[i / 2] |= static_cast<uint8_t>(nibbles[i] << (i % 2 ? 0 : 4));
    return out;
}

Section LongSection(uint8_t tableId, uint16_t tableIdExtension, uint8_t version, uint8_t sectionNumber,
                    uint8_t lastSectionNumber, const std::vector<uint8_t>& body) {
    ByteWriter w;
    w.U8(tableId);
    // section_syntax_indicator 1; the private_indicator bit is 0 for PSI tables and 1 for DVB SI.
    const unsigned flags = tableId >= 0x40 ? 0xF : 0xB;
    const size_t length = w.OpenLength(flags);
    w.U16(tableIdExtension);
    w.U8(0xC0 | ((version & 0x1F) << 1) | 0x01);  // current_next_indicator 1
    w.U8(sectionNumber);
    w.U8(lastSectionNumber);
    w.Append(body);
    w.U32(0);  // room for the CRC, counted in section_length
    w.CloseLength(length);
    Section s = std::move(w.Bytes());
    FillCrc(s);
    return s;
}

Section ShortSection(uint8_t tableId, const std::vector<uint8_t>& body, bool withCrc) {
    ByteWriter w;
    w.U8(tableId);
    // section_syntax_indicator 0, reserved_future_use 1, reserved 11.
    const size_t length = w.OpenLength(0x7);
    w.Append(body);
    if (withCrc) w.U32(0);
    w.CloseLength(length);
    Section s = std::move(w.Bytes());
    if (withCrc) FillCrc(s);
    return s;
}

std::vector<uint8_t> MjdUtc(int64_t utcMs) {
    constexpr int64_t kMsPerDay = 86400000;
    // MJD 40587 is 1970-01-01.
    const int64_t days = utcMs / kMsPerDay - (utcMs % kMsPerDay < 0 ? 1 : 0);
    const int64_t seconds = (utcMs - days * kMsPerDay) / 1000;
    ByteWriter w;
    w.U16(static_cast<unsigned>(days + 40587));
    for (int64_t v : {seconds / 3600, seconds / 60 % 60, seconds % 60}) w.Append(Bcd(static_cast<uint32_t>(v), 2));
    return w.Bytes();
}

std::vector<std::vector<std::vector<uint8_t>>> GroupEntries(const std::vector<std::vector<uint8_t>>& entries,
                                                            size_t room) {
    std::vector<std::vector<std::vector<uint8_t>>> groups(1);
    size_t used = 0;
    for (const auto& entry : entries) {
        if (!groups.back().empty() && used + entry.size() > room) {
            groups.emplace_back();
            used = 0;
        }
        groups.back().push_back(entry);
        used += entry.size();
    }
    return groups;
}

}  // namespace cardlib
