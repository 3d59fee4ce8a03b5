#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "framework/ObjectMap.h"

namespace si {

// Which sections of one EIT sub-table (one table id, transport, service,
// version and current/next value) have arrived. The event store owns the
// trackers and deletes them through fw::Object.
class EitSectionTracker : public fw::Object {
public:
    EitSectionTracker(uint8_t tableId, uint16_t transportStreamId, uint16_t serviceId, uint8_t versionNumber,
                      int currentNext);
    ~EitSectionTracker() override;

    // Records one section; all three arguments are taken as 8-bit values.
    void MarkSection(int sectionNumber, int segmentLastSectionNumber, int lastSectionNumber);
    // 1 once every segment up to the one holding the highest announced
    // section has been seen, each with all its sections up to its announced
    // last one; else 0. Stays 1 once it was 1.
    int IsComplete();

    // The event store's key: "%02X %5u %5u %3u %1u" of table id, transport
    // stream id, service id, version number and current/next indicator.
    static std::string Key(unsigned tableId, unsigned transportStreamId, unsigned serviceId, unsigned versionNumber,
                           unsigned currentNext);

    uint8_t TableId() const { return m_TableId; }
    uint16_t TransportStreamId() const { return m_TransportStreamId; }
    uint16_t ServiceId() const { return m_ServiceId; }
    uint8_t VersionNumber() const { return m_VersionNumber; }
    int CurrentNext() const { return m_CurrentNext; }

private:
    uint8_t m_TableId;
    uint16_t m_TransportStreamId;
    uint16_t m_ServiceId;
    uint8_t m_VersionNumber;
    int32_t m_CurrentNext;
    int32_t m_HighestLastSection = -1;
    // EN 300 468 5.2.4: schedule sections come in segments of eight, each
    // announcing its own last section (segment_last_section_number).
    std::array<int32_t, 32> m_SegmentEnds;
    std::array<uint32_t, 256> m_Received{};
    uint32_t m_Complete = 0;
};

}  // namespace si
