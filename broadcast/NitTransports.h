// EN 300 468 5.2.1: the transport stream loop of a NIT section, read in one
// place for the scan's NIT decoder and the Linux backend's tuning.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "broadcast/SectionReader.h"

namespace si {

struct NitTransport {
    uint16_t transportStreamId = 0;
    uint16_t originalNetworkId = 0;
    SectionReader descriptors;  // exactly the entry's transport descriptors
};

// The entries of the transport loop of `section` (its bytes from table_id on,
// without the CRC), in loop order. An entry starts while the position is
// below the loop's end, and its descriptors are as long as its own
// transport_descriptors_length says: an entry that runs past the loop's end
// but not past the section is kept (Linux's vidtv driver sends one), one that
// runs past the section is dropped and ends the loop.
std::vector<NitTransport> ReadNitTransports(SectionReader section);

// Which network a NIT section describes, and how much of it: the header, the
// network_name_descriptor's bytes (in their DVB character table) and the
// number of transport loop entries ReadNitTransports keeps. Not valid where
// the header runs past the section.
struct NitNetwork {
    bool valid = false;
    bool actual = false;  // table 0x40; else 0x41, a NIT other
    uint16_t networkId = 0;
    uint8_t sectionNumber = 0;
    uint8_t lastSectionNumber = 0;
    std::string name;
    size_t transports = 0;
};
NitNetwork ReadNitNetwork(SectionReader section);

}  // namespace si
