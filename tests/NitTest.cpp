#include <gtest/gtest.h>

#include "si/Decoders.h"
#include "tests/SiTestSupport.h"

using namespace sitest;

namespace {

struct NitEntry {
    unsigned transportStreamId, originalNetworkId;
    Bytes descriptors;
};

Bytes Nit(const Bytes& networkDescriptors, const std::vector<NitEntry>& entries) {
    Bytes body = LongHeader(0x0789, 4);
    Put16(body, 0xF000 | networkDescriptors.size());
    Append(body, networkDescriptors);
    Bytes loop;
    for (const NitEntry& e : entries) {
        Put16(loop, e.transportStreamId);
        Put16(loop, e.originalNetworkId);
        Put16(loop, 0xF000 | e.descriptors.size());
        Append(loop, e.descriptors);
    }
    Put16(body, 0xF000 | loop.size());
    Append(body, loop);
    return Section(0x40, body);
}

// EN 300 468 6.2.13.1 layout: frequency (4), reserved + FEC_outer (2),
// modulation, symbol_rate and FEC_inner (4).
Bytes Cable(Bytes frequency, uint8_t modulation, Bytes rate) {
    return Descriptor(0x44, frequency + Bytes{0xFF, 0xF2, modulation} + rate);
}

std::vector<std::string> Decode(const Bytes& section) {
    RecordingScanRowWriter window;
    Bytes exact(section);
    si::DecodeNit(exact.data(), static_cast<int>(exact.size()), &window);
    return window.calls;
}

TEST(NitDecoder, CableDeliveryGivesFrequencyAndRoundedSymbolRate) {
    struct Case {
        const char* name;
        Bytes descriptor;
        const char* expected;
    };
    const Case cases[] = {
        {"346 MHz, 6.9000 Msym/s", Cable({0x03, 0x46, 0x00, 0x00}, 3, {0x00, 0x69, 0x00, 0x05}),
         "AddTransport 1 1 34600000 6900 3 5"},
        {"6.8755 Msym/s rounds up", Cable({0x03, 0x46, 0x00, 0x00}, 3, {0x00, 0x68, 0x75, 0x53}),
         "AddTransport 1 1 34600000 6876 3 3"},
        {"6.8754 Msym/s rounds down", Cable({0x03, 0x46, 0x00, 0x00}, 5, {0x00, 0x68, 0x75, 0x4F}),
         "AddTransport 1 1 34600000 6875 5 15"},
        {"every digit place of the frequency", Cable({0x12, 0x34, 0x56, 0x78}, 1, {0x12, 0x34, 0x56, 0x71}),
         "AddTransport 1 1 123456780 123457 1 1"},
        {"nibbles above 9 add their value", Cable({0x00, 0x00, 0x00, 0x0A}, 0, {0x00, 0x00, 0x00, 0xF0}),
         "AddTransport 1 1 100 2 0 0"},
        {"satellite delivery only", Descriptor(0x43, Bytes(11, 0x12)), "AddTransport 1 1 0 0 0 0"},
        {"no descriptor", {}, "AddTransport 1 1 0 0 0 0"},
        {"cable descriptor too short is dropped", Descriptor(0x44, {0x03, 0x46, 0x00, 0x00, 0xFF}),
         "AddTransport 1 1 0 0 0 0"},
        {"service list before the cable descriptor",
         Descriptor(0x41, {0x00, 0x01, 0x01}) + Cable({0x04, 0x50, 0x00, 0x00}, 3, {0x00, 0x69, 0x00, 0x05}),
         "AddTransport 1 1 45000000 6900 3 5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Decode(Nit({}, {{1, 1, c.descriptor}})), std::vector<std::string>{c.expected});
    }
}

TEST(NitDecoder, EveryEntryGivesOneTransportInLoopOrder) {
    const Bytes networkName = Descriptor(0x40, Text("Kabel"));
    const Bytes section = Nit(networkName + Cable({0x09, 0x99, 0x00, 0x00}, 4, {0x00, 0x10, 0x00, 0x01}),
                              {{2, 0x0085, Cable({0x03, 0x46, 0x00, 0x00}, 3, {0x00, 0x69, 0x00, 0x05})},
                               {1, 0x0085, Cable({0x03, 0x54, 0x00, 0x00}, 3, {0x00, 0x69, 0x00, 0x05})}});
    EXPECT_EQ(Decode(section), (std::vector<std::string>{"AddTransport 2 133 34600000 6900 3 5",
                                                         "AddTransport 1 133 35400000 6900 3 5"}));
}

TEST(NitDecoder, LaterCableDescriptorOfAnEntryOverwritesTheFirst) {
    const Bytes section = Nit({}, {{3, 4,
                                    Cable({0x03, 0x46, 0x00, 0x00}, 3, {0x00, 0x69, 0x00, 0x05}) +
                                        Cable({0x03, 0x54, 0x00, 0x00}, 5, {0x00, 0x68, 0x75, 0x02})}});
    EXPECT_EQ(Decode(section), std::vector<std::string>{"AddTransport 3 4 35400000 6875 5 2"});
}

TEST(BatDecoder, ChangesNothing) {
    Bytes body = LongHeader(0x1234, 0);
    const Bytes bouquetName = Descriptor(0x47, Text("Bouquet"));
    Put16(body, 0xF000 | bouquetName.size());
    Append(body, bouquetName);
    Put16(body, 0xF000 | 6);
    Append(body, {0, 1, 0, 1, 0xF0, 0});
    Bytes bat = Section(0x4A, body);
    // The BAT decoder has no window to write to: all it may do is stay inside the section.
    si::DecodeBat(bat.data(), static_cast<int>(bat.size()));
    EXPECT_EQ(bat, Section(0x4A, body));
}

}  // namespace
