// A cable network described as data. The simulated backend and the
// transport-stream writer build everything from a description (its sections in
// SimSections.h, their repetition in BroadcastSchedule.h); tests derive their
// expected results from the same one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "simnet/SiWriter.h"
#include "broadcast/SiTags.h"
#include "broadcast/StreamKinds.h"

namespace cardlib {

// EN 300 468 6.2.13.1, table 38: modulation of the cable delivery system descriptor.
enum class Modulation : uint8_t { Qam16 = 0x01, Qam32 = 0x02, Qam64 = 0x03, Qam128 = 0x04, Qam256 = 0x05 };

// EN 300 468 table 87 service_type values used here.
namespace service_type {
constexpr uint8_t kTelevision = 0x01;
constexpr uint8_t kRadio = 0x02;
constexpr uint8_t kNvodReference = 0x04;
constexpr uint8_t kNvodTimeShifted = 0x05;
constexpr uint8_t kDataBroadcast = 0x0C;
constexpr uint8_t kAvcSdTelevision = 0x16;
constexpr uint8_t kHdTelevision = 0x19;
constexpr uint8_t kHevcTelevision = 0x1F;
}  // namespace service_type

// How the NIT entry of a transport numbers its services: EACEM's logical
// channel descriptor under its private data specifier, the same without the
// specifier (as some operators send it), NorDig's version 1 or version 2.
enum class ChannelNumberForm { None, Eacem, EacemUnmarked, NordigV1, NordigV2 };

using si::StreamKind;

struct SimStream {
    StreamKind kind = StreamKind::Video;
    uint8_t streamType = 0x02;  // ISO/IEC 13818-1 table 2-34
    uint16_t pid = 0;
    uint8_t componentTag = 0;   // stream identifier descriptor; 0: none
    std::string language;       // ISO 639-2 code for audio, teletext and subtitles; empty: none
    // Sound in a PES private stream (stream_type 0x06): the AC-3 (0x6A),
    // E-AC-3 (0x7A) or AAC (0x7C) descriptor that says so; 0: none.
    uint8_t audioDescriptor = 0;
};

struct SimNvodRef {
    uint16_t transportStreamId = 0, originalNetworkId = 0, serviceId = 0;
};

struct SimService {
    uint16_t serviceId = 0;
    uint8_t serviceType = service_type::kTelevision;
    // Names as broadcast: an optional character-table byte first (0x05 selects
    // ISO/IEC 8859-9) and emphasis control codes 0x86/0x87 may be in them.
    std::string name;
    std::string provider;
    std::vector<uint16_t> caSystemIds;  // CA identifier descriptor in the SDT, CA descriptors in the PMT
    uint16_t pmtPid = 0;                // 0: no components, not in the PAT (an NVOD reference service)
    uint16_t pcrPid = 0x1FFF;
    std::vector<SimStream> streams;
    std::vector<SimNvodRef> nvodReferences;  // an NVOD reference service: its time-shifted services
    uint16_t referenceServiceId = 0;         // a time-shifted service: its reference service
    // Goes on air with its transport's update: the PAT and the SDT list it from
    // then on, under new versions. Its PMT is there from the start.
    bool addedByUpdate = false;
    // The operator's number for it in the NIT; 0: none.
    uint16_t channelNumber = 0;
};

struct SimTransport {
    uint32_t frequencyKHz = 0;
    uint32_t symbolRate = 6900000;  // symbols/s
    Modulation modulation = Modulation::Qam64;
    uint8_t fecInner = 0x0F;  // EN 300 468 table 35: 0xF = no convolutional coding
    uint8_t fecOuter = 0x02;  // table 34: RS(204/188)
    uint16_t transportStreamId = 0;
    uint16_t originalNetworkId = 0;
    bool locks = true;        // false: listed in the NIT, but the tuner never finds a signal
    uint8_t sdtVersion = 0;  // before the update, if the transport has one; one more after
    uint8_t patVersion = 0;
    size_t servicesPerSdtSection = 0;  // 0: as many as fit a section
    ChannelNumberForm channelNumbers = ChannelNumberForm::None;
    std::vector<SimService> services;

    bool HasUpdate() const;
};

// A bouquet: a BAT naming transports of the network (indices into its transports).
struct SimBouquet {
    uint16_t bouquetId = 0;
    std::string name;
    std::vector<size_t> transports;
};

struct SimTiming {
    int64_t lockMinMs = 500, lockMaxMs = 1000;  // tuning to a transport that locks takes this long
    int64_t patIntervalMs = 100;                // PAT and every PMT
    int64_t sdtIntervalMs = 2000;
    int64_t nitIntervalMs = 5000;
    int64_t eitIntervalMs = 2000;    // EIT present/following of every service
    int64_t otherIntervalMs = 10000;  // NIT other, SDT other, BAT
    int64_t timeIntervalMs = 10000;   // TDT and TOT
};

struct SimNetwork {
    uint16_t networkId = 0;
    std::string networkName;
    uint8_t nitVersion = 0;
    size_t homeTransport = 0;  // the transport the front end is tuned to at start
    size_t transportsPerNitSection = 0;  // 0: as many as fit a section
    SimTiming timing;
    std::vector<SimTransport> transports;
    // The transports its NIT lists (indices); empty: all of them. The others
    // are on the cable all the same, listed by a neighbour's NIT.
    std::vector<size_t> nitTransports;
    // Other networks whose NIT and SDTs (table ids "other") share our PIDs.
    std::vector<SimNetwork> neighbours;
    std::vector<SimBouquet> bouquets;

    const SimTransport* FindTransport(uint32_t frequencyKHz) const;
};

// The built-in network: 11 transports in its NIT on the 8 MHz raster from
// 346 MHz, 71 services with all the oddities of a real cable network, a
// neighbouring network's tables and two bouquets on the shared PIDs, and a
// twelfth transport at 466 MHz and 6111 ksym/s that the NIT does not list.
const SimNetwork& DefaultNetwork();
// The operator's next line-up of DefaultNetwork() (SimLineUps.cpp): the NIT
// one version on, "Sternenpfad" gone from 354 MHz, "Hafenblick Zwei" moved
// from 354 to 346 MHz, and 386 MHz listed but no longer locking. A list
// scanned from the first, scanned again from this one, meets a re-shuffle.
const SimNetwork& DefaultNetworkNext();
// 50 transports and 500 services, for benchmarks.
const SimNetwork& LargeNetwork();
// An operator's cable of today: H.264, HEVC, AAC, AC-3 and E-AC-3 services
// with teletext and DVB subtitles on four transports. The home transport
// carries a small free-to-air network's NIT actual (two transports, channel
// numbers without a private data specifier) and the operator's full network
// as a NIT other (all four transports, NorDig channel numbers).
const SimNetwork& OperatorNetwork();
// The full network of OperatorNetwork(), as its NIT other describes it.
const SimNetwork& OperatorFullNetwork();

}  // namespace cardlib
