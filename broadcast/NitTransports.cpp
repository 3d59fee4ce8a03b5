#include "broadcast/NitTransports.h"

#include "broadcast/SiTags.h"

namespace si {

std::vector<NitTransport> ReadNitTransports(SectionReader section) {
    std::vector<NitTransport> transports;
    section.Seek(header::kLongForm);
    const uint16_t network_descriptors_length = section.Length12();
    section.Skip(network_descriptors_length);
    const uint16_t transport_stream_loop_length = section.Length12();
    if (section.Error()) return transports;
    // The loop's length says where entries start, not where they end.
    const size_t loopEnd = section.Position() + transport_stream_loop_length;
    while (section.Position() < loopEnd && !section.AtEnd()) {
        NitTransport entry;
        entry.transportStreamId = section.U16();
        entry.originalNetworkId = section.U16();
        const uint16_t transport_descriptors_length = section.Length12();
        entry.descriptors = section.Sub(transport_descriptors_length);
        if (section.Error()) break;
        transports.push_back(entry);
    }
    return transports;
}

NitNetwork ReadNitNetwork(SectionReader section) {
    NitNetwork network;
    const SectionReader whole = section;
    const uint8_t table_id = section.U8();
    section.Skip(2);
    const uint16_t network_id = section.U16();
    section.Skip(1);
    const uint8_t section_number = section.U8();
    const uint8_t last_section_number = section.U8();
    const uint16_t network_descriptors_length = section.Length12();
    SectionReader descriptors = section.Sub(network_descriptors_length);
    if (section.Error() || (table_id != table::kNitActual && table_id != table::kNitOther)) return network;
    network.valid = true;
    network.actual = table_id == table::kNitActual;
    network.networkId = network_id;
    network.sectionNumber = section_number;
    network.lastSectionNumber = last_section_number;
    // EN 300 468 6.2.27: network_name_descriptor, the name's bytes whole.
    WalkDescriptors(descriptors, [&](uint8_t tag, SectionReader& body) {
        if (tag != descriptor::kNetworkName || !network.name.empty()) return;
        const auto name = body.Bytes(body.Remaining());
        network.name.assign(reinterpret_cast<const char*>(name.data()), name.size());
    });
    network.transports = ReadNitTransports(whole).size();
    return network;
}

}  // namespace si
