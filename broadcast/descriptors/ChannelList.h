// NorDig's logical_channel_descriptor version 2 (tag 0x87, under private
// data specifier 0x29): channel lists, each with its name and country, each
// numbering services with 14-bit numbers. Read and written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "broadcast/SectionReader.h"
#include "broadcast/descriptors/LogicalChannel.h"

namespace si {

struct ChannelList {
    uint8_t id = 0;
    std::string name;     // raw bytes, DVB text
    std::string country;  // ISO 3166 alpha-3, three bytes
    std::vector<LogicalChannel> channels;
};

// Appends the lists of a descriptor body; a list cut short is dropped and
// ends the walk (the lists before it stay). False when that happened.
bool ReadChannelLists(SectionReader& body, std::vector<ChannelList>& out);
// The whole descriptor, tag and length included.
std::vector<uint8_t> WriteChannelLists(const std::vector<ChannelList>& lists);

}  // namespace si
