// Hand-built transport-stream packets and sections for the demux and card tests.
#pragma once

#include <cstdint>
#include <vector>

namespace tstest {

using Bytes = std::vector<uint8_t>;

// A section of `size` bytes (3 + section_length) with table id `tableId`,
// its body counting up from `seed` so that sections differ.
inline Bytes Section(uint8_t tableId, size_t size, uint8_t seed = 0) {
    Bytes s(size);
    s[0] = tableId;
    const size_t sectionLength = size - 3;
    s[1] = static_cast<uint8_t>(0xB0 | ((sectionLength >> 8) & 0x0F));
    s[2] = static_cast<uint8_t>(sectionLength);
    for (size_t i = 3; i < size; ++i) s[i] = static_cast<uint8_t>(seed + i);
    return s;
}

struct PacketSpec {
    uint16_t pid = 0x100;
    uint8_t cc = 0;
    bool unitStart = false;
    bool transportError = false;
    // -1: no adaptation field; otherwise its adaptation_field_length.
    int adaptationLength = -1;
    bool discontinuity = false;
    bool payload = true;
};

// One 188-byte packet: header, adaptation field, then `payload` (pointer_field
// included where the caller wants one), filled up with 0xFF.
inline Bytes Packet(const PacketSpec& spec, const Bytes& payload = {}) {
    Bytes p;
    p.push_back(0x47);
    p.push_back(static_cast<uint8_t>((spec.transportError ? 0x80 : 0) | (spec.unitStart ? 0x40 : 0) |
                                     ((spec.pid >> 8) & 0x1F)));
    p.push_back(static_cast<uint8_t>(spec.pid));
    const unsigned afc = (spec.adaptationLength >= 0 ? 2u : 0u) | (spec.payload ? 1u : 0u);
    p.push_back(static_cast<uint8_t>((afc << 4) | (spec.cc & 0x0F)));
    if (spec.adaptationLength >= 0) {
        p.push_back(static_cast<uint8_t>(spec.adaptationLength));
        if (spec.adaptationLength > 0) {
            p.push_back(spec.discontinuity ? 0x80 : 0x00);
            for (int i = 1; i < spec.adaptationLength; ++i) p.push_back(0xFF);
        }
    }
    p.insert(p.end(), payload.begin(), payload.end());
    if (p.size() > 188) p.resize(188);
    p.resize(188, 0xFF);
    return p;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& b : parts) all.insert(all.end(), b.begin(), b.end());
    return all;
}

inline Bytes Slice(const Bytes& b, size_t from, size_t count) {
    return Bytes(b.begin() + static_cast<ptrdiff_t>(from), b.begin() + static_cast<ptrdiff_t>(from + count));
}

}  // namespace tstest
