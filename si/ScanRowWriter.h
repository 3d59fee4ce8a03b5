#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "broadcast/StreamKinds.h"

namespace si {
// The scan lists' own units, reached from a descriptor's here and nowhere
// else: frequencies in 10 Hz, symbol rates in 1000 symbols/s rounded half up.
inline uint32_t ScanListFrequency(uint64_t hz) { return static_cast<uint32_t>(hz / 10); }
inline uint32_t ScanListSymbolRate(uint32_t symbolsPerSecond) {
    return static_cast<uint32_t>((uint64_t{symbolsPerSecond} + 500) / 1000);
}
}  // namespace si

// The scan window's row writers: the table decoders hand every row they find
// to the window attached to their socket through these calls, and only while
// one is attached. Numbers are passed wide; the window keeps the bits it
// documents (16-bit ids, 8-bit codes). Names are the descriptor's raw bytes.
class ScanRowWriter {
public:
    virtual ~ScanRowWriter() = default;

    // NIT: one call per transport loop entry. Frequency in 10 Hz units, symbol
    // rate in 1000 symbols/s; all four delivery values 0 without a cable
    // delivery system descriptor.
    virtual void AddTransport(uint32_t transportStreamId, uint32_t originalNetworkId, uint32_t frequency,
                              uint32_t symbolRate, uint32_t modulation, uint32_t fecInner) = 0;
    // SDT: once per section.
    virtual void SetTransportSdtVersion(uint32_t transportStreamId, uint32_t originalNetworkId,
                                        uint32_t versionNumber) = 0;
    // SDT: per service; `nvodReferenceServiceId` is 0 for a service's own row.
    virtual void AddServiceDetails(uint32_t transportStreamId, uint32_t originalNetworkId, uint32_t serviceId,
                                   uint32_t serviceType, const std::string& serviceName,
                                   const std::string& providerName, const std::vector<uint16_t>& caSystemIds,
                                   uint32_t nvodReferenceServiceId) = 0;
    // SDT: per time-shifted service.
    virtual void SetServiceNvodReference(uint32_t transportStreamId, uint32_t originalNetworkId, uint32_t serviceId,
                                         uint32_t referenceServiceId) = 0;
    // PAT: once per program loop entry, program number 0 included.
    virtual void AddPatEntry(int transportStreamId, int programNumber, int pid) = 0;
    // PMT: once per elementary stream; component tag 0 without a stream
    // identifier descriptor. `kind`: what the stream carries, by its type and
    // descriptors.
    virtual void AddPmtStream(int programNumber, int pcrPid, int elementaryPid, unsigned char streamType,
                              unsigned char componentTag, si::StreamKind kind) = 0;
    // PMT: PES private data that carries sound, and the tag of the
    // descriptor that says so (AC-3, E-AC-3, DTS, AAC), after its AddPmtStream.
    virtual void SetPmtStreamAudioDescriptor(int programNumber, int elementaryPid, unsigned char descriptorTag) {
        (void)programNumber, (void)elementaryPid, (void)descriptorTag;
    }
    // NIT: the operator's channel number of a service, once per service of
    // each logical channel descriptor.
    virtual void SetServiceChannelNumber(uint32_t originalNetworkId, uint32_t transportStreamId, uint32_t serviceId,
                                         uint32_t channelNumber) {
        (void)originalNetworkId, (void)transportStreamId, (void)serviceId, (void)channelNumber;
    }
    // NIT, actual or other, of any network on the PID: one call per section.
    // `name` in its DVB character table; `transports`: the section's entries.
    virtual void SeeNetwork(uint16_t networkId, bool actual, const std::string& name, uint8_t sectionNumber,
                            uint8_t lastSectionNumber, size_t transports) {
        (void)networkId, (void)actual, (void)name, (void)sectionNumber, (void)lastSectionNumber, (void)transports;
    }
};
