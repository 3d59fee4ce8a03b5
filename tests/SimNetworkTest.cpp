#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>

#include "card/TTCommDVB.h"
#include "cardlib/Card.h"
#include "simnet/SimBackend.h"
#include "simnet/BroadcastSchedule.h"
#include "simnet/SimNetwork.h"
#include "simnet/SimSections.h"
#include "framework/Clock.h"
#include "framework/headless/HeadlessHost.h"
#include "broadcast/SiTags.h"
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

bool CrcHolds(const Section& s) { return si::Crc32Mpeg2(s.data(), s.size()) == 0; }

TEST(SimNetworkTables, EverySectionIsWellFormed) {
    for (const SimNetwork* network : {&cardlib::DefaultNetwork(), &cardlib::LargeNetwork()}) {
        std::vector<Section> all;
        for (const SimTransport& t : network->transports)
            for (const cardlib::SimTable& table : cardlib::TransportTables(*network, t))
                for (auto& s : table.SectionsAt(fw::HeadlessHost::kDefaultStartMs)) all.push_back(s);
        for (const Section& s : all) {
            ASSERT_GE(s.size(), 8u);
            EXPECT_LE(s.size(), 1024u);
            EXPECT_EQ(s.size(), 3u + (((s[1] & 0x0F) << 8) | s[2]));
            // The TDT is the one table without a CRC.
            if (s[0] != si::table::kTdt) {
                EXPECT_TRUE(CrcHolds(s)) << "table " << int(s[0]);
            }
        }
    }
    // 500 services do not fit one NIT section of the large network...
    const auto nit = cardlib::BuildNit(cardlib::LargeNetwork());
    EXPECT_GT(nit.size(), 1u);
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
        // The one the NIT does not list is at a rare symbol rate.
        EXPECT_EQ(t.symbolRate, t.frequencyKHz == 466000 ? 6111000u : 6900000u);
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
    // Already locked: the whole NIT comes within one repetition without any tuning.
    Listener nit(host, 0x10, 0x40, 0xFF);
    host.Advance(network.timing.nitIntervalMs);
    const auto built = cardlib::BuildNit(network);
    EXPECT_EQ(std::set<Section>(nit.sections.begin(), nit.sections.end()), std::set<Section>(built.begin(), built.end()));
}

// Each table arrives within its repetition interval after lock, as built.
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
            std::vector<Section> sections;  // any of them may come first
        };
        auto both = [](std::vector<Section> before, const std::vector<Section>& after) {
            before.insert(before.end(), after.begin(), after.end());
            return before;
        };
        Expect expects[] = {
            {0x00, 0x00, 0x80, network.timing.patIntervalMs, both(cardlib::BuildPat(t, false), cardlib::BuildPat(t))},
            {0x10, 0x40, 0xFF, network.timing.nitIntervalMs, cardlib::BuildNit(network)},
            {0x11, 0x42, 0xFF, network.timing.sdtIntervalMs, both(cardlib::BuildSdt(t, false), cardlib::BuildSdt(t))},
            {withPmt->pmtPid, 0x02, 0x02, network.timing.patIntervalMs, {}},
        };
        for (const auto& s : t.services)
            if (s.pmtPid == withPmt->pmtPid) expects[3].sections.push_back(cardlib::BuildPmt(s));
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
            for (const Section& got : listeners[i]->sections)
                EXPECT_NE(std::find(expects[i].sections.begin(), expects[i].sections.end(), got), expects[i].sections.end());
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

int Version(const Section& s) { return (s[5] >> 1) & 0x1F; }

// program_number to PMT PID, from a PAT section.
std::map<int, int> PatPrograms(const Section& pat) {
    std::map<int, int> programs;
    for (size_t at = 8; at + 4 + 4 <= pat.size(); at += 4)
        if (int number = (pat[at] << 8) | pat[at + 1]) programs[number] = ((pat[at + 2] & 0x1F) << 8) | pat[at + 3];
    return programs;
}

// A receiver meets on every transport's shared PIDs what a real cable network
// sends: its own NIT in sections that come in any order, other networks' NIT
// and SDTs, bouquets, the programme guide and the clock.
TEST_F(SimNetworkTest, SharedPidsCarryWhatARealNetworkSends) {
    std::map<uint16_t, std::set<int>> tableIds;
    std::set<int> firstNitSection;
    size_t splitSdts = 0;
    for (const SimTransport& t : network.transports) {
        if (!t.locks) continue;
        SCOPED_TRACE(t.frequencyKHz);
        Tune(t.frequencyKHz);
        std::map<uint16_t, std::unique_ptr<Listener>> on;
        for (uint16_t pid : {0x10, 0x11, 0x12, 0x14}) on[pid] = std::make_unique<Listener>(host, pid, 0x00, 0x00);
        host.Advance(cardlib::LockDelayMs(network, t) + network.timing.otherIntervalMs);
        std::set<int> nitSections, sdtSections;
        for (auto& [pid, listener] : on) {
            for (size_t i = 0; i < listener->sections.size(); ++i) {
                const Section& s = listener->sections[i];
                tableIds[pid].insert(s[0]);
                if (s[0] == si::table::kNitActual) {
                    if (nitSections.empty()) firstNitSection.insert(s[6]);
                    nitSections.insert(s[6]);
                    EXPECT_EQ(s[7], 1);
                }
                if (s[0] == si::table::kSdtActual) {
                    sdtSections.insert(s[6]);
                    splitSdts += s[6] == 1;
                }
                if (s[0] == si::table::kTdt || s[0] == si::table::kTot) {
                    EXPECT_EQ(std::vector<uint8_t>(s.begin() + 3, s.begin() + 8), cardlib::MjdUtc(listener->times[i]));
                }
            }
        }
        EXPECT_EQ(nitSections, (std::set<int>{0, 1}));
    }
    EXPECT_EQ(tableIds[0x10], (std::set<int>{0x40, 0x41}));
    EXPECT_EQ(tableIds[0x11], (std::set<int>{0x42, 0x46, 0x4A}));
    EXPECT_EQ(tableIds[0x12], (std::set<int>{0x4E}));
    EXPECT_EQ(tableIds[0x14], (std::set<int>{0x70, 0x73}));
    // The repetition cycle is not always met at its start.
    EXPECT_EQ(firstNitSection, (std::set<int>{0, 1}));
    EXPECT_GT(splitSdts, 0u);
}

TEST_F(SimNetworkTest, AServiceIsAddedWhileTheTransportIsRead) {
    const SimTransport* updating = nullptr;
    for (const SimTransport& t : network.transports)
        if (t.HasUpdate() && !updating) updating = &t;
    ASSERT_NE(updating, nullptr);
    uint16_t added = 0;
    for (const auto& s : updating->services)
        if (s.addedByUpdate) added = s.serviceId;
    Tune(updating->frequencyKHz);
    Listener pat(host, 0x00, 0x00, 0x80);
    Listener sdt(host, 0x11, 0x42, 0xFF);
    host.Advance(cardlib::LockDelayMs(network, *updating) + 2 * network.timing.sdtIntervalMs);

    // The first SDT section after lock is of the old version, every later one of the new.
    const auto sdtBefore = cardlib::BuildSdt(*updating, false), sdtAfter = cardlib::BuildSdt(*updating);
    ASSERT_GE(sdtBefore.size(), 2u);
    ASSERT_GE(sdt.sections.size(), 3u);
    EXPECT_EQ(Version(sdtAfter[0]), Version(sdtBefore[0]) + 1);
    EXPECT_NE(std::find(sdtBefore.begin(), sdtBefore.end(), sdt.sections[0]), sdtBefore.end());
    for (size_t i = 1; i < sdt.sections.size(); ++i)
        EXPECT_NE(std::find(sdtAfter.begin(), sdtAfter.end(), sdt.sections[i]), sdtAfter.end()) << i;
    // The PAT changes at the same moment and lists the new program from then on.
    const Section patBefore = cardlib::BuildPat(*updating, false)[0], patAfter = cardlib::BuildPat(*updating)[0];
    EXPECT_EQ(PatPrograms(patBefore).count(added), 0u);
    EXPECT_EQ(PatPrograms(patAfter).count(added), 1u);
    EXPECT_EQ(Version(patAfter), Version(patBefore) + 1);
    ASSERT_FALSE(pat.sections.empty());
    EXPECT_TRUE(std::is_partitioned(pat.sections.begin(), pat.sections.end(), [&](const Section& s) { return s == patBefore; }));
    EXPECT_EQ(pat.sections.back(), patAfter);
    EXPECT_LT(pat.times[std::find(pat.sections.begin(), pat.sections.end(), patAfter) - pat.sections.begin()], sdt.times[1]);

    // Once on air the new service stays, however often the tuner comes back.
    Tune(network.transports[network.homeTransport].frequencyKHz);
    Tune(updating->frequencyKHz);
    pat.sections.clear();
    host.Advance(cardlib::LockDelayMs(network, *updating) + network.timing.patIntervalMs);
    ASSERT_FALSE(pat.sections.empty());
    EXPECT_EQ(pat.sections.front(), patAfter);
}

// Program 101 is on two transports in different PMT PIDs, and one PMT PID
// carries two programs, each in the section of its program_number.
TEST_F(SimNetworkTest, ProgramNumbersAndPmtPidsAreSharedAsOnRealNetworks) {
    std::set<int> pidsOf101;
    bool sharedPidChecked = false;
    for (const SimTransport& t : network.transports) {
        if (!t.locks) continue;
        Tune(t.frequencyKHz);
        Listener pat(host, 0x00, 0x00, 0x80);
        host.Advance(cardlib::LockDelayMs(network, t) + network.timing.patIntervalMs);
        ASSERT_FALSE(pat.sections.empty());
        std::map<int, std::set<int>> programsOnPid;
        for (const auto& [number, pmtPid] : PatPrograms(pat.sections.back())) {
            if (number == 101) pidsOf101.insert(pmtPid);
            programsOnPid[pmtPid].insert(number);
        }
        for (const auto& [pmtPid, programs] : programsOnPid) {
            if (programs.size() < 2) continue;
            Listener pmt(host, static_cast<uint16_t>(pmtPid), 0x02, 0xFF);
            host.Advance(network.timing.patIntervalMs);
            std::set<int> got;
            for (const Section& s : pmt.sections) got.insert((s[3] << 8) | s[4]);
            EXPECT_EQ(got, programs);
            sharedPidChecked = true;
        }
    }
    EXPECT_EQ(pidsOf101.size(), 2u);
    EXPECT_TRUE(sharedPidChecked);
}

}  // namespace
