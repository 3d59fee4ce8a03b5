#include "cardlib/SimNetwork.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace cardlib {

namespace {

constexpr uint16_t kNitPid = 0x0010;
constexpr uint16_t kSdtPid = 0x0011;
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
        st.pid = pid;
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
                       {207, kTelevision, "Teleshop Aurora", "Aurora Handel", "VA"}}),
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
        // transport_stream_id as the one above under another original_network_id.
        MakeTransport(394000, Modulation::Qam256, 6, kNeighbourOnid,
                      {{651, kTelevision, "Grenzland Eins", "Grenzland Rundfunk", "VAT"},
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
        d.Append(Descriptor(0x4C, {static_cast<uint8_t>(s.referenceServiceId >> 8),
                                   static_cast<uint8_t>(s.referenceServiceId)}));
    } else {
        ByteWriter body;
        body.U8(s.serviceType);
        body.U8(static_cast<uint8_t>(s.provider.size()));
        body.Append(s.provider);
        body.U8(static_cast<uint8_t>(s.name.size()));
        body.Append(s.name);
        d.Append(Descriptor(0x48, body.Bytes()));
    }
    if (!s.nvodReferences.empty()) {
        ByteWriter refs;
        for (const SimNvodRef& r : s.nvodReferences) refs.U16(r.transportStreamId), refs.U16(r.originalNetworkId), refs.U16(r.serviceId);
        d.Append(Descriptor(0x4B, refs.Bytes()));
    }
    if (!s.caSystemIds.empty()) {
        ByteWriter ids;
        for (uint16_t id : s.caSystemIds) ids.U16(id);
        d.Append(Descriptor(0x53, ids.Bytes()));
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

}  // namespace

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

std::vector<Section> BuildPat(const SimTransport& transport) {
    std::vector<std::vector<uint8_t>> entries;
    ByteWriter nit;
    nit.U16(0), nit.U16(0xE000 | kNitPid);  // program 0 names the network PID
    entries.push_back(nit.Bytes());
    std::map<uint16_t, uint16_t> programs;
    for (const SimService& s : transport.services)
        if (s.pmtPid != 0) programs[s.serviceId] = s.pmtPid;
    for (const auto& [number, pid] : programs) {
        ByteWriter e;
        e.U16(number), e.U16(0xE000 | pid);
        entries.push_back(e.Bytes());
    }
    const auto groups = GroupEntries(entries, kMaxSectionSize - 12);
    std::vector<Section> sections;
    for (size_t i = 0; i < groups.size(); ++i) {
        ByteWriter body;
        for (const auto& e : groups[i]) body.Append(e);
        sections.push_back(LongSection(0x00, transport.transportStreamId, 0, static_cast<uint8_t>(i),
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
        body.Append(Descriptor(0x09, {static_cast<uint8_t>(ca >> 8), static_cast<uint8_t>(ca),
                                      static_cast<uint8_t>(0xE0 | ((service.pmtPid + 0x0F) >> 8)),
                                      static_cast<uint8_t>(service.pmtPid + 0x0F)}));
    }
    body.CloseLength(info);
    for (const SimStream& st : service.streams) {
        body.U8(st.streamType);
        body.U16(0xE000 | st.pid);
        const size_t es = body.OpenLength();
        if (st.componentTag != 0) body.Append(Descriptor(0x52, {st.componentTag}));
        const std::vector<uint8_t> lang(st.language.begin(), st.language.end());
        switch (st.kind) {
        case StreamKind::Audio:
            if (st.ac3) body.Append(Descriptor(0x6A, {0x00}));
            if (!lang.empty()) {
                std::vector<uint8_t> d = lang;
                d.push_back(0x00);  // audio_type: undefined
                body.Append(Descriptor(0x0A, d));
            }
            break;
        case StreamKind::Teletext: {
            // EN 300 468 6.2.43: type 1 (initial page), magazine 1, page 00.
            std::vector<uint8_t> d = lang;
            d.push_back((0x01 << 3) | 0x01);
            d.push_back(0x00);
            body.Append(Descriptor(0x56, d));
            break;
        }
        case StreamKind::Subtitles: {
            std::vector<uint8_t> d = lang;
            d.insert(d.end(), {0x10, 0x00, 0x01, 0x00, 0x01});  // DVB subtitles, composition and ancillary page 1
            body.Append(Descriptor(0x59, d));
            break;
        }
        default: break;
        }
        body.CloseLength(es);
    }
    return LongSection(0x02, service.serviceId, 0, 0, 0, body.Bytes());
}

std::vector<Section> BuildSdt(const SimTransport& transport) {
    std::vector<std::vector<uint8_t>> entries;
    for (const SimService& s : transport.services) entries.push_back(ServiceEntry(s));
    const auto groups = GroupEntries(entries, kMaxSectionSize - 12 - 3);
    std::vector<Section> sections;
    for (size_t i = 0; i < groups.size(); ++i) {
        ByteWriter body;
        body.U16(transport.originalNetworkId);
        body.U8(0xFF);
        for (const auto& e : groups[i]) body.Append(e);
        sections.push_back(LongSection(0x42, transport.transportStreamId, transport.sdtVersion, static_cast<uint8_t>(i),
                                       static_cast<uint8_t>(groups.size() - 1), body.Bytes()));
    }
    return sections;
}

std::vector<Section> BuildNit(const SimNetwork& network) {
    const std::vector<uint8_t> networkName =
        Descriptor(0x40, std::vector<uint8_t>(network.networkName.begin(), network.networkName.end()));
    std::vector<std::vector<uint8_t>> entries;
    for (const SimTransport& t : network.transports) {
        ByteWriter d;
        ByteWriter list;
        for (const SimService& s : t.services) list.U16(s.serviceId), list.U8(s.serviceType);
        if (!t.services.empty()) d.Append(Descriptor(0x41, list.Bytes()));
        // EN 300 468 6.2.13.1: frequency as 8 BCD digits in units of 100 Hz, symbol
        // rate as 7 BCD digits in units of 100 symbols/s followed by FEC_inner.
        std::vector<uint8_t> cable = Bcd(t.frequencyKHz * 10, 8);
        cable.push_back(0xFF);
        cable.push_back(0xF0 | (t.fecOuter & 0x0F));
        cable.push_back(static_cast<uint8_t>(t.modulation));
        std::vector<uint8_t> rate = Bcd(t.symbolRate / 100, 7);
        rate.back() |= t.fecInner & 0x0F;
        cable.insert(cable.end(), rate.begin(), rate.end());
        d.Append(Descriptor(0x44, cable));
        ByteWriter e;
        e.U16(t.transportStreamId), e.U16(t.originalNetworkId);
        const size_t length = e.OpenLength();
        e.Append(d.Bytes());
        e.CloseLength(length);
        entries.push_back(e.Bytes());
    }
    const auto groups = GroupEntries(entries, kMaxSectionSize - 12 - 4 - networkName.size());
    std::vector<Section> sections;
    for (size_t i = 0; i < groups.size(); ++i) {
        ByteWriter body;
        size_t length = body.OpenLength();
        body.Append(networkName);
        body.CloseLength(length);
        length = body.OpenLength();
        for (const auto& e : groups[i]) body.Append(e);
        body.CloseLength(length);
        sections.push_back(LongSection(0x40, network.networkId, network.nitVersion, static_cast<uint8_t>(i),
                                       static_cast<uint8_t>(groups.size() - 1), body.Bytes()));
    }
    return sections;
}

std::vector<SimTable> TransportTables(const SimNetwork& network, const SimTransport& transport) {
    const SimTiming& timing = network.timing;
    // Spread the tables over their intervals the same way every time.
    auto phase = [&](uint16_t pid, int64_t interval) {
        const uint64_t h = (uint64_t{transport.transportStreamId} * 2654435761u) ^ (uint64_t{pid} * 40503u);
        return static_cast<int64_t>(h % static_cast<uint64_t>(interval));
    };
    std::vector<SimTable> tables;
    tables.push_back({0x0000, timing.patIntervalMs, phase(0x0000, timing.patIntervalMs), BuildPat(transport)});
    std::map<uint16_t, std::vector<Section>> pmts;
    for (const SimService& s : transport.services)
        if (s.pmtPid != 0) pmts[s.pmtPid].push_back(BuildPmt(s));
    for (auto& [pid, sections] : pmts)
        tables.push_back({pid, timing.patIntervalMs, phase(pid, timing.patIntervalMs), std::move(sections)});
    tables.push_back({kSdtPid, timing.sdtIntervalMs, phase(kSdtPid, timing.sdtIntervalMs), BuildSdt(transport)});
    tables.push_back({kNitPid, timing.nitIntervalMs, phase(kNitPid, timing.nitIntervalMs), BuildNit(network)});
    return tables;
}

int64_t LockDelayMs(const SimNetwork& network, const SimTransport& transport) {
    const int64_t span = network.timing.lockMaxMs - network.timing.lockMinMs;
    const int64_t spread = span > 0 ? static_cast<int64_t>((transport.frequencyKHz / 1000u) * 37u) % (span + 1) : 0;
    return network.timing.lockMinMs + spread;
}

}  // namespace cardlib
