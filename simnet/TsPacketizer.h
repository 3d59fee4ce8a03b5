// Puts sections into transport-stream packets the way a multiplexer does.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace cardlib {

class TsPacketizer {
public:
    // Appends packets carrying `sections` back to back on `pid`: a packet in
    // which a section begins has payload_unit_start set and its pointer_field,
    // so several short sections share a packet and long ones span packets;
    // the last packet is filled up with 0xFF. Continuity counters run on per PID.
    void Packetize(uint16_t pid, const std::vector<std::vector<uint8_t>>& sections, std::vector<uint8_t>& out);
    // Appends a packet with only an adaptation field carrying `pcr` (27 MHz units).
    void AppendPcr(uint16_t pid, uint64_t pcr, std::vector<uint8_t>& out) const;
    static void AppendNull(std::vector<uint8_t>& out);

private:
    uint8_t NextCc(uint16_t pid) { return static_cast<uint8_t>(m_Cc[pid & 0x1FFF]++ & 0x0F); }
    std::array<uint8_t, 8192> m_Cc{};
};

// Reads the PCR of a packet; false when it carries none.
bool ReadPcr(const uint8_t* packet, uint64_t* pcr);

}  // namespace cardlib
