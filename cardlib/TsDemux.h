// Cuts sections out of a transport stream, for the PIDs somebody asked for.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace cardlib {

class SectionHandler {
public:
    virtual ~SectionHandler() = default;
    // One complete section, table id first, `size` = 3 + section_length. The
    // handler must not change the demux's PIDs while it runs.
    virtual void OnSection(uint16_t pid, const uint8_t* data, size_t size) = 0;
};

// ISO/IEC 13818-1 section reassembly over 188-byte packets. Bytes arrive in
// any chunking; lost sync, truncated packets, wrong lengths and garbage are
// survived by dropping what they touch and resynchronising at the next sync
// byte. A delivered section is always complete: exactly the bytes its header
// announces, all from one unbroken run of packets.
class TsDemux {
public:
    static constexpr size_t kPacketSize = 188;
    static constexpr uint8_t kSyncByte = 0x47;
    // ISO/IEC 13818-1 2.4.4.11 and EN 300 468: no section is longer than this.
    static constexpr size_t kMaxSectionSize = 4096;

    struct Counters {
        uint64_t packets = 0;            // complete packets seen on any PID
        uint64_t syncLosses = 0;         // times the packet boundary was lost
        uint64_t continuityErrors = 0;   // on wanted PIDs
        uint64_t transportErrors = 0;    // transport_error_indicator, on wanted PIDs
        uint64_t sectionsDelivered = 0;
        uint64_t sectionsDropped = 0;    // begun but broken off
    };

    explicit TsDemux(SectionHandler& handler);
    ~TsDemux();
    TsDemux(const TsDemux&) = delete;
    TsDemux& operator=(const TsDemux&) = delete;

    // Only wanted PIDs are reassembled; unwanting one drops its section in progress.
    void SetWanted(uint16_t pid, bool wanted);
    bool Wants(uint16_t pid) const { return pid < kPidCount && m_Index[pid] != 0; }

    // While searching for sync, a packet counts only once the sync byte of
    // the next one confirms it; in sync, packets are taken as they come and
    // a missing sync byte after one discards it.
    void Feed(const uint8_t* data, size_t size);
    // The bytes fed so far end on a packet boundary (a source that hands over
    // whole packets says so): a packet still waiting for confirmation counts.
    void Flush();
    // A new stream (retuning): the partial packet and every section in
    // progress go; the wanted PIDs stay.
    void Reset();

    const Counters& Stats() const { return m_Counters; }

private:
    static constexpr size_t kPidCount = 8192;
    struct PidState;

    void ProcessPacket(const uint8_t* packet);
    void StartSections(PidState& state, const uint8_t* data, size_t size);
    size_t Append(PidState& state, const uint8_t* data, size_t size);
    void Drop(PidState& state);
    void LoseSync();

    SectionHandler& m_Handler;
    // PID -> 1 + position in m_States, 0 when not wanted.
    std::array<uint16_t, kPidCount> m_Index{};
    std::vector<std::unique_ptr<PidState>> m_States;
    std::array<uint8_t, kPacketSize> m_Carry{};
    size_t m_CarrySize = 0;
    bool m_InSync = false;
    Counters m_Counters;
};

}  // namespace cardlib
