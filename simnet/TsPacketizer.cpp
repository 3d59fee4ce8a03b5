#include "simnet/TsPacketizer.h"

#include <algorithm>
#include <cstddef>

namespace cardlib {

namespace {
constexpr size_t kPacketSize = 188;
constexpr size_t kPayloadSize = 184;

void Header(std::vector<uint8_t>& out, uint16_t pid, bool unitStart, unsigned adaptation, uint8_t cc) {
    out.push_back(0x47);
    out.push_back(static_cast<uint8_t>((unitStart ? 0x40 : 0) | ((pid >> 8) & 0x1F)));
    out.push_back(static_cast<uint8_t>(pid));
    out.push_back(static_cast<uint8_t>((adaptation << 4) | cc));
}
}  // namespace

void TsPacketizer::Packetize(uint16_t pid, const std::vector<std::vector<uint8_t>>& sections,
                             std::vector<uint8_t>& out) {
    std::vector<uint8_t> data;
    std::vector<size_t> starts;
    for (const auto& section : sections) {
        starts.push_back(data.size());
        data.insert(data.end(), section.begin(), section.end());
    }
    size_t pos = 0;
    auto nextStart = starts.begin();
    while (pos < data.size()) {
        while (nextStart != starts.end() && *nextStart < pos) ++nextStart;
        const bool startHere = nextStart != starts.end() && *nextStart < pos + kPayloadSize;
        if (startHere && *nextStart == pos + kPayloadSize - 1) {
            // A section would begin in the last byte of a packet without room
            // for the pointer_field: an empty adaptation field moves it on.
            Header(out, pid, false, 0x3, NextCc(pid));
            out.push_back(0);
            out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(pos),
                       data.begin() + static_cast<std::ptrdiff_t>(pos + kPayloadSize - 1));
            pos += kPayloadSize - 1;
            continue;
        }
        Header(out, pid, startHere, 0x1, NextCc(pid));
        size_t room = kPayloadSize;
        if (startHere) {
            out.push_back(static_cast<uint8_t>(*nextStart - pos));
            --room;
        }
        const size_t take = std::min(room, data.size() - pos);
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(pos),
                   data.begin() + static_cast<std::ptrdiff_t>(pos + take));
        pos += take;
        out.insert(out.end(), room - take, 0xFF);
    }
}

void TsPacketizer::AppendPcr(uint16_t pid, uint64_t pcr, std::vector<uint8_t>& out) const {
    // The continuity counter does not advance without payload; repeat the last one.
    Header(out, pid, false, 0x2, static_cast<uint8_t>((m_Cc[pid & 0x1FFF] - 1) & 0x0F));
    out.push_back(183);
    out.push_back(0x10);  // PCR_flag
    // ISO/IEC 13818-1 2.4.3.5: program_clock_reference_base (33 bits, 90 kHz), 6 reserved bits, extension (9 bits).
    const uint64_t base = (pcr / 300) & 0x1FFFFFFFFull;
    const uint64_t extension = pcr % 300;
    out.push_back(static_cast<uint8_t>(base >> 25));
    out.push_back(static_cast<uint8_t>(base >> 17));
    out.push_back(static_cast<uint8_t>(base >> 9));
    out.push_back(static_cast<uint8_t>(base >> 1));
    out.push_back(static_cast<uint8_t>(((base & 1) << 7) | 0x7E | (extension >> 8)));
    out.push_back(static_cast<uint8_t>(extension));
    out.insert(out.end(), kPacketSize - 12, 0xFF);
}

void TsPacketizer::AppendNull(std::vector<uint8_t>& out) {
    Header(out, 0x1FFF, false, 0x1, 0);
    out.insert(out.end(), kPayloadSize, 0xFF);
}

bool ReadPcr(const uint8_t* packet, uint64_t* pcr) {
    if (packet[0] != 0x47 || !(packet[3] & 0x20)) return false;
    const unsigned length = packet[4];
    if (length < 7 || length > 183 || !(packet[5] & 0x10)) return false;
    const uint8_t* p = packet + 6;
    const uint64_t base = (uint64_t{p[0]} << 25) | (uint64_t{p[1]} << 17) | (uint64_t{p[2]} << 9) |
                          (uint64_t{p[3]} << 1) | (p[4] >> 7);
    const uint64_t extension = (uint64_t{p[4] & 0x01u} << 8) | p[5];
    *pcr = base * 300 + extension;
    return true;
}

}  // namespace cardlib
