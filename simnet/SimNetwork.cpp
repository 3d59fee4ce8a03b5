#include "simnet/SimNetwork.h"

#include <algorithm>
#include <cstdio>

namespace cardlib {

namespace {


// A service's components in one letter each, so the network reads as a table:
// V MPEG-2 video, H H.264 video, X HEVC video, A MPEG-1 audio, E second
// (English) audio, C AC-3 audio, F E-AC-3 audio, K AAC audio (ADTS, stream
// type 0x0F), L HE-AAC audio in PES private data, T teletext, S DVB
// subtitles, D data, P PES private data with no descriptor that says what,
// a audio without a component tag.
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
        case 'V': st = {StreamKind::Video, 0x02, pid, 1, "", 0}; break;
        case 'H': st = {StreamKind::Video, 0x1B, pid, 1, "", 0}; break;
        case 'X': st = {StreamKind::Video, 0x24, pid, 1, "", 0}; break;
        case 'A': st = {StreamKind::Audio, 0x03, pid, audioTag++, "deu", 0}; break;
        case 'E': st = {StreamKind::Audio, 0x04, pid, audioTag++, "eng", 0}; break;
        case 'C': st = {StreamKind::Audio, 0x06, pid, audioTag++, "deu", si::descriptor::kAc3}; break;
        case 'F': st = {StreamKind::Audio, 0x06, pid, audioTag++, "deu", si::descriptor::kEnhancedAc3}; break;
        case 'K': st = {StreamKind::Audio, 0x0F, pid, audioTag++, "deu", 0}; break;
        case 'L': st = {StreamKind::Audio, 0x06, pid, audioTag++, "deu", si::descriptor::kAac}; break;
        case 'a': st = {StreamKind::Audio, 0x04, pid, 0, "deu", 0}; break;
        case 'T': st = {StreamKind::Teletext, 0x06, pid, 0x10, "deu", 0}; break;
        case 'S': st = {StreamKind::Subtitle, 0x06, pid, 0x20, "deu", 0}; break;
        case 'D': st = {StreamKind::Data, 0x05, pid, 0x30, "", 0}; break;
        case 'P': st = {StreamKind::Data, 0x06, pid, 0x31, "", 0}; break;
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
    // On the cable but not in the NIT, at a symbol rate few operators use:
    // only a sweep of the raster finds it.
    SimTransport unlisted = MakeTransport(466000, Modulation::Qam256, 12, kOnid,
                                          {{1201, kTelevision, "Talblick TV", "Talblick Medien", "VAT"},
                                           {1202, kRadio, "Talblick Radio", "Talblick Medien", "A"}});
    unlisted.symbolRate = 6111000;
    n.nitTransports.clear();
    for (size_t i = 0; i < n.transports.size(); ++i) n.nitTransports.push_back(i);
    LinkNvod(n.transports[7], 801, {811, 812, 813, 814});
    SharePmtPid(n.transports[8], 902, 901);
    // A big operator's NIT: two sections, and at 354 MHz an SDT of two that
    // gets a new service while the transport is being read.
    n.transportsPerNitSection = 6;
    n.transports[1].servicesPerSdtSection = 4;
    ServiceOf(n.transports[1], 208).addedByUpdate = true;
    n.neighbours.push_back(BuildNeighbourNetwork(n.transports[6]));
    n.bouquets = {{0x5001, "Lindwurm Basis", {0, 1, 2, 3, 5, 8}}, {0x5002, "Lindwurm Premium", {4, 9}}};
    // EACEM channel numbers, television from 1 and radio from 101 in the
    // order of the NIT; a time-shifted or data service has none.
    uint16_t tv = 1, radio = 101;
    for (SimTransport& t : n.transports) {
        t.channelNumbers = ChannelNumberForm::Eacem;
        for (SimService& s : t.services) {
            if (s.pmtPid == 0 || s.referenceServiceId != 0 || s.serviceType == kDataBroadcast) continue;
            s.channelNumber = s.serviceType == kRadio ? radio++ : tv++;
        }
    }
    n.transports.push_back(unlisted);
    return n;
}

constexpr uint16_t kOperatorOnid = 0x2201;

// The cable as it is: four transports of one original network.
std::vector<SimTransport> OperatorTransports() {
    std::vector<SimTransport> t = {
        MakeTransport(306000, Modulation::Qam256, 1, kOperatorOnid,
                      {{101, kHdTelevision, "Sonnental Eins HD", "Sonnental Rundfunk", "HKT"},
                       {102, kHdTelevision, "Sonnental Zwei HD", "Sonnental Rundfunk", "HLS"},
                       {103, kTelevision, "Sonnental Nachrichten", "Sonnental Rundfunk", "HA"},
                       {104, kRadio, "Sonnental Radio", "Sonnental Rundfunk", "K"},
                       {105, kTelevision, "Sonnental Klassik", "Sonnental Rundfunk", "VAPT"}}),
        MakeTransport(314000, Modulation::Qam256, 2, kOperatorOnid,
                      {{201, kHevcTelevision, "Sonnental UHD", "Sonnental Rundfunk", "XFS"},
                       {202, kHdTelevision, "Sonnental Sport HD", "Sonnental Rundfunk", "HCFT"},
                       {203, kTelevision, "Sonnental Regional", "Sonnental Rundfunk", "VAT"}}),
        MakeTransport(322000, Modulation::Qam256, 3, kOperatorOnid,
                      {{301, kHdTelevision, "Bergblick HD", "Bergblick", "HCT", kPayCa},
                       {302, kHevcTelevision, "HEVC Testkanal", "Bergblick", "XK"},
                       {303, kRadio, "Bergblick Radio", "Bergblick", "A"}}),
        MakeTransport(330000, Modulation::Qam256, 4, kOperatorOnid,
                      {{401, kAvcSdTelevision, "Bergblick SD", "Bergblick", "HAT"},
                       {402, kTelevision, "Bergblick Info", "Bergblick", "VAES"}}),
    };
    return t;
}

void Number(SimTransport& t, ChannelNumberForm form, std::initializer_list<std::pair<uint16_t, uint16_t>> numbers) {
    t.channelNumbers = form;
    for (auto [serviceId, number] : numbers) ServiceOf(t, serviceId).channelNumber = number;
}

// The operator's full network: all four transports, NorDig numbers (version
// 2 where its receivers read them, version 1 on the oldest transport).
SimNetwork BuildOperatorFullNetwork() {
    SimNetwork n;
    n.networkId = 0x3102;
    n.networkName = "Sonnental Digital";
    n.transports = OperatorTransports();
    Number(n.transports[0], ChannelNumberForm::NordigV2, {{101, 1}, {102, 2}, {103, 10}, {104, 201}, {105, 20}});
    Number(n.transports[1], ChannelNumberForm::NordigV2, {{201, 3}, {202, 4}, {203, 11}});
    Number(n.transports[2], ChannelNumberForm::NordigV2, {{301, 30}, {302, 99}, {303, 202}});
    Number(n.transports[3], ChannelNumberForm::NordigV1, {{401, 31}, {402, 1023}});
    return n;
}

SimNetwork BuildOperatorNetwork() {
    SimNetwork n;
    n.networkId = 0x3101;
    n.networkName = "Sonnental Frei";
    n.transports = OperatorTransports();
    n.nitTransports = {0, 1};
    Number(n.transports[0], ChannelNumberForm::EacemUnmarked, {{101, 1}, {102, 2}, {103, 3}, {104, 51}, {105, 5}});
    Number(n.transports[1], ChannelNumberForm::EacemUnmarked, {{201, 4}, {202, 6}, {203, 7}});
    n.neighbours.push_back(BuildOperatorFullNetwork());
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

const SimNetwork& OperatorNetwork() {
    static const SimNetwork network = BuildOperatorNetwork();
    return network;
}

const SimNetwork& OperatorFullNetwork() { return OperatorNetwork().neighbours.front(); }

}  // namespace cardlib
