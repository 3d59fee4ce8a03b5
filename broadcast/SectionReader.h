#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace si {

// ISO/IEC 13818-1 2.4.4.11 and EN 300 468 5.2: byte counts of the section
// headers, from the table id on.
namespace header {
// table_id to last_section_number: every long-form section.
constexpr size_t kLongForm = 8;
// The SDT adds original_network_id and a reserved byte.
constexpr size_t kSdt = 11;
// The EIT adds transport_stream_id, original_network_id,
// segment_last_section_number and last_table_id.
constexpr size_t kEit = 14;
}  // namespace header
// CRC_32 closes every section that carries one.
constexpr size_t kCrcSize = 4;

// The one cursor through which every decoder reads broadcast data. Reads past
// the end return zeros and set a sticky error; nothing is ever read outside the
// span it was built over. Positions are byte offsets from the span's start, so
// a reader over a whole section counts from the table id.
class SectionReader {
public:
    SectionReader() = default;
    explicit SectionReader(std::span<const uint8_t> bytes) : m_Bytes(bytes) {}
    // A section as the dispatcher hands it over; a negative count is no bytes.
    SectionReader(const unsigned char* data, int length)
        : m_Bytes(data, data != nullptr && length > 0 ? static_cast<size_t>(length) : 0) {}

    size_t Size() const { return m_Bytes.size(); }
    size_t Position() const { return m_Pos; }
    size_t Remaining() const { return m_Bytes.size() - m_Pos; }
    bool AtEnd() const { return m_Pos >= m_Bytes.size(); }
    bool Error() const { return m_Error; }

    // Moves to an absolute offset; beyond the end is an error and leaves the
    // cursor at the end.
    bool Seek(size_t pos) {
        if (m_Error || pos > m_Bytes.size()) return Fail();
        m_Pos = pos;
        return true;
    }
    bool Skip(size_t n) {
        if (m_Error || Remaining() < n) return Fail();
        m_Pos += n;
        return true;
    }

    uint8_t U8() {
        if (Remaining() < 1) return Fail(), 0;
        return m_Bytes[m_Pos++];
    }
    uint16_t U16() {
        if (Remaining() < 2) return Fail(), 0;
        const uint16_t v = static_cast<uint16_t>(m_Bytes[m_Pos] << 8 | m_Bytes[m_Pos + 1]);
        m_Pos += 2;
        return v;
    }
    // The low 12 bits of a 16-bit field: the length fields of ISO/IEC 13818-1
    // and EN 300 468 sit below four reserved (or flag) bits.
    uint16_t Length12() { return static_cast<uint16_t>(U16() & 0x0FFF); }
    // The low 13 bits of a 16-bit field: a PID below three reserved bits.
    uint16_t Pid() { return static_cast<uint16_t>(U16() & 0x1FFF); }

    // Byte at an absolute offset, cursor unchanged.
    uint8_t PeekAt(size_t pos) {
        if (m_Error || pos >= m_Bytes.size()) return Fail(), 0;
        return m_Bytes[pos];
    }

    // The next n bytes, or an empty span (and the error) when fewer remain.
    std::span<const uint8_t> Bytes(size_t n) {
        if (Remaining() < n) return Fail(), std::span<const uint8_t>{};
        auto out = m_Bytes.subspan(m_Pos, n);
        m_Pos += n;
        return out;
    }
    // A reader over the next n bytes, which the cursor steps over. When fewer
    // remain, this reader takes the error and the sub-reader holds what there is.
    SectionReader Sub(size_t n) {
        const size_t take = Remaining() < n ? Remaining() : n;
        SectionReader sub(m_Bytes.subspan(m_Pos, take));
        m_Pos += take;
        if (take < n) Fail();
        return sub;
    }

private:
    bool Fail() {
        m_Error = true;
        m_Pos = m_Bytes.size();
        return false;
    }

    std::span<const uint8_t> m_Bytes;
    size_t m_Pos = 0;
    bool m_Error = false;
};

// A CRC-protected section without its CRC: the four last bytes are never data,
// so every loop and field of these tables ends where they begin.
inline SectionReader WithoutCrc(const unsigned char* data, int length) {
    constexpr int crc = static_cast<int>(kCrcSize);
    return SectionReader(data, length > crc ? length - crc : 0);
}

// Steps through a descriptor loop (tag, length, body), handing each descriptor
// to `decode` with a reader over exactly its body. A descriptor that runs past
// its loop is dropped and ends the walk. Returns false in that case.
template <typename Decode>
bool WalkDescriptors(SectionReader loop, Decode&& decode) {
    while (!loop.AtEnd()) {
        const uint8_t tag = loop.U8();
        const uint8_t descriptorLength = loop.U8();
        SectionReader body = loop.Sub(descriptorLength);
        if (loop.Error()) return false;
        decode(tag, body);
    }
    return true;
}

}  // namespace si
