// The operators' channel numbers in a NIT's transport loop: the private
// logical_channel_descriptor (tag 0x83) in its two forms, EACEM (E-Book,
// 10-bit numbers) and NorDig version 1 (14-bit numbers), read and written,
// and the private_data_specifier_descriptor (EN 300 468 6.2.31) that says
// whose it is. NorDig's version 2 (tag 0x87) has a module of its own,
// ChannelList.h.
#pragma once

#include <cstdint>
#include <vector>

#include "broadcast/SectionReader.h"

namespace si {

// ETSI TS 101 162: private_data_specifier values.
constexpr uint32_t kEacemSpecifier = 0x00000028;
constexpr uint32_t kNordigSpecifier = 0x00000029;

struct LogicalChannel {
    uint16_t serviceId = 0;
    bool visible = true;
    uint16_t number = 0;
};

// EACEM: visible_service_flag, 5 reserved bits, 10-bit number. NorDig
// version 1: visible_service_flag, 1 reserved bit, 14-bit number.
enum class LogicalChannelForm { Eacem, NordigV1 };

// Appends the entries of a descriptor body; an entry cut short ends the
// walk (the entries before it stay). False when that happened.
bool ReadLogicalChannels(SectionReader& body, LogicalChannelForm form, std::vector<LogicalChannel>& out);
// The whole descriptor, tag and length included.
std::vector<uint8_t> WriteLogicalChannels(const std::vector<LogicalChannel>& channels, LogicalChannelForm form);

// Reads the specifier of a private_data_specifier_descriptor body; false
// when it is too short.
bool ReadPrivateDataSpecifier(SectionReader& body, uint32_t& specifier);
std::vector<uint8_t> WritePrivateDataSpecifier(uint32_t specifier);

}  // namespace si
