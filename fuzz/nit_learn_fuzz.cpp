// Arbitrary sections into what the Linux DVB backend learns from a NIT: each
// input goes in as it is and with its last four bytes made a correct CRC, so
// the transport loop behind the check sees the fuzzer's bytes too. Every
// delivery learnt must be for a frequency.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <vector>

#include "linuxdvb/LinuxDvbNit.h"
#include "broadcast/Crc32.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::map<unsigned long, cardlib::DvbDelivery> deliveries;
    cardlib::LearnDeliveriesFromNit(data, size, deliveries);
    if (size >= 4) {
        std::vector<uint8_t> section(data, data + size);
        const uint32_t crc = si::Crc32Mpeg2(section.data(), section.size() - 4);
        for (int i = 0; i < 4; ++i) section[section.size() - 4 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        cardlib::LearnDeliveriesFromNit(section.data(), section.size(), deliveries);
    }
    for (const auto& entry : deliveries)
        if (entry.first == 0) std::abort();
    return 0;
}
