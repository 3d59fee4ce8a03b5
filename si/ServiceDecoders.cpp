// NIT, BAT and SDT: the network's transports and the services they carry.
#include <string>
#include <vector>

#include "si/Decoders.h"
#include "broadcast/NitTransports.h"
#include "si/ScanRowWriter.h"
#include "broadcast/SectionReader.h"
#include "broadcast/SiTags.h"
#include "broadcast/descriptors/CableDelivery.h"
#include "broadcast/descriptors/ChannelList.h"
#include "broadcast/descriptors/LogicalChannel.h"

namespace si {

namespace {

// What a scan row keeps of the cable delivery system descriptor, in the scan
// lists' units; nibbles above 9 are not rejected but add their value.
struct ScanDelivery {
    uint32_t frequency = 0;
    uint32_t symbolRate = 0;
    uint8_t modulation = 0;
    uint8_t fecInner = 0;
};

void ReadScanDelivery(SectionReader& body, ScanDelivery& out) {
    CableDelivery d;
    if (!ReadCableDelivery(body, d)) return;
    out.frequency = ScanListFrequency(d.frequencyHz);
    out.symbolRate = ScanListSymbolRate(d.symbolRate);
    out.modulation = d.modulation;
    out.fecInner = d.fecInner;
}

// The channel numbers of one transport loop entry. A private descriptor is
// read by the private_data_specifier before it in the same loop (EN 300 468
// 6.2.31); a 0x83 with none before it is EACEM's, as operators send it.
// NorDig's version 2 counts over version 1 where both number a service, and
// of its channel lists the first one counts: there is no country to choose by.
struct ChannelNumbers {
    uint32_t specifier = 0;
    std::vector<LogicalChannel> numbered;
    std::vector<LogicalChannel> listed;
    bool haveList = false;

    void Take(uint8_t tag, SectionReader& body) {
        switch (tag) {
        case descriptor::kPrivateDataSpecifier: {
            uint32_t value = 0;
            if (ReadPrivateDataSpecifier(body, value)) specifier = value;
            break;
        }
        case descriptor::kLogicalChannel:
            if (specifier == 0 || specifier == kEacemSpecifier)
                ReadLogicalChannels(body, LogicalChannelForm::Eacem, numbered);
            else if (specifier == kNordigSpecifier)
                ReadLogicalChannels(body, LogicalChannelForm::NordigV1, numbered);
            break;
        case descriptor::kNordigChannelList: {
            if (specifier != kNordigSpecifier || haveList) break;
            std::vector<ChannelList> lists;
            ReadChannelLists(body, lists);
            if (lists.empty()) break;
            listed = lists.front().channels;
            haveList = true;
            break;
        }
        default:
            break;
        }
    }

    void HandOver(ScanRowWriter& window, uint16_t originalNetworkId, uint16_t transportStreamId) const {
        const auto give = [&](const std::vector<LogicalChannel>& channels) {
            // Number 0 is no number.
            for (const LogicalChannel& c : channels)
                if (c.number != 0) window.SetServiceChannelNumber(originalNetworkId, transportStreamId, c.serviceId, c.number);
        };
        give(numbered);
        give(listed);
    }
};

struct ServiceValues {
    uint8_t serviceType = 0;
    std::string serviceName;
    std::string providerName;
    std::vector<uint16_t> caSystemIds;
    uint16_t nvodTransportStreamId = 0, nvodOriginalNetworkId = 0, nvodServiceId = 0;
    uint16_t referenceServiceId = 0;
};

void AppendBytes(std::string& to, std::span<const uint8_t> bytes) {
    to.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// EN 300 468 6.2.33: service_descriptor. A second one in the same entry
// replaces the type and extends both names. Names whose lengths run past the
// descriptor drop the whole descriptor.
void ReadServiceDescriptor(SectionReader& body, ServiceValues& service) {
    const uint8_t service_type = body.U8();
    const uint8_t provider_length = body.U8();
    const auto provider = body.Bytes(provider_length);
    const uint8_t name_length = body.U8();
    const auto name = body.Bytes(name_length);
    if (body.Error()) return;
    service.serviceType = service_type;
    AppendBytes(service.providerName, provider);
    AppendBytes(service.serviceName, name);
}

// EN 300 468 6.2.26: NVOD_reference_descriptor; the loop's last triple counts.
void ReadNvodReference(SectionReader& body, ServiceValues& service) {
    while (!body.AtEnd()) {
        const uint16_t transport_stream_id = body.U16();
        const uint16_t original_network_id = body.U16();
        const uint16_t service_id = body.U16();
        if (body.Error()) return;
        service.nvodTransportStreamId = transport_stream_id;
        service.nvodOriginalNetworkId = original_network_id;
        service.nvodServiceId = service_id;
    }
}

void DecodeServiceDescriptor(uint8_t tag, SectionReader& body, ServiceValues& service) {
    switch (tag) {
    case descriptor::kService:
        ReadServiceDescriptor(body, service);
        break;
    case descriptor::kNvodReference:
        ReadNvodReference(body, service);
        break;
    case descriptor::kTimeShiftedService: {
        // EN 300 468 6.2.45: time_shifted_service_descriptor.
        const uint16_t reference_service_id = body.U16();
        if (!body.Error()) service.referenceServiceId = reference_service_id;
        break;
    }
    case descriptor::kCaIdentifier:
        // EN 300 468 6.2.5: CA_identifier_descriptor, ids in broadcast order.
        while (!body.AtEnd()) {
            const uint16_t ca_system_id = body.U16();
            if (body.Error()) break;
            service.caSystemIds.push_back(ca_system_id);
        }
        break;
    default:
        break;
    }
}

}  // namespace

void DecodeNit(const unsigned char* data, int length, ScanRowWriter* window) {
    for (const NitTransport& entry : ReadNitTransports(WithoutCrc(data, length))) {
        // Only a cable network is scanned: satellite and terrestrial delivery
        // descriptors leave the delivery values at 0.
        ScanDelivery delivery;
        ChannelNumbers numbers;
        WalkDescriptors(entry.descriptors, [&](uint8_t tag, SectionReader& body) {
            if (tag == descriptor::kCableDeliverySystem) ReadScanDelivery(body, delivery);
            else numbers.Take(tag, body);
        });
        if (window != nullptr) {
            window->AddTransport(entry.transportStreamId, entry.originalNetworkId, delivery.frequency,
                                 delivery.symbolRate, delivery.modulation, delivery.fecInner);
            numbers.HandOver(*window, entry.originalNetworkId, entry.transportStreamId);
        }
    }
}

void NoteNetwork(const unsigned char* data, int length, ScanRowWriter* window) {
    const NitNetwork network = ReadNitNetwork(WithoutCrc(data, length));
    if (window == nullptr || !network.valid) return;
    window->SeeNetwork(network.networkId, network.actual, network.name, network.sectionNumber,
                       network.lastSectionNumber, network.transports);
}

void DecodeBat(const unsigned char* data, int length) {
    // Bouquets are not shown; the section is only stepped through.
    SectionReader section = WithoutCrc(data, length);
    section.Seek(header::kLongForm);
    section.Skip(section.Length12());
    SectionReader loop = section.Sub(section.Length12());
    while (!loop.AtEnd()) {
        loop.Skip(4);
        loop.Skip(loop.Length12());
    }
}

void DecodeSdt(const unsigned char* data, int length, ScanRowWriter* window) {
    SectionReader section = WithoutCrc(data, length);
    section.Seek(1);
    const uint16_t section_length = section.Length12();
    const uint16_t transport_stream_id = section.U16();
    const uint8_t version_number = (section.U8() >> 1) & 0x1F;
    section.Seek(header::kLongForm);
    const uint16_t original_network_id = section.U16();
    if (section.Error()) return;

    // The transport is marked as described even when no service entry follows.
    if (window != nullptr) window->SetTransportSdtVersion(transport_stream_id, original_network_id, version_number);
    // Service entries are only looked for past the header, and only when
    // section_length is above 15, as SDTs have always been read here.
    if (section_length <= 15 || static_cast<long long>(length) - kCrcSize <= static_cast<long long>(header::kSdt))
        return;

    section.Seek(header::kSdt);
    while (!section.AtEnd()) {
        const uint16_t service_id = section.U16();
        section.Skip(1);  // EIT_schedule_flag, EIT_present_following_flag
        const uint16_t descriptors_loop_length = section.Length12();
        SectionReader descriptors = section.Sub(descriptors_loop_length);
        // A service cut short by the end of the section is dropped.
        if (section.Error()) break;

        ServiceValues service;
        WalkDescriptors(descriptors,
                        [&](uint8_t tag, SectionReader& body) { DecodeServiceDescriptor(tag, body, service); });
        if (window == nullptr) continue;

        if (service.referenceServiceId != 0) {
            window->SetServiceNvodReference(transport_stream_id, original_network_id, service_id,
                                            service.referenceServiceId);
            continue;
        }
        window->AddServiceDetails(transport_stream_id, original_network_id, service_id, service.serviceType,
                                  service.serviceName, service.providerName, service.caSystemIds, 0);
        // An NVOD reference service lends its type, names and CA ids to the
        // service it refers to, which shows the reference in its "Nvod" column.
        if (service.nvodServiceId != 0) {
            window->AddServiceDetails(service.nvodTransportStreamId, service.nvodOriginalNetworkId,
                                      service.nvodServiceId, service.serviceType, service.serviceName,
                                      service.providerName, service.caSystemIds, service_id);
        }
    }
}

}  // namespace si
