#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "card/TTCommDVB.h"
#include "cardlib/Card.h"
#include "cardlib/SimBackend.h"
#include "cardlib/SimNetwork.h"
#include "framework/Clock.h"
#include "framework/headless/HeadlessHost.h"
#include "tests/CardListener.h"

namespace {

using cardlib::Section;
using cardlib::SimNetwork;
using cardlib::SimTransport;

using cardtest::Listener;
using cardtest::Tune;

class SimNetworkTest : public ::testing::Test {
protected:
    void SetUp() override {
        card.UseBackend(std::make_unique<cardlib::SimBackend>(network));
        card.Attach(host);
    }
    const SimNetwork& network = cardlib::DefaultNetwork();
    fw::HeadlessHost host;
    cardlib::Card card;
};

bool CrcHolds(const Section& s) { return cardlib::Crc32Mpeg2(s.data(), s.size()) == 0; }

TEST(SimNetworkTables, EverySectionIsWellFormed) {
    for (const SimNetwork* network : {&cardlib::DefaultNetwork(), &cardlib::LargeNetwork()}) {
        std::vector<Section> all = cardlib::BuildNit(*network);
        for (const SimTransport& t : network->transports) {
            for (auto& s : cardlib::BuildPat(t)) all.push_back(s);
            for (auto& s : cardlib::BuildSdt(t)) all.push_back(s);
            for (auto& service : t.services)
                if (service.pmtPid) all.push_back(cardlib::BuildPmt(service));
        }
        for (const Section& s : all) {
            ASSERT_GE(s.size(), 12u);
            EXPECT_LE(s.size(), 1024u);
            EXPECT_EQ(s.size(), 3u + (((s[1] & 0x0F) << 8) | s[2]));
            EXPECT_TRUE(CrcHolds(s)) << "table " << int(s[0]);
        }
    }
    // 500 services do not fit one NIT or SDT section of the large network's tables...
    EXPECT_GT(cardlib::BuildNit(cardlib::LargeNetwork()).size(), 1u);
    const auto nit = cardlib::BuildNit(cardlib::LargeNetwork());
    // ...and the sections say so in their numbers.
    for (size_t i = 0; i < nit.size(); ++i) {
        EXPECT_EQ(nit[i][6], i);
        EXPECT_EQ(nit[i][7], nit.size() - 1);
    }
}

// EN 300 468 6.2.13.1, byte for byte: 346 MHz, 64-QAM, 6900 ksymbol/s, no convolutional coding.
TEST(SimNetworkTables, CableDeliveryDescriptorIsBcd) {
    const Section nit = cardlib::BuildNit(cardlib::DefaultNetwork()).at(0);
    const std::vector<uint8_t> expected = {0x44, 0x0B, 0x03, 0x46, 0x00, 0x00, 0xFF, 0xF2, 0x03, 0x00, 0x69, 0x00, 0x0F};
    auto at = std::search(nit.begin(), nit.end(), expected.begin(), expected.end());
    EXPECT_NE(at, nit.end());
    const std::vector<uint8_t> qam256 = {0x44, 0x0B, 0x03, 0x78, 0x00, 0x00, 0xFF, 0xF2, 0x05, 0x00, 0x69, 0x00, 0x0F};
    EXPECT_NE(std::search(nit.begin(), nit.end(), qam256.begin(), qam256.end()), nit.end());
}

Section ReadGolden(const std::string& name) {
    std::ifstream in(std::string(KELVANE_TEST_DATA) + "/simnet/" + name, std::ios::binary);
    return Section((std::istreambuf_iterator<char>(in)), {});
}

// The default network's sections are pinned byte for byte (ffprobe reads the
// same names, programs and streams from them); decoder tests may use the files.
TEST(SimNetworkTables, SectionsMatchTheGoldenFiles) {
    const SimNetwork& n = cardlib::DefaultNetwork();
    const std::pair<const char*, Section> cases[] = {
        {"nit-0.bin", cardlib::BuildNit(n)[0]},
        {"pat-346000.bin", cardlib::BuildPat(n.transports[0])[0]},
        {"sdt-346000.bin", cardlib::BuildSdt(n.transports[0])[0]},
        {"sdt-402000.bin", cardlib::BuildSdt(n.transports[7])[0]},
        {"sdt-434000.bin", cardlib::BuildSdt(n.transports[9])[0]},
        {"pmt-46.bin", cardlib::BuildPmt(n.transports[0].services[0])},
        {"pmt-1001.bin", cardlib::BuildPmt(n.transports[9].services[0])},
    };
    for (const auto& [name, built] : cases) {
        SCOPED_TRACE(name);
        const Section golden = ReadGolden(name);
        ASSERT_FALSE(golden.empty());
        EXPECT_TRUE(CrcHolds(golden));
        EXPECT_EQ(built, golden);
    }
}

TEST(SimNetworkTables, DefaultNetworkLooksLikeAGermanCableNetwork) {
    const SimNetwork& n = cardlib::DefaultNetwork();
    ASSERT_GE(n.transports.size(), 8u);
    ASSERT_LE(n.transports.size(), 12u);
    size_t services = 0, notLocking = 0, qam64 = 0, qam256 = 0;
    std::set<uint16_t> ids;
    std::set<std::pair<uint16_t, uint16_t>> tsOnid;
    std::set<uint16_t> tsids;
    bool unnamed = false, table5 = false, emphasis = false, nvodRef = false, shifted = false, ca = false, data = false,
         radio = false;
    for (const SimTransport& t : n.transports) {
        EXPECT_EQ(t.frequencyKHz % 8000, 2000u) << t.frequencyKHz;  // 8 MHz raster: 346, 354, ...
        EXPECT_EQ(t.symbolRate, 6900000u);
        qam64 += t.modulation == cardlib::Modulation::Qam64;
        qam256 += t.modulation == cardlib::Modulation::Qam256;
        notLocking += !t.locks;
        tsids.insert(t.transportStreamId);
        tsOnid.insert({t.transportStreamId, t.originalNetworkId});
        for (const auto& s : t.services) {
            ++services;
            ids.insert(s.serviceId);
            unnamed |= s.name.empty() && s.referenceServiceId == 0;
            table5 |= !s.name.empty() && s.name[0] == '\x05';
            emphasis |= s.name.find('\x86') != std::string::npos && s.name.find('\x87') != std::string::npos;
            nvodRef |= !s.nvodReferences.empty();
            shifted |= s.referenceServiceId != 0;
            ca |= !s.caSystemIds.empty();
            data |= s.serviceType == cardlib::service_type::kDataBroadcast;
            radio |= s.serviceType == cardlib::service_type::kRadio;
        }
    }
    EXPECT_GE(services, 50u);
    EXPECT_LE(services, 80u);
    EXPECT_EQ(notLocking, 1u);
    EXPECT_GT(qam64, 0u);
    EXPECT_GT(qam256, 0u);
    EXPECT_LT(tsids.size(), tsOnid.size());  // a transport_stream_id under two original_network_ids
    for (uint16_t id : {46, 47, 52, 53, 898, 899}) EXPECT_TRUE(ids.count(id)) << id;
    EXPECT_TRUE(unnamed && table5 && emphasis && nvodRef && shifted && ca && data && radio);
    EXPECT_TRUE(n.transports[n.homeTransport].locks);
    EXPECT_GE(cardlib::LargeNetwork().transports.size(), 45u);
}

TEST_F(SimNetworkTest, FrontEndStartsOnTheHomeTransport) {
    EXPECT_EQ(card.Frequency(), network.transports[network.homeTransport].frequencyKHz);
    // Already locked: the NIT comes within one repetition without any tuning.
    Listener nit(host, 0x10, 0x40, 0xF0);
    host.Advance(network.timing.nitIntervalMs);
    ASSERT_FALSE(nit.sections.empty());
    EXPECT_EQ(nit.sections[0], cardlib::BuildNit(network)[0]);
}

// Each table arrives within its repetition interval after lock, exactly as built.
TEST_F(SimNetworkTest, TablesArriveWithinTheirIntervalAfterLock) {
    for (const SimTransport& t : network.transports) {
        if (!t.locks) continue;
        SCOPED_TRACE(t.frequencyKHz);
        const cardlib::SimService* withPmt = nullptr;
        for (const auto& s : t.services)
            if (s.pmtPid && !withPmt) withPmt = &s;
        ASSERT_NE(withPmt, nullptr);
        struct Expect {
            uint16_t pid;
            uint8_t value, mask;
            int64_t interval;
            Section section;
        };
        const Expect expects[] = {
            {0x00, 0x00, 0x80, network.timing.patIntervalMs, cardlib::BuildPat(t)[0]},
            {0x10, 0x40, 0xF0, network.timing.nitIntervalMs, cardlib::BuildNit(network)[0]},
            {0x11, 0x42, 0xFF, network.timing.sdtIntervalMs, cardlib::BuildSdt(t)[0]},
            {withPmt->pmtPid, 0x02, 0x02, network.timing.patIntervalMs, cardlib::BuildPmt(*withPmt)},
        };
        const int64_t tunedAt = host.GetClock().NowMs();
        Tune(t.frequencyKHz);
        const int64_t lockAt = tunedAt + cardlib::LockDelayMs(network, t);
        EXPECT_GE(cardlib::LockDelayMs(network, t), 500);
        EXPECT_LE(cardlib::LockDelayMs(network, t), 1000);
        std::vector<std::unique_ptr<Listener>> listeners;
        for (const Expect& e : expects) listeners.push_back(std::make_unique<Listener>(host, e.pid, e.value, e.mask));
        host.Advance(lockAt + network.timing.nitIntervalMs - host.GetClock().NowMs());
        for (size_t i = 0; i < listeners.size(); ++i) {
            SCOPED_TRACE(expects[i].pid);
            ASSERT_FALSE(listeners[i]->sections.empty());
            EXPECT_GE(listeners[i]->times[0], lockAt);
            EXPECT_LT(listeners[i]->times[0], lockAt + expects[i].interval);
            EXPECT_EQ(listeners[i]->sections[0], expects[i].section);
        }
    }
}

TEST_F(SimNetworkTest, TablesRepeatAtTheirInterval) {
    Listener pat(host, 0x00, 0x00, 0x80);
    Listener sdt(host, 0x11, 0x42, 0xFF);
    host.Advance(10000);
    EXPECT_EQ(pat.sections.size(), 100u);
    EXPECT_EQ(sdt.sections.size(), 5u);
    for (size_t i = 1; i < pat.times.size(); ++i) EXPECT_EQ(pat.times[i] - pat.times[i - 1], 100);
}

TEST_F(SimNetworkTest, ANonLockingTransportOrUnknownFrequencyDeliversNothing) {
    const SimTransport* dark = nullptr;
    for (const SimTransport& t : network.transports)
        if (!t.locks) dark = &t;
    ASSERT_NE(dark, nullptr);
    for (unsigned long kHz : {static_cast<unsigned long>(dark->frequencyKHz), 123456ul}) {
        Tune(kHz);
        Listener pat(host, 0x00, 0x00, 0x80);
        Listener nit(host, 0x10, 0x40, 0xF0);
        host.Advance(30000);
        EXPECT_TRUE(pat.sections.empty());
        EXPECT_TRUE(nit.sections.empty());
        // The front end still reports what it was told.
        EXPECT_EQ(card.Frequency(), kHz);
    }
}

TEST_F(SimNetworkTest, NothingIsScheduledWhileNoFilterIsSet) {
    EXPECT_EQ(host.PendingEvents(), 0u);
    {
        Listener pat(host, 0x00, 0x00, 0x80);
        EXPECT_GT(host.PendingEvents(), 0u);
        host.Advance(1000);
    }
    // Sections still on their way may be left; they find no socket. Timing stops.
    host.Advance(100);
    EXPECT_EQ(host.PendingEvents(), 0u);
    // While tuning the front end has nothing to post either.
    Tune(354000);
    EXPECT_EQ(host.PendingEvents(), 0u);
}

TEST_F(SimNetworkTest, RetuningStopsTheOldTransportAtOnce) {
    Listener sdt(host, 0x11, 0x42, 0xFF);
    host.Advance(2000);
    ASSERT_FALSE(sdt.sections.empty());
    Tune(354000);
    sdt.sections.clear();
    sdt.times.clear();
    host.Advance(3000);
    ASSERT_FALSE(sdt.sections.empty());
    for (const Section& s : sdt.sections) EXPECT_EQ((s[3] << 8) | s[4], 2);  // transport_stream_id of 354 MHz
}

}  // namespace
