#include <gtest/gtest.h>
#include <linux/dvb/frontend.h>

#include <map>

#include "linuxdvb/LinuxDvbNit.h"
#include "simnet/SimNetwork.h"
#include "simnet/SimSections.h"
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

// Linux's vidtv driver counts only an entry's first six bytes in
// transport_stream_loop_length. libdvbv5 reads the entry whole, by its own
// transport_descriptors_length, and so do the scan and the Linux backend;
// an entry that runs past the section stays dropped.
TEST(NitDecoder, AnEntryLongerThanTheLoopLengthSaysIsReadWhileTheSectionHoldsIt) {
    const auto nit = [](const Bytes& descriptors, unsigned loopLength, unsigned descriptorsLength) {
        Bytes body = LongHeader(0x0744, 0);
        Put16(body, 0xF000);
        Put16(body, 0xF000 | loopLength);
        Put16(body, 0x0744);
        Put16(body, 0x0001);
        Put16(body, 0xF000 | descriptorsLength);
        Append(body, descriptors);
        return Section(0x40, body);
    };
    // vidtv's own: a service list descriptor of one service, 11 bytes said to be 6.
    const Bytes serviceList = Descriptor(0x41, {0x00, 0x01, 0x01});
    EXPECT_EQ(Decode(nit(serviceList, 6, 5)), std::vector<std::string>{"AddTransport 1860 1 0 0 0 0"});

    const Bytes cable = Cable({0x03, 0x46, 0x00, 0x00}, 5, {0x00, 0x69, 0x00, 0x0F});
    const Bytes section = nit(serviceList + cable, 6, 18);
    EXPECT_EQ(Decode(section), std::vector<std::string>{"AddTransport 1860 1 34600000 6900 5 15"});
    std::map<unsigned long, cardlib::DvbDelivery> deliveries;
    EXPECT_TRUE(cardlib::LearnDeliveriesFromNit(section.data(), section.size(), deliveries));
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries.at(346000).symbolRate, 6900000u);
    EXPECT_EQ(deliveries.at(346000).modulation, unsigned(QAM_256));
    EXPECT_EQ(deliveries.at(346000).innerFec, unsigned(FEC_NONE));

    // Descriptors said to reach past the section: the entry is not there.
    const Bytes past = nit(serviceList + cable, 6, 19);
    EXPECT_TRUE(Decode(past).empty());
    deliveries.clear();
    EXPECT_TRUE(cardlib::LearnDeliveriesFromNit(past.data(), past.size(), deliveries));
    EXPECT_TRUE(deliveries.empty());
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

std::vector<std::string> ChannelNumbers(const Bytes& section) {
    RecordingScanRowWriter window;
    Bytes exact(section);
    si::DecodeNit(exact.data(), static_cast<int>(exact.size()), &window);
    return window.channelNumbers;
}

// Hand-built entries of transport 1 of network 0x2201: each names service 0x0101.
TEST(NitDecoder, ChannelNumbersAreReadByTheSpecifierBeforeThem) {
    const Bytes eacem = Descriptor(0x5F, {0, 0, 0, 0x28});
    const Bytes nordig = Descriptor(0x5F, {0, 0, 0, 0x29});
    const Bytes other = Descriptor(0x5F, {0, 0, 0x23, 0x3A});
    // Visible, reserved bits set, number bits 0x3C05: EACEM keeps 10 bits (5), NorDig 14.
    const Bytes lcn = Descriptor(0x83, {0x01, 0x01, 0xFC, 0x05});
    const Bytes list = Descriptor(0x87, Bytes{1, 3} + Text("AllDEU") + Bytes{4, 0x01, 0x01, 0xC0, 0x07} + Bytes{2, 0} +
                                            Text("DEU") + Bytes{4, 0x01, 0x01, 0xC0, 0x08});
    struct Case {
        const char* name;
        Bytes descriptors;
        std::vector<std::string> expected;
        Bytes secondEntry = {};
    };
    const Case cases[] = {
        {"EACEM", eacem + lcn, {"8705 1 257 5"}},
        {"EACEM without a specifier", lcn, {"8705 1 257 5"}},
        {"NorDig version 1", nordig + lcn, {"8705 1 257 15365"}},
        {"NorDig version 2: the first list, after version 1", nordig + lcn + list, {"8705 1 257 15365", "8705 1 257 7"}},
        {"version 2 under another specifier is not NorDig's", eacem + list, {}},
        {"another operator's 0x83", other + lcn, {}},
        {"a specifier ends with its loop", other, {"8705 2 257 5"}, lcn},
        {"number 0 is none", Descriptor(0x83, {0x01, 0x01, 0xFC, 0x00}), {}},
        {"an entry cut short is dropped", Descriptor(0x83, {0x01, 0x01, 0xFC, 0x05, 0x01}), {"8705 1 257 5"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ChannelNumbers(Nit({}, {{1, 0x2201, c.descriptors}, {2, 0x2201, c.secondEntry}})),
                  c.expected);
    }
}

// What the built-in networks' NITs number, in all three forms, is what their
// descriptions say.
TEST(NitDecoder, BuiltInNetworksChannelNumbersReadBack) {
    for (const cardlib::SimNetwork* network :
         {&cardlib::DefaultNetwork(), &cardlib::OperatorNetwork(), &cardlib::OperatorFullNetwork()}) {
        std::vector<std::string> expected, actual;
        std::vector<size_t> listed = network->nitTransports;
        if (listed.empty())
            for (size_t i = 0; i < network->transports.size(); ++i) listed.push_back(i);
        for (size_t i : listed) {
            const cardlib::SimTransport& t = network->transports[i];
            for (const cardlib::SimService& s : t.services) {
                if (s.channelNumber == 0) continue;
                expected.push_back(std::to_string(t.originalNetworkId) + " " + std::to_string(t.transportStreamId) +
                                   " " + std::to_string(s.serviceId) + " " + std::to_string(s.channelNumber));
            }
        }
        for (const cardlib::Section& section : cardlib::BuildNit(*network)) {
            for (const std::string& row : ChannelNumbers(Bytes(section.begin(), section.end()))) actual.push_back(row);
        }
        EXPECT_GT(expected.size(), 4u) << network->networkName;
        EXPECT_EQ(actual, expected) << network->networkName;
    }
}

}  // namespace
