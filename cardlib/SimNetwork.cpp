#include "cardlib/SimNetwork.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>

namespace cardlib {

namespace {

namespace table = si::table;
namespace tag = si::descriptor;
namespace pid = si::pid;

constexpr int64_t kForever = std::numeric_limits<int64_t>::max();
// EN 300 468 5.1.4: SI sections are at most 1024 bytes; so are the PAT's here.
constexpr size_t kMaxSectionSize = 1024;

// A service's components in one letter each, so the network reads as a table:
// V MPEG-2 video, H H.264 video, A MPEG-1 audio, E second (English) audio,
// C AC-3 audio, T teletext, S DVB subtitles, D data, a audio without a
// component tag.
struct Row {
    uint16_t serviceId;
    uint8_t serviceType;
    const char* name;
    const char* provider;
    const char* components;
    std::vector<uint16_t> caSystemIds = {};
};

SimService MakeService(const Row& row, uint16_t pmtPid) {
    SimService s;
    s.serviceId = row.serviceId;
    s.serviceType = row.serviceType;
    s.name = row.name;
    s.provider = row.provider;
    s.caSystemIds = row.caSystemIds;
    if (*row.components == 0) return s;  // no components, no PMT
    s.pmtPid = pmtPid;
    uint16_t pid = static_cast<uint16_t>(pmtPid + 1);
    uint8_t audioTag = 2;
    for (const char* c = row.components; *c; ++c, ++pid) {
        SimStream st;
        switch (*c) {
        case 'V': st = {StreamKind::Video, 0x02, pid, 1, "", false}; break;
        case 'H': st = {StreamKind::Video, 0x1B, pid, 1, "", false}; break;
        case 'A': st = {StreamKind::Audio, 0x03, pid, audioTag++, "deu", false}; break;
        case 'E': st = {StreamKind::Audio, 0x04, pid, audioTag++, "eng", false}; break;
        case 'C': st = {StreamKind::Audio, 0x06, pid, audioTag++, "deu", true}; break;
        case 'a': st = {StreamKind::Audio, 0x04, pid, 0, "deu", false}; break;
        case 'T': st = {StreamKind::Teletext, 0x06, pid, 0x10, "deu", false}; break;
        case 'S': st = {StreamKind::Subtitles, 0x06, pid, 0x20, "deu", false}; break;
        case 'D': st = {StreamKind::Data, 0x05, pid, 0x30, "", false}; break;
        default: continue;
        }
        s.streams.push_back(st);
    }
    // The clock rides on the picture, or on the sound where there is none.
    for (const SimStream& st : s.streams)
        if (st.kind == StreamKind::Video) s.pcrPid = st.pid;
    if (s.pcrPid == 0x1FFF)
        for (const SimStream& st : s.streams)
            if (st.kind == StreamKind::Audio && s.pcrPid == 0x1FFF) s.pcrPid = st.pid;
    return s;
}

SimTransport MakeTransport(uint32_t kHz, Modulation modulation, uint16_t tsid, uint16_t onid,
                           const std::vector<Row>& rows, bool locks = true) {
    SimTransport t;
    t.frequencyKHz = kHz;
    t.modulation = modulation;
    t.transportStreamId = tsid;
    t.originalNetworkId = onid;
    t.locks = locks;
    uint16_t pmtPid = 0x0100;
    for (const Row& row : rows) {
        t.services.push_back(MakeService(row, pmtPid));
        pmtPid = static_cast<uint16_t>(pmtPid + 0x10);
    }
    return t;
}

SimService& ServiceOf(SimTransport& t, uint16_t serviceId) {
    return *std::find_if(t.services.begin(), t.services.end(),
                         [&](const SimService& s) { return s.serviceId == serviceId; });
}

// Two programs in one PMT PID, each in a section of its own program_number;
// the second keeps its own stream PIDs.
void SharePmtPid(SimTransport& t, uint16_t serviceId, uint16_t withServiceId) {
    ServiceOf(t, serviceId).pmtPid = ServiceOf(t, withServiceId).pmtPid;
}

void LinkNvod(SimTransport& t, uint16_t referenceId, std::vector<uint16_t> shifted) {
    for (SimService& s : t.services) {
        if (s.serviceId == referenceId)
            for (uint16_t id : shifted) s.nvodReferences.push_back({t.transportStreamId, t.originalNetworkId, id});
        if (std::find(shifted.begin(), shifted.end(), s.serviceId) != shifted.end()) s.referenceServiceId = referenceId;
    }
}

using namespace service_type;
constexpr uint16_t kOnid = 0x6F10;
constexpr uint16_t kNeighbourOnid = 0x6F11;
const std::vector<uint16_t> kPayCa = {0x1702, 0x1722, 0x0B00};

// The network next door, whose NIT and SDTs come in as "other" tables: its
// transports (one of them fed into ours as `fedIn`) sit on frequencies our
// cable does not carry, and reuse our transport and service ids.
SimNetwork BuildNeighbourNetwork(const SimTransport& fedIn) {
    SimNetwork n;
    n.networkId = kNeighbourOnid;
    n.networkName = "Grenzland Kabel";
    n.transports = {
        MakeTransport(506000, Modulation::Qam256, 2, kNeighbourOnid,
                      {{46, kTelevision, "Grenzland Nachbar", "Grenzland Rundfunk", "VA"},
                       {201, kTelevision, "Grenzland Regional", "Grenzland Rundfunk", "VAT"},
                       {202, kRadio, "Grenzland Welle", "Grenzland Rundfunk", "A"}}),
        fedIn,
    };
    n.transports[1].frequencyKHz = 514000;
    return n;
}

SimNetwork BuildDefaultNetwork() {
    SimNetwork n;
    n.networkId = kOnid;
    n.networkName = "Lindwurm Kabel";
    n.homeTransport = 0;
    // Character table 0x05 (ISO/IEC 8859-9): 0xFC is u-umlaut, 0xF6 o-umlaut, 0xE4 a-umlaut, 0xDC U-umlaut.
    n.transports = {
        MakeTransport(346000, Modulation::Qam64, 1, kOnid,
                      {{46, kTelevision, "Kanal Elf", "Sendergruppe Nordlicht", "VAET"},
                       {47, kTelevision, "Kanal Elf Regional", "Sendergruppe Nordlicht", "VAT"},
                       {52, kTelevision, "\x05" "Fl\xFCsterfunk TV", "\x05" "Fl\xFCsterfunk", "VAT"},
                       {53, kTelevision, "Kanal Elf Info", "Sendergruppe Nordlicht", "VAT"},
                       {101, kTelevision, "\x86Rheinwelle\x87 TV", "Rheintal Medien", "VAETS"},
                       {102, kTelevision, "Rheinwelle Plus", "Rheintal Medien", "VA"},
                       {103, kTelevision, "Kiefernwald TV", "Kiefernwald", "VAT"}}),
        MakeTransport(354000, Modulation::Qam64, 2, kOnid,
                      {{201, kTelevision, "Hafenblick TV", "Hafenfunk", "VAT"},
                       {202, kTelevision, "Hafenblick Zwei", "Hafenfunk", "VA"},
                       {203, kTelevision, "\x05S\xFC" "dwind Fernsehen", "\x05Programmhaus S\xFC" "d", "VAETS"},
                       {204, kTelevision, "Sternenpfad", "Sternenpfad Medien", "VA"},
                       {205, kTelevision, "Kinderinsel", "Hafenfunk", "VAT"},
                       {206, kTelevision, "Wetterwarte 24", "Lindwurm Kabel", "VA"},
                       {207, kTelevision, "Teleshop Aurora", "Aurora Handel", "VA"},
                       {208, kTelevision, "Hafenblick Drei", "Hafenfunk", "VAT"}}),
        MakeTransport(362000, Modulation::Qam64, 3, kOnid,
                      {{301, kTelevision, "Bergsee TV", "Bergsee Medien", "VAT"},
                       {302, kTelevision, "Doku Horizont", "Horizont Gruppe", "VAET"},
                       {303, kTelevision, "Sportarena Eins", "Sportarena", "VACT"},
                       {304, kTelevision, "Musikwerk", "Horizont Gruppe", "VA"},
                       {305, kTelevision, "Nachrichten Punkt", "Horizont Gruppe", "VAT"},
                       {306, kDataBroadcast, "Lindwurm Programmdaten", "Lindwurm Kabel", "D"},
                       {307, kDataBroadcast, "Software Kanal", "Lindwurm Kabel", "D"}}),
        MakeTransport(370000, Modulation::Qam64, 4, kOnid,
                      {{401, kTelevision, "Filmpalast Classic", "Filmpalast", "VA"},
                       {402, kTelevision, "Serienkiste", "Filmpalast", "VAT"},
                       {403, kTelevision, "\x05Gr\xFCnland TV", "\x05Gr\xFCnland Medien", "VAT"},
                       {404, kTelevision, "Reiseweg", "Reiseweg Medien", "VA"},
                       {405, kTelevision, "Kochstudio Zwei", "Sendergruppe Nordlicht", "VA"},
                       {406, kTelevision, "Landluft TV", "Landluft", "VAT"},
                       {407, kTelevision, "", "Lindwurm Kabel", "VA"}}),
        MakeTransport(378000, Modulation::Qam256, 5, kOnid,
                      {{501, kHdTelevision, "Kanal Elf HD", "Sendergruppe Nordlicht", "HACT"},
                       {502, kHdTelevision, "Rheinwelle HD", "Rheintal Medien", "HAC"},
                       {503, kHdTelevision, "Hafenblick HD", "Hafenfunk", "HAT"},
                       {504, kHdTelevision, "Sportarena HD", "Sportarena", "HACT"},
                       {505, kHdTelevision, "Doku Horizont HD", "Horizont Gruppe", "HAES"},
                       {506, kHdTelevision, "\x05" "Fl\xFCsterfunk HD", "\x05" "Fl\xFCsterfunk", "HA"}}),
        MakeTransport(386000, Modulation::Qam256, 6, kOnid,
                      {{601, kTelevision, "Markt und Meer", "Nordsee Medien", "VA"},
                       {602, kTelevision, "Zeitreise TV", "Horizont Gruppe", "VAT"},
                       {603, kTelevision, "Tierwelt Kanal", "Horizont Gruppe", "VA"},
                       {604, kTelevision, "Gartenfreund TV", "Landluft", "VA"},
                       {605, kTelevision, "Kulturforum", "Kulturforum", "VAET"},
                       {606, kTelevision, "Parlament Direkt", "Parlamentsfunk", "VAT"}}),
        // A neighbouring network's multiplex fed into this one: the same
        // transport_stream_id as the one above under another original_network_id,
        // and program 101 again, in another PMT PID than at 346 MHz.
        MakeTransport(394000, Modulation::Qam256, 6, kNeighbourOnid,
                      {{101, kTelevision, "Grenzland Eins", "Grenzland Rundfunk", "VAT"},
                       {652, kTelevision, "Grenzland Zwei", "Grenzland Rundfunk", "VA"},
                       {653, kRadio, "Grenzland Radio", "Grenzland Rundfunk", "a"},
                       {654, kTelevision, "Grenzland Info", "Grenzland Rundfunk", "VA"},
                       {655, kTelevision, "\x05Grenzland K\xFCnste", "Grenzland Rundfunk", "VAE"}}),
        MakeTransport(402000, Modulation::Qam256, 8, kOnid,
                      {{801, kNvodReference, "Kinowelt Abruf", "Kinowelt", ""},
                       {811, kNvodTimeShifted, "", "", "VA"},
                       {812, kNvodTimeShifted, "", "", "VA"},
                       {813, kNvodTimeShifted, "", "", "VA"},
                       {814, kNvodTimeShifted, "", "", "VA"},
                       {898, kTelevision, "Kinowelt Info", "Kinowelt", "VA"},
                       {899, kTelevision, "Kinowelt Vorschau", "Kinowelt", "VA"}}),
        MakeTransport(410000, Modulation::Qam256, 9, kOnid,
                      {{901, kRadio, "Radio Lindwurm", "Lindwurm Kabel", "A"},
                       {902, kRadio, "Welle Nord", "Sendergruppe Nordlicht", "A"},
                       {903, kRadio, "Klassikwelle", "Horizont Gruppe", "A"},
                       {904, kRadio, "Jazzkeller Radio", "Jazzkeller", "a"},
                       {905, kRadio, "\x05H\xF6rfunk S\xFC" "d", "\x05Programmhaus S\xFC" "d", "A"},
                       {906, kRadio, "Schlagerhafen", "Hafenfunk", "A"},
                       {907, kRadio, "Rockstation 88", "Rockstation", "a"},
                       {908, kRadio, "Kinderfunk", "Hafenfunk", "A"},
                       {909, kRadio, "Nachrichtenradio", "Horizont Gruppe", "A"},
                       {910, kRadio, "\x86Welle\x87 Drei", "Rheintal Medien", "A"}}),
        MakeTransport(434000, Modulation::Qam256, 10, kOnid,
                      {{1001, kTelevision, "Premiumfilm Eins", "Premium Fernsehen", "VACS", kPayCa},
                       {1002, kTelevision, "Premiumfilm Zwei", "Premium Fernsehen", "VAC", kPayCa},
                       {1003, kTelevision, "Sportarena Plus", "Sportarena", "VAC", {0x1702}},
                       {1004, kTelevision, "Serienwelt Premium", "Premium Fernsehen", "VAE", kPayCa},
                       {1005, kTelevision, "Dokuwelt Premium", "Premium Fernsehen", "VA", {0x0B00, 0x0B00}},
                       {1006, kRadio, "Premium Musik", "Premium Fernsehen", "A", {0x1722}}}),
        MakeTransport(450000, Modulation::Qam64, 11, kOnid,
                      {{1101, kTelevision, "Testbild Nord", "Lindwurm Kabel", "VA"},
                       {1102, kTelevision, "Testkanal", "Lindwurm Kabel", "VA"}},
                      /*locks=*/false),
    };
    LinkNvod(n.transports[7], 801, {811, 812, 813, 814});
    SharePmtPid(n.transports[8], 902, 901);
    // A big operator's NIT: two sections, and at 354 MHz an SDT of two that
    // gets a new service while the transport is being read.
    n.transportsPerNitSection = 6;
    n.transports[1].servicesPerSdtSection = 4;
    ServiceOf(n.transports[1], 208).addedByUpdate = true;
    n.neighbours.push_back(BuildNeighbourNetwork(n.transports[6]));
    n.bouquets = {{0x5001, "Lindwurm Basis", {0, 1, 2, 3, 5, 8}}, {0x5002, "Lindwurm Premium", {4, 9}}};
    return n;
}

SimNetwork BuildLargeNetwork() {
    static const char* const kWords[] = {"Nord", "Sued", "West", "Ost", "Mitte", "Hafen", "Berg", "Tal", "See", "Wald"};
    SimNetwork n;
    n.networkId = 0x6F20;
    n.networkName = "Lindwurm Kabel Gross";
    for (unsigned t = 0; t < 50; ++t) {
        std::vector<std::string> names(10), providers(10);
        std::vector<Row> rows;
        for (unsigned i = 0; i < 10; ++i) {
            const unsigned number = t * 10 + i + 1;
            char name[48];
            std::snprintf(name, sizeof name, "%s %s %u", i == 9 ? "Radio" : "Kanal", kWords[(t + i) % 10], number);
            names[i] = name;
            providers[i] = std::string("Anbieter ") + kWords[t % 10];
        }
        for (unsigned i = 0; i < 10; ++i) {
            const uint16_t id = static_cast<uint16_t>(1000 + t * 10 + i);
            Row row{id, i == 9 ? kRadio : (i == 8 ? kHdTelevision : kTelevision), names[i].c_str(),
                    providers[i].c_str(), i == 9 ? "A" : (i == 8 ? "HACT" : "VAT")};
            if (t % 5 == 4 && i < 6) row.caSystemIds = kPayCa;
            rows.push_back(row);
        }
        n.transports.push_back(MakeTransport(306000 + 8000 * t, t % 3 == 0 ? Modulation::Qam64 : Modulation::Qam256,
                                             static_cast<uint16_t>(t + 1), n.networkId, rows));
    }
    return n;
}

std::vector<uint8_t> ServiceEntry(const SimService& s) {
    ByteWriter d;
    if (s.referenceServiceId != 0) {
        // EN 300 468 6.2.45: a time-shifted service names its reference service instead of itself.
        d.Append(Descriptor(tag::kTimeShiftedService, {static_cast<uint8_t>(s.referenceServiceId >> 8),
                                                       static_cast<uint8_t>(s.referenceServiceId)}));
    } else {
        ByteWriter body;
        body.U8(s.serviceType);
        body.U8(static_cast<uint8_t>(s.provider.size()));
        body.Append(s.provider);
        body.U8(static_cast<uint8_t>(s.name.size()));
        body.Append(s.name);
        d.Append(Descriptor(tag::kService, body.Bytes()));
    }
    if (!s.nvodReferences.empty()) {
        ByteWriter refs;
        for (const SimNvodRef& r : s.nvodReferences) refs.U16(r.transportStreamId), refs.U16(r.originalNetworkId), refs.U16(r.serviceId);
        d.Append(Descriptor(tag::kNvodReference, refs.Bytes()));
    }
    if (!s.caSystemIds.empty()) {
        ByteWriter ids;
        for (uint16_t id : s.caSystemIds) ids.U16(id);
        d.Append(Descriptor(tag::kCaIdentifier, ids.Bytes()));
    }
    ByteWriter e;
    e.U16(s.serviceId);
    // EIT_schedule_flag 0, EIT_present_following_flag 1 where there is a programme.
    e.U8(0xFC | (s.pmtPid != 0 ? 0x01 : 0x00));
    // running_status 4 (running), free_CA_mode, descriptors_loop_length.
    const unsigned upper = (4u << 1) | (s.caSystemIds.empty() ? 0u : 1u);
    const size_t length = e.OpenLength(upper);
    e.Append(d.Bytes());
    e.CloseLength(length);
    return e.Bytes();
}

bool OnAir(const SimService& s, bool updated) { return updated || !s.addedByUpdate; }

uint8_t Version(uint8_t base, const SimTransport& t, bool updated) {
    return static_cast<uint8_t>((base + (updated && t.HasUpdate() ? 1 : 0)) & 0x1F);
}

// The groups of a table's loop: at most `perSection` entries (0: no limit)
// and `room` bytes each.
std::vector<std::vector<std::vector<uint8_t>>> Sections(const std::vector<std::vector<uint8_t>>& entries, size_t room,
                                                        size_t perSection) {
    if (perSection == 0) return GroupEntries(entries, room);
    std::vector<std::vector<std::vector<uint8_t>>> groups;
    for (size_t at = 0; at < entries.size() || groups.empty(); at += perSection) {
        const std::vector<std::vector<uint8_t>> some(
            entries.begin() + static_cast<std::ptrdiff_t>(std::min(at, entries.size())),
            entries.begin() + static_cast<std::ptrdiff_t>(std::min(at + perSection, entries.size())));
        for (auto& group : GroupEntries(some, room)) groups.push_back(std::move(group));
    }
    return groups;
}

std::vector<uint8_t> ServiceListDescriptor(const SimTransport& t) {
    ByteWriter list;
    for (const SimService& s : t.services) list.U16(s.serviceId), list.U8(s.serviceType);
    return Descriptor(tag::kServiceList, list.Bytes());
}

// NIT and BAT share a layout: descriptors of the whole table, then a loop of
// transports with descriptors of their own (EN 300 468 5.2.1, 5.2.2).
std::vector<Section> NetworkLikeTable(uint8_t tableId, uint16_t id, uint8_t version, const std::vector<uint8_t>& nameDescriptor,
                                      const std::vector<std::vector<uint8_t>>& entries, size_t perSection) {
    const auto groups = Sections(entries, kMaxSectionSize - 12 - 4 - nameDescriptor.size(), perSection);
    std::vector<Section> sections;
    for (size_t i = 0; i < groups.size(); ++i) {
        ByteWriter body;
        size_t length = body.OpenLength();
        body.Append(nameDescriptor);
        body.CloseLength(length);
        length = body.OpenLength();
        for (const auto& e : groups[i]) body.Append(e);
        body.CloseLength(length);
        sections.push_back(LongSection(tableId, id, version, static_cast<uint8_t>(i),
                                       static_cast<uint8_t>(groups.size() - 1), body.Bytes()));
    }
    return sections;
}

std::vector<uint8_t> TransportEntry(const SimTransport& t, const std::vector<uint8_t>& descriptors) {
    ByteWriter e;
    e.U16(t.transportStreamId), e.U16(t.originalNetworkId);
    const size_t length = e.OpenLength();
    e.Append(descriptors);
    e.CloseLength(length);
    return e.Bytes();
}

std::vector<uint8_t> EventEntry(uint16_t eventId, int64_t startUtcMs, uint32_t durationSeconds, unsigned runningStatus,
                                const std::string& name, const std::string& text) {
    ByteWriter body;
    body.Append(std::string("deu"));
    body.U8(static_cast<uint8_t>(name.size()));
    body.Append(name);
    body.U8(static_cast<uint8_t>(text.size()));
    body.Append(text);
    ByteWriter e;
    e.U16(eventId);
    e.Append(MjdUtc(startUtcMs));
    for (uint32_t v : {durationSeconds / 3600, durationSeconds / 60 % 60, durationSeconds % 60}) e.Append(Bcd(v, 2));
    const size_t length = e.OpenLength(runningStatus << 1);  // free_CA_mode 0
    e.Append(Descriptor(tag::kShortEvent, body.Bytes()));
    e.CloseLength(length);
    return e.Bytes();
}

}  // namespace

bool SimTransport::HasUpdate() const {
    return std::any_of(services.begin(), services.end(), [](const SimService& s) { return s.addedByUpdate; });
}

const SimTransport* SimNetwork::FindTransport(uint32_t frequencyKHz) const {
    for (const SimTransport& t : transports)
        if (t.frequencyKHz == frequencyKHz) return &t;
    return nullptr;
}

const SimNetwork& DefaultNetwork() {
    static const SimNetwork network = BuildDefaultNetwork();
    return network;
}

const SimNetwork& LargeNetwork() {
    static const SimNetwork network = BuildLargeNetwork();
    return network;
}

std::vector<Section> BuildPat(const SimTransport& transport, bool updated) {
    std::vector<std::vector<uint8_t>> entries;
    ByteWriter nit;
    nit.U16(0), nit.U16(0xE000 | pid::kNit);  // program 0 names the network PID
    entries.push_back(nit.Bytes());
    std::map<uint16_t, uint16_t> programs;
    for (const SimService& s : transport.services)
        if (s.pmtPid != 0 && OnAir(s, updated)) programs[s.serviceId] = s.pmtPid;
    for (const auto& [number, pmtPid] : programs) {
        ByteWriter e;
        e.U16(number), e.U16(0xE000 | pmtPid);
        entries.push_back(e.Bytes());
    }
    const auto groups = GroupEntries(entries, kMaxSectionSize - 12);
    std::vector<Section> sections;
    for (size_t i = 0; i < groups.size(); ++i) {
        ByteWriter body;
        for (const auto& e : groups[i]) body.Append(e);
        sections.push_back(LongSection(table::kPat, transport.transportStreamId,
                                       Version(transport.patVersion, transport, updated), static_cast<uint8_t>(i),
                                       static_cast<uint8_t>(groups.size() - 1), body.Bytes()));
    }
    return sections;
}

Section BuildPmt(const SimService& service) {
    ByteWriter body;
    body.U16(0xE000 | service.pcrPid);
    size_t info = body.OpenLength();
    for (uint16_t ca : service.caSystemIds) {
        // ISO/IEC 13818-1 2.6.16: CA_system_ID and the PID of its ECMs.
        body.Append(Descriptor(tag::kCa, {static_cast<uint8_t>(ca >> 8), static_cast<uint8_t>(ca),
                                          static_cast<uint8_t>(0xE0 | ((service.pmtPid + 0x0F) >> 8)),
                                          static_cast<uint8_t>(service.pmtPid + 0x0F)}));
    }
    body.CloseLength(info);
    for (const SimStream& st : service.streams) {
        body.U8(st.streamType);
        body.U16(0xE000 | st.pid);
        const size_t es = body.OpenLength();
        if (st.componentTag != 0) body.Append(Descriptor(tag::kStreamIdentifier, {st.componentTag}));
        const std::vector<uint8_t> lang(st.language.begin(), st.language.end());
        switch (st.kind) {
        case StreamKind::Audio:
            if (st.ac3) body.Append(Descriptor(tag::kAc3, {0x00}));
            if (!lang.empty()) {
                std::vector<uint8_t> d = lang;
                d.push_back(0x00);  // audio_type: undefined
                body.Append(Descriptor(tag::kIso639Language, d));
            }
            break;
        case StreamKind::Teletext: {
            // EN 300 468 6.2.43: type 1 (initial page), magazine 1, page 00.
            std::vector<uint8_t> d = lang;
            d.push_back((0x01 << 3) | 0x01);
            d.push_back(0x00);
            body.Append(Descriptor(tag::kTeletext, d));
            break;
        }
        case StreamKind::Subtitles: {
            std::vector<uint8_t> d = lang;
            d.insert(d.end(), {0x10, 0x00, 0x01, 0x00, 0x01});  // DVB subtitles, composition and ancillary page 1
            body.Append(Descriptor(tag::kSubtitling, d));
            break;
        }
        default: break;
        }
        body.CloseLength(es);
    }
    return LongSection(table::kPmt, service.serviceId, 0, 0, 0, body.Bytes());
}

std::vector<Section> BuildSdt(const SimTransport& transport, bool updated, uint8_t tableId) {
    std::vector<std::vector<uint8_t>> entries;
    for (const SimService& s : transport.services)
        if (OnAir(s, updated)) entries.push_back(ServiceEntry(s));
    const auto groups = Sections(entries, kMaxSectionSize - 12 - 3, transport.servicesPerSdtSection);
    std::vector<Section> sections;
    for (size_t i = 0; i < groups.size(); ++i) {
        ByteWriter body;
        body.U16(transport.originalNetworkId);
        body.U8(0xFF);
        for (const auto& e : groups[i]) body.Append(e);
        sections.push_back(LongSection(tableId, transport.transportStreamId,
                                       Version(transport.sdtVersion, transport, updated), static_cast<uint8_t>(i),
                                       static_cast<uint8_t>(groups.size() - 1), body.Bytes()));
    }
    return sections;
}

std::vector<Section> BuildNit(const SimNetwork& network, uint8_t tableId) {
    std::vector<std::vector<uint8_t>> entries;
    for (const SimTransport& t : network.transports) {
        ByteWriter d;
        if (!t.services.empty()) d.Append(ServiceListDescriptor(t));
        // EN 300 468 6.2.13.1: frequency as 8 BCD digits in units of 100 Hz, symbol
        // rate as 7 BCD digits in units of 100 symbols/s followed by FEC_inner.
        std::vector<uint8_t> cable = Bcd(t.frequencyKHz * 10, 8);
        cable.push_back(0xFF);
        cable.push_back(0xF0 | (t.fecOuter & 0x0F));
        cable.push_back(static_cast<uint8_t>(t.modulation));
        std::vector<uint8_t> rate = Bcd(t.symbolRate / 100, 7);
        rate.back() |= t.fecInner & 0x0F;
        cable.insert(cable.end(), rate.begin(), rate.end());
        d.Append(Descriptor(tag::kCableDeliverySystem, cable));
        entries.push_back(TransportEntry(t, d.Bytes()));
    }
    return NetworkLikeTable(
        tableId, network.networkId, network.nitVersion,
        Descriptor(tag::kNetworkName, std::vector<uint8_t>(network.networkName.begin(), network.networkName.end())),
        entries, network.transportsPerNitSection);
}

std::vector<Section> BuildBat(const SimNetwork& network, const SimBouquet& bouquet) {
    std::vector<std::vector<uint8_t>> entries;
    for (size_t index : bouquet.transports) {
        if (index >= network.transports.size()) continue;
        const SimTransport& t = network.transports[index];
        entries.push_back(TransportEntry(t, ServiceListDescriptor(t)));
    }
    return NetworkLikeTable(table::kBat, bouquet.bouquetId, 0,
                            Descriptor(tag::kBouquetName, std::vector<uint8_t>(bouquet.name.begin(), bouquet.name.end())),
                            entries, 0);
}

std::vector<Section> BuildEitPresentFollowing(const SimTransport& transport, const SimService& service, int64_t utcMs) {
    constexpr int64_t kHourMs = 3600000;
    const int64_t hour = utcMs / kHourMs - (utcMs % kHourMs < 0 ? 1 : 0);
    const std::string title = service.name.empty() ? std::string("Sendung") : service.name;
    const std::vector<uint8_t> events[2] = {
        // running_status 4: running; 1: not running.
        EventEntry(static_cast<uint16_t>(hour), hour * kHourMs, 3600, 4, "Jetzt auf " + title, "Die laufende Sendung"),
        EventEntry(static_cast<uint16_t>(hour + 1), (hour + 1) * kHourMs, 3600, 1, "Danach auf " + title,
                   "Die folgende Sendung"),
    };
    std::vector<Section> sections;
    for (uint8_t i = 0; i < 2; ++i) {
        ByteWriter body;
        body.U16(transport.transportStreamId), body.U16(transport.originalNetworkId);
        body.U8(1);                                    // segment_last_section_number
        body.U8(table::kEitPresentFollowingActual);  // last_table_id
        body.Append(events[i]);
        // A new present event is a new version of the table.
        sections.push_back(LongSection(table::kEitPresentFollowingActual, service.serviceId,
                                       static_cast<uint8_t>(hour & 0x1F), i, 1, body.Bytes()));
    }
    return sections;
}

Section BuildTdt(int64_t utcMs) { return ShortSection(table::kTdt, MjdUtc(utcMs), false); }

Section BuildTot(int64_t utcMs) {
    // EN 300 468 6.2.20: Germany, UTC+1 until the last Sunday of March, then UTC+2.
    ByteWriter offset;
    offset.Append(std::string("DEU"));
    offset.U8(0x02);     // country_region_id 0, reserved, local_time_offset_polarity 0 (east)
    offset.U16(0x0100);  // local_time_offset, BCD hours and minutes
    offset.Append(MjdUtc(1806195600000));  // 2027-03-28 01:00:00 UTC
    offset.U16(0x0200);  // next_time_offset
    ByteWriter body;
    body.Append(MjdUtc(utcMs));
    const size_t length = body.OpenLength();
    body.Append(Descriptor(tag::kLocalTimeOffset, offset.Bytes()));
    body.CloseLength(length);
    return ShortSection(table::kTot, body.Bytes(), true);
}

namespace {

// Where in its interval a table starts, the same way every time, and
// different for each transport, PID and table on it.
int64_t Phase(const SimTransport& transport, uint16_t onPid, uint64_t table, int64_t intervalMs) {
    const uint64_t h = (uint64_t{transport.transportStreamId} * 2654435761u) ^ (uint64_t{onPid} * 40503u) ^
                       (uint64_t{table} * 0x9E3779B97F4A7C15u);
    return static_cast<int64_t>(h % static_cast<uint64_t>(intervalMs));
}

// Section `i` of `count` goes out this far into the interval.
int64_t SpreadPhase(int64_t phase, size_t i, size_t count, int64_t intervalMs) {
    return (phase + static_cast<int64_t>(i) * intervalMs / static_cast<int64_t>(count)) % intervalMs;
}

}  // namespace

int64_t UpdateAfterMs(const SimNetwork& network, const SimTransport& transport) {
    if (!transport.HasUpdate()) return -1;
    const int64_t interval = network.timing.sdtIntervalMs;
    const int64_t phase = Phase(transport, pid::kSdtBat, table::kSdtActual, interval);
    const size_t count = BuildSdt(transport, false).size();
    int64_t first = interval;
    for (size_t i = 0; i < count; ++i) first = std::min(first, SpreadPhase(phase, i, count, interval));
    return first + 1;
}

std::vector<SimTable> TransportTables(const SimNetwork& network, const SimTransport& transport,
                                      std::optional<int64_t> updateAfterMs) {
    const SimTiming& timing = network.timing;
    std::vector<SimTable> tables;
    auto spread = [&](uint16_t onPid, uint64_t key, int64_t interval, const std::vector<Section>& sections,
                      int64_t from = 0, int64_t until = kForever) {
        const int64_t phase = Phase(transport, onPid, key, interval);
        for (size_t i = 0; i < sections.size(); ++i)
            tables.push_back({onPid, interval, SpreadPhase(phase, i, sections.size(), interval), {sections[i]}, from, until, {}});
    };
    auto timed = [&](uint16_t onPid, uint64_t key, int64_t interval, size_t count,
                     std::function<std::vector<Section>(int64_t)> build) {
        const int64_t phase = Phase(transport, onPid, key, interval);
        for (size_t i = 0; i < count; ++i)
            tables.push_back({onPid, interval, SpreadPhase(phase, i, count, interval), {}, 0, kForever,
                              [build, i](int64_t utcMs) { return std::vector<Section>{build(utcMs).at(i)}; }});
    };

    const int64_t update = transport.HasUpdate() ? updateAfterMs.value_or(UpdateAfterMs(network, transport)) : -1;
    if (update <= 0) {
        spread(pid::kPat, table::kPat, timing.patIntervalMs, BuildPat(transport));
        spread(pid::kSdtBat, table::kSdtActual, timing.sdtIntervalMs, BuildSdt(transport));
    } else {
        spread(pid::kPat, table::kPat, timing.patIntervalMs, BuildPat(transport, false), 0, update);
        spread(pid::kPat, table::kPat, timing.patIntervalMs, BuildPat(transport), update);
        spread(pid::kSdtBat, table::kSdtActual, timing.sdtIntervalMs, BuildSdt(transport, false), 0, update);
        spread(pid::kSdtBat, table::kSdtActual, timing.sdtIntervalMs, BuildSdt(transport), update);
    }
    // One PMT PID may carry several programs, one section each.
    std::map<uint16_t, std::vector<Section>> pmts;
    for (const SimService& s : transport.services)
        if (s.pmtPid != 0) pmts[s.pmtPid].push_back(BuildPmt(s));
    for (auto& [pmtPid, sections] : pmts) spread(pmtPid, table::kPmt, timing.patIntervalMs, sections);
    spread(pid::kNit, table::kNitActual, timing.nitIntervalMs, BuildNit(network));

    for (const SimNetwork& other : network.neighbours) {
        spread(pid::kNit, table::kNitOther + (uint64_t{other.networkId} << 8), timing.otherIntervalMs,
               BuildNit(other, table::kNitOther));
        for (const SimTransport& t : other.transports)
            spread(pid::kSdtBat, table::kSdtOther + (uint64_t{t.transportStreamId} << 8) + (uint64_t{t.originalNetworkId} << 24),
                   timing.otherIntervalMs, BuildSdt(t, true, table::kSdtOther));
    }
    for (const SimBouquet& bouquet : network.bouquets)
        spread(pid::kSdtBat, table::kBat + (uint64_t{bouquet.bouquetId} << 8), timing.otherIntervalMs,
               BuildBat(network, bouquet));

    SimTransport ids = transport;  // what the EIT needs of the transport
    ids.services.clear();
    for (const SimService& s : transport.services) {
        if (s.pmtPid == 0) continue;
        timed(pid::kEit, table::kEitPresentFollowingActual + (uint64_t{s.serviceId} << 8), timing.eitIntervalMs, 2,
              [ids, s](int64_t utcMs) { return BuildEitPresentFollowing(ids, s, utcMs); });
    }
    timed(pid::kTdtTot, table::kTdt, timing.timeIntervalMs, 1,
          [](int64_t utcMs) { return std::vector<Section>{BuildTdt(utcMs)}; });
    timed(pid::kTdtTot, table::kTot, timing.timeIntervalMs, 1,
          [](int64_t utcMs) { return std::vector<Section>{BuildTot(utcMs)}; });
    return tables;
}

int64_t LockDelayMs(const SimNetwork& network, const SimTransport& transport) {
    const int64_t span = network.timing.lockMaxMs - network.timing.lockMinMs;
    const int64_t spread = span > 0 ? static_cast<int64_t>((transport.frequencyKHz / 1000u) * 37u) % (span + 1) : 0;
    return network.timing.lockMinMs + spread;
}

}  // namespace cardlib
