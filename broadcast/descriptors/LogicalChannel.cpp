#include "broadcast/descriptors/LogicalChannel.h"

#include "broadcast/SiTags.h"

namespace si {

namespace {

constexpr uint16_t NumberMask(LogicalChannelForm form) {
    return form == LogicalChannelForm::Eacem ? 0x03FF : 0x3FFF;
}

std::vector<uint8_t> WithHeader(uint8_t tag, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out{tag, static_cast<uint8_t>(body.size())};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

}  // namespace

bool ReadLogicalChannels(SectionReader& body, LogicalChannelForm form, std::vector<LogicalChannel>& out) {
    while (!body.AtEnd()) {
        const uint16_t service_id = body.U16();
        const uint16_t flags_and_number = body.U16();
        if (body.Error()) return false;
        out.push_back({service_id, (flags_and_number & 0x8000) != 0,
                       static_cast<uint16_t>(flags_and_number & NumberMask(form))});
    }
    return true;
}

std::vector<uint8_t> WriteLogicalChannels(const std::vector<LogicalChannel>& channels, LogicalChannelForm form) {
    std::vector<uint8_t> body;
    // Reserved bits are sent as ones.
    const uint16_t reserved = static_cast<uint16_t>(0x7FFF & ~NumberMask(form));
    for (const LogicalChannel& c : channels) {
        const uint16_t value =
            static_cast<uint16_t>((c.visible ? 0x8000 : 0) | reserved | (c.number & NumberMask(form)));
        body.insert(body.end(), {static_cast<uint8_t>(c.serviceId >> 8), static_cast<uint8_t>(c.serviceId),
                                 static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)});
    }
    return WithHeader(descriptor::kLogicalChannel, body);
}

bool ReadPrivateDataSpecifier(SectionReader& body, uint32_t& specifier) {
    const uint16_t high = body.U16();
    const uint16_t low = body.U16();
    if (body.Error()) return false;
    specifier = uint32_t{high} << 16 | low;
    return true;
}

std::vector<uint8_t> WritePrivateDataSpecifier(uint32_t specifier) {
    return WithHeader(descriptor::kPrivateDataSpecifier,
                      {static_cast<uint8_t>(specifier >> 24), static_cast<uint8_t>(specifier >> 16),
                       static_cast<uint8_t>(specifier >> 8), static_cast<uint8_t>(specifier)});
}

}  // namespace si
