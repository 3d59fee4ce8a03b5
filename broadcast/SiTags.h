// Table ids, descriptor tags and well-known PIDs, shared by the decoders and
// by the simulated network that writes what they read.
#pragma once

#include <cstdint>

namespace si {

// ISO/IEC 13818-1 2.4.4 and EN 300 468 5.1.3: table_id values.
namespace table {
constexpr uint8_t kPat = 0x00;
constexpr uint8_t kCat = 0x01;
constexpr uint8_t kPmt = 0x02;
constexpr uint8_t kNitActual = 0x40;
constexpr uint8_t kNitOther = 0x41;
constexpr uint8_t kSdtActual = 0x42;
constexpr uint8_t kSdtOther = 0x46;
constexpr uint8_t kBat = 0x4A;
constexpr uint8_t kEitPresentFollowingActual = 0x4E;
constexpr uint8_t kEitPresentFollowingOther = 0x4F;
constexpr uint8_t kTdt = 0x70;
constexpr uint8_t kRst = 0x71;
constexpr uint8_t kTot = 0x73;
}  // namespace table

// ISO/IEC 13818-1 2.6.1 and EN 300 468 6.1: descriptor_tag values.
namespace descriptor {
constexpr uint8_t kRegistration = 0x05;
constexpr uint8_t kCa = 0x09;
constexpr uint8_t kIso639Language = 0x0A;
constexpr uint8_t kNetworkName = 0x40;
constexpr uint8_t kServiceList = 0x41;
constexpr uint8_t kCableDeliverySystem = 0x44;
constexpr uint8_t kBouquetName = 0x47;
constexpr uint8_t kService = 0x48;
constexpr uint8_t kNvodReference = 0x4B;
constexpr uint8_t kTimeShiftedService = 0x4C;
constexpr uint8_t kShortEvent = 0x4D;
constexpr uint8_t kStreamIdentifier = 0x52;
constexpr uint8_t kCaIdentifier = 0x53;
constexpr uint8_t kTeletext = 0x56;
constexpr uint8_t kLocalTimeOffset = 0x58;
constexpr uint8_t kSubtitling = 0x59;
constexpr uint8_t kPrivateDataSpecifier = 0x5F;
constexpr uint8_t kAc3 = 0x6A;
constexpr uint8_t kEnhancedAc3 = 0x7A;
constexpr uint8_t kDts = 0x7B;
constexpr uint8_t kAac = 0x7C;
// SMPTE 302M's format_identifier in a registration descriptor: "BSSD".
constexpr uint32_t kSmpte302mFormat = 0x42535344;
// Private descriptors of the operators' channel numbers (see
// broadcast/descriptors/LogicalChannel.h and ChannelList.h).
constexpr uint8_t kLogicalChannel = 0x83;
constexpr uint8_t kNordigChannelList = 0x87;
}  // namespace descriptor

// EN 300 468 5.1.3: the PIDs the tables are carried on.
namespace pid {
constexpr uint16_t kPat = 0x0000;
constexpr uint16_t kNit = 0x0010;
constexpr uint16_t kSdtBat = 0x0011;
constexpr uint16_t kEit = 0x0012;
constexpr uint16_t kTdtTot = 0x0014;
}  // namespace pid

}  // namespace si
