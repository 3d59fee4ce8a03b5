#include "broadcast/NitTransports.h"

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

}  // namespace si
