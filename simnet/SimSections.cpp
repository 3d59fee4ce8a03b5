#include "simnet/SimSections.h"

#include <algorithm>
#include <map>

#include "broadcast/SiTags.h"
#include "broadcast/descriptors/CableDelivery.h"
#include "broadcast/descriptors/ChannelList.h"
#include "broadcast/descriptors/LogicalChannel.h"

namespace cardlib {

namespace {

namespace table = si::table;
namespace tag = si::descriptor;
namespace pid = si::pid;

// EN 300 468 5.1.4: SI sections are at most 1024 bytes; so are the PAT's here.
constexpr size_t kMaxSectionSize = 1024;

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

std::vector<uint8_t> ChannelNumberDescriptors(const SimTransport& t) {
    std::vector<si::LogicalChannel> channels;
    for (const SimService& s : t.services)
        if (s.channelNumber != 0) channels.push_back({s.serviceId, true, s.channelNumber});
    ByteWriter d;
    if (channels.empty()) return d.Bytes();
    switch (t.channelNumbers) {
    case ChannelNumberForm::None: break;
    case ChannelNumberForm::Eacem:
        d.Append(si::WritePrivateDataSpecifier(si::kEacemSpecifier));
        d.Append(si::WriteLogicalChannels(channels, si::LogicalChannelForm::Eacem));
        break;
    case ChannelNumberForm::EacemUnmarked:
        d.Append(si::WriteLogicalChannels(channels, si::LogicalChannelForm::Eacem));
        break;
    case ChannelNumberForm::NordigV1:
        d.Append(si::WritePrivateDataSpecifier(si::kNordigSpecifier));
        d.Append(si::WriteLogicalChannels(channels, si::LogicalChannelForm::NordigV1));
        break;
    case ChannelNumberForm::NordigV2: {
        // The first list counts; a second, regional one numbers otherwise.
        std::vector<si::LogicalChannel> regional = channels;
        for (si::LogicalChannel& c : regional) c.number = static_cast<uint16_t>(c.number + 500);
        d.Append(si::WritePrivateDataSpecifier(si::kNordigSpecifier));
        d.Append(si::WriteChannelLists({{1, "Alle", "DEU", channels}, {2, "Region", "DEU", regional}}));
        break;
    }
    }
    return d.Bytes();
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
            // EN 300 468 annex D and H: all optional fields absent (AAC: no profile and level).
            if (st.audioDescriptor != 0) body.Append(Descriptor(st.audioDescriptor, {0x00}));
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
        case StreamKind::Subtitle: {
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
    std::vector<size_t> listed = network.nitTransports;
    if (listed.empty())
        for (size_t i = 0; i < network.transports.size(); ++i) listed.push_back(i);
    for (size_t index : listed) {
        if (index >= network.transports.size()) continue;
        const SimTransport& t = network.transports[index];
        ByteWriter d;
        if (!t.services.empty()) d.Append(ServiceListDescriptor(t));
        si::CableDelivery cable;
        cable.frequencyHz = uint64_t{t.frequencyKHz} * 1000;
        cable.fecOuter = t.fecOuter;
        cable.modulation = static_cast<uint8_t>(t.modulation);
        cable.symbolRate = t.symbolRate;
        cable.fecInner = t.fecInner;
        d.Append(si::WriteCableDelivery(cable));
        d.Append(ChannelNumberDescriptors(t));
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

}  // namespace cardlib
