// A cable network described as data, and the sections it broadcasts. The
// simulated backend and the transport-stream writer build everything from a
// description; tests derive their expected results from the same one.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "cardlib/SiWriter.h"
#include "si/SiTags.h"

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
constexpr uint8_t kHdTelevision = 0x19;
}  // namespace service_type

enum class StreamKind { Video, Audio, Teletext, Subtitles, Data };

struct SimStream {
    StreamKind kind = StreamKind::Video;
    uint8_t streamType = 0x02;  // ISO/IEC 13818-1 table 2-34
    uint16_t pid = 0;
    uint8_t componentTag = 0;   // stream identifier descriptor; 0: none
    std::string language;       // ISO 639-2 code for audio, teletext and subtitles; empty: none
    bool ac3 = false;           // AC-3 audio in a PES private stream (stream_type 0x06)
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
    // Other networks whose NIT and SDTs (table ids "other") share our PIDs.
    std::vector<SimNetwork> neighbours;
    std::vector<SimBouquet> bouquets;

    const SimTransport* FindTransport(uint32_t frequencyKHz) const;
};

// The built-in network: 11 transports on the 8 MHz raster from 346 MHz,
// 71 services with all the oddities of a real cable network, and a
// neighbouring network's tables and two bouquets on the shared PIDs.
const SimNetwork& DefaultNetwork();
// 50 transports and 500 services, for benchmarks.
const SimNetwork& LargeNetwork();

// The tables, section by section, each with its CRC. `updated`: as the
// transport sends them after its update (the same either way without one).
std::vector<Section> BuildPat(const SimTransport& transport, bool updated = true);
Section BuildPmt(const SimService& service);
// `tableId`: SDT actual, or SDT other for a transport of another network.
std::vector<Section> BuildSdt(const SimTransport& transport, bool updated = true,
                              uint8_t tableId = si::table::kSdtActual);
// `tableId`: NIT actual, or NIT other for a neighbouring network.
std::vector<Section> BuildNit(const SimNetwork& network, uint8_t tableId = si::table::kNitActual);
std::vector<Section> BuildBat(const SimNetwork& network, const SimBouquet& bouquet);
// Present (section 0) and following (section 1) event of `service` at `utcMs`:
// programmes run on the full hour.
std::vector<Section> BuildEitPresentFollowing(const SimTransport& transport, const SimService& service,
                                              int64_t utcMs);
Section BuildTdt(int64_t utcMs);
Section BuildTot(int64_t utcMs);

// Sections sent together on one PID, repeated at an interval, on air from
// `fromMs` until before `untilMs` after lock. A table's sections are spread
// over its interval, so a receiver may meet any of them first.
struct SimTable {
    uint16_t pid = 0;
    int64_t intervalMs = 0;
    int64_t phaseMs = 0;  // first emission this long after lock, below the interval
    std::vector<Section> sections;
    int64_t fromMs = 0;
    int64_t untilMs = std::numeric_limits<int64_t>::max();
    // Tables that tell the time (TDT, TOT, EIT present/following) are written
    // when they go out, from the UTC time then.
    std::function<std::vector<Section>(int64_t utcMs)> atTime;

    std::vector<Section> SectionsAt(int64_t utcMs) const { return atTime ? atTime(utcMs) : sections; }
};
// When the transport's update goes on air, after its first lock: just after
// the first SDT section, so a receiver that collects the SDT from lock on sees
// its version change half way. -1 without an update.
int64_t UpdateAfterMs(const SimNetwork& network, const SimTransport& transport);
// Everything a transport broadcasts, with its repetition. `updateAfterMs`:
// when its update goes on air after this lock (0: it is on air already);
// by default UpdateAfterMs.
std::vector<SimTable> TransportTables(const SimNetwork& network, const SimTransport& transport,
                                      std::optional<int64_t> updateAfterMs = std::nullopt);
// How long tuning to `transport` takes to lock.
int64_t LockDelayMs(const SimNetwork& network, const SimTransport& transport);

}  // namespace cardlib
