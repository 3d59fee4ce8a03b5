#include <gtest/gtest.h>

#include "si/Decoders.h"
#include "tests/SiTestSupport.h"

using namespace sitest;

namespace {

struct SdtService {
    unsigned serviceId;
    Bytes descriptors;
};

Bytes Sdt(unsigned transportStreamId, unsigned originalNetworkId, unsigned version,
          const std::vector<SdtService>& services) {
    Bytes body = LongHeader(transportStreamId, version);
    Put16(body, originalNetworkId);
    body.push_back(0xFF);
    for (const SdtService& s : services) {
        Put16(body, s.serviceId);
        body.push_back(0xFC);
        // running_status 4 (running), free_CA_mode 0
        Put16(body, 0x8000 | s.descriptors.size());
        Append(body, s.descriptors);
    }
    return Section(0x42, body);
}

Bytes ServiceDescriptor(uint8_t type, const std::string& provider, const std::string& name) {
    Bytes body{type, static_cast<uint8_t>(provider.size())};
    Append(body, Text(provider));
    body.push_back(static_cast<uint8_t>(name.size()));
    Append(body, Text(name));
    return Descriptor(0x48, body);
}

std::vector<std::string> Decode(const Bytes& section) {
    RecordingScanRowWriter window;
    Bytes exact(section);
    si::DecodeSdt(exact.data(), static_cast<int>(exact.size()), &window);
    return window.calls;
}

TEST(SdtDecoder, HandsOverServicesAsTheirDescriptorsDescribeThem) {
    struct Case {
        const char* name;
        std::vector<SdtService> services;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"named service with its raw name bytes",
         {{28006, ServiceDescriptor(1, "\x05" "ARD", "\x05" "Das Erste \x86" "HD\x87")}},
         {"AddServiceDetails 1101 1 28006 1 [\x05" "Das Erste \x86" "HD\x87] [\x05" "ARD] [] 0"}},
        {"CA-only service does not borrow the type of the one before",
         {{1, ServiceDescriptor(25, "P", "One")}, {2, Descriptor(0x53, {0x17, 0x22, 0x06, 0x04})}},
         {"AddServiceDetails 1101 1 1 25 [One] [P] [] 0", "AddServiceDetails 1101 1 2 0 [] [] [1722 0604 ] 0"}},
        {"CA ids of several descriptors concatenate, duplicates kept",
         {{3, Descriptor(0x53, {0x17, 0x22}) + ServiceDescriptor(1, "", "X") + Descriptor(0x53, {0x17, 0x22, 0x01, 0x00})}},
         {"AddServiceDetails 1101 1 3 1 [X] [] [1722 1722 0100 ] 0"}},
        {"a second service descriptor appends names and replaces the type",
         {{4, ServiceDescriptor(1, "A", "B") + ServiceDescriptor(2, "C", "D")}},
         {"AddServiceDetails 1101 1 4 2 [BD] [AC] [] 0"}},
        {"time-shifted service gives only its reference",
         {{5, ServiceDescriptor(1, "P", "Shifted") + Descriptor(0x4C, {0x01, 0x01})}},
         {"SetServiceNvodReference 1101 1 5 257"}},
        {"NVOD reference with two entries lends its details to the last",
         {{6, ServiceDescriptor(24, "P", "Movies") + Descriptor(0x53, {0x0B, 0x00}) +
                  Descriptor(0x4B, {0x00, 0x0A, 0x00, 0x0B, 0x00, 0x0C, 0x00, 0x14, 0x00, 0x15, 0x00, 0x16})}},
         {"AddServiceDetails 1101 1 6 24 [Movies] [P] [0B00 ] 0", "AddServiceDetails 20 21 22 24 [Movies] [P] [0B00 ] 6"}},
        {"bouquet name, country and linkage contribute nothing",
         {{7, Descriptor(0x47, Text("B")) + Descriptor(0x49, Text("DEU\xFF")) + Descriptor(0x4A, Bytes(7, 1))}},
         {"AddServiceDetails 1101 1 7 0 [] [] [] 0"}},
        {"service names running past their descriptor drop the descriptor",
         {{8, Descriptor(0x48, {0x01, 0x05, 'A', 'B'}) + Descriptor(0x53, {0x17, 0x22, 0x06})}},
         {"AddServiceDetails 1101 1 8 0 [] [] [1722 ] 0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> expected{"SetTransportSdtVersion 1101 1 9"};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(Decode(Sdt(1101, 1, 9, c.services)), expected);
    }
}

TEST(SdtDecoder, SectionWithoutRoomForAServiceOnlyMarksTheVersion) {
    // section_length 15: the header and one byte short of a service entry.
    Bytes section = Sdt(1101, 1, 31, {});
    Append(section, {0x00, 0x01, 0xFC});
    section[2] = 15;
    section.resize(18);
    EXPECT_EQ(Decode(section), std::vector<std::string>{"SetTransportSdtVersion 1101 1 31"});

    // A service loop that only reaches into the CRC gives no service either.
    Bytes empty = Sdt(1102, 2, 0, {});
    EXPECT_EQ(Decode(empty), std::vector<std::string>{"SetTransportSdtVersion 1102 2 0"});
}

TEST(SdtDecoder, OtherTransportTablesDecodeAlike) {
    Bytes section = Sdt(5, 6, 1, {{9, ServiceDescriptor(2, "R", "Radio")}});
    section[0] = 0x46;
    EXPECT_EQ(Decode(section), (std::vector<std::string>{"SetTransportSdtVersion 5 6 1",
                                                         "AddServiceDetails 5 6 9 2 [Radio] [R] [] 0"}));
}

}  // namespace
