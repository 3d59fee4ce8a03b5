#include "si/EitSectionTracker.h"

#include <cstdio>

namespace si {

EitSectionTracker::EitSectionTracker(uint8_t tableId, uint16_t transportStreamId, uint16_t serviceId,
                                     uint8_t versionNumber, int currentNext)
    : m_TableId(tableId),
      m_TransportStreamId(transportStreamId),
      m_ServiceId(serviceId),
      m_VersionNumber(versionNumber),
      m_CurrentNext(currentNext) {
    m_SegmentEnds.fill(-1);
}

EitSectionTracker::~EitSectionTracker() = default;

void EitSectionTracker::MarkSection(int sectionNumber, int segmentLastSectionNumber, int lastSectionNumber) {
    const unsigned n = static_cast<uint8_t>(sectionNumber);
    const int s = static_cast<uint8_t>(segmentLastSectionNumber);
    const int l = static_cast<uint8_t>(lastSectionNumber);
    m_Received[n] = 1;
    m_SegmentEnds[n / 8] = s;
    if (l > m_HighestLastSection) m_HighestLastSection = l;
}

int EitSectionTracker::IsComplete() {
    if (m_HighestLastSection == -1) return 0;
    if (m_Complete == 1) return 1;
    for (int k = 0; k <= m_HighestLastSection / 8; ++k) {
        if (m_SegmentEnds[k] == -1) return 0;
        for (int j = 0; j <= m_SegmentEnds[k] % 8; ++j) {
            if (m_Received[8 * k + j] == 0) return 0;
        }
    }
    m_Complete = 1;
    return 1;
}

std::string EitSectionTracker::Key(unsigned tableId, unsigned transportStreamId, unsigned serviceId,
                                   unsigned versionNumber, unsigned currentNext) {
    char key[64];
    std::snprintf(key, sizeof key, "%02X %5u %5u %3u %1u", tableId, transportStreamId, serviceId, versionNumber,
                  currentNext);
    return key;
}

}  // namespace si
