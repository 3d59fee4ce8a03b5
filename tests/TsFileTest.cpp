#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <set>

#include "cardlib/Card.h"
#include "simnet/BroadcastSchedule.h"
#include "simnet/SimNetwork.h"
#include "simnet/SimSections.h"
#include "tsfile/TsFileBackend.h"
#include "simnet/TsPacketizer.h"
#include "testing/CaptureWriter.h"
#include "tests/CardListener.h"

namespace {

using cardlib::Section;
using cardlib::SimNetwork;
using cardlib::SimTransport;
using cardtest::Listener;
using cardtest::Tune;

class TsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("kelvane-ts-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    void Use(unsigned long home = 0) {
        card.UseBackend(std::make_unique<cardlib::TsFileBackend>(folder.string(), home));
        card.Attach(host);
    }

    std::filesystem::path folder;
    fw::HeadlessHost host;
    cardlib::Card card;
    const SimNetwork& network = cardlib::DefaultNetwork();
};

TEST_F(TsFileTest, WrittenFolderHasAFilePerTransportThatLocks) {
    std::string error;
    ASSERT_TRUE(cardlib::WriteTsFolder(network, folder.string(), &error)) << error;
    std::vector<unsigned long> expected;
    for (const SimTransport& t : network.transports)
        if (t.locks) expected.push_back(t.frequencyKHz);
    EXPECT_EQ(cardlib::TsFilesIn(folder.string()), expected);
    // Files are whole packets, each starting with the sync byte.
    std::ifstream in(folder / "346000.ts", std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(bytes.size() % 188, 0u);
    for (size_t at = 0; at < bytes.size(); at += 188) ASSERT_EQ(static_cast<uint8_t>(bytes[at]), 0x47);
}

// The file backend over the written network hands over the same sections as the network sends.
TEST_F(TsFileTest, PlaysTheSameSectionsAsTheSimulatedNetwork) {
    std::string error;
    ASSERT_TRUE(cardlib::WriteTsFolder(network, folder.string(), &error)) << error;
    Use();
    EXPECT_EQ(card.Frequency(), 346000u);
    for (const SimTransport& t : network.transports) {
        if (!t.locks) continue;
        SCOPED_TRACE(t.frequencyKHz);
        Tune(t.frequencyKHz);
        // Every table may come; those on air for good and repeated within the
        // time listened must.
        std::map<uint16_t, std::set<Section>> may, must;
        for (const cardlib::SimTable& table : cardlib::TransportTables(network, t)) {
            if (table.atTime || table.pid == 0x12 || table.pid == 0x14) continue;
            may[table.pid].insert(table.sections.begin(), table.sections.end());
            if (table.untilMs == std::numeric_limits<int64_t>::max() && table.intervalMs <= network.timing.nitIntervalMs)
                must[table.pid].insert(table.sections.begin(), table.sections.end());
        }
        std::map<uint16_t, std::unique_ptr<Listener>> listeners;
        for (const auto& [pid, sections] : may)
            listeners[pid] = std::make_unique<Listener>(host, pid, pid == 0x10 ? 0x40 : 0, pid == 0x10 ? 0xF0 : 0);
        const int64_t tunedAt = host.GetClock().NowMs();
        // PAT and PMTs within their 100 ms after lock (plus one 20 ms tick), the rest within a cycle.
        host.Advance(cardlib::TsFileBackend::kLockDelayMs + 100 + cardlib::TsFileBackend::kTickMs);
        EXPECT_FALSE(listeners[0x00]->sections.empty());
        host.Advance(network.timing.nitIntervalMs + 200);
        for (auto& [pid, listener] : listeners) {
            SCOPED_TRACE(pid);
            const std::set<Section> got(listener->sections.begin(), listener->sections.end());
            EXPECT_TRUE(std::includes(may[pid].begin(), may[pid].end(), got.begin(), got.end()));
            EXPECT_TRUE(std::includes(got.begin(), got.end(), must[pid].begin(), must[pid].end()));
            EXPECT_GE(listener->times.front(), tunedAt + cardlib::TsFileBackend::kLockDelayMs);
        }
    }
}

TEST_F(TsFileTest, MissingEmptyOrUnreadableFilesDoNotLock) {
    std::string error;
    ASSERT_TRUE(cardlib::WriteTsFolder(network, folder.string(), &error)) << error;
    std::ofstream(folder / "700000.ts").close();                     // empty
    std::ofstream(folder / "708000.ts") << "not a transport stream";  // shorter than a packet
    std::filesystem::create_directory(folder / "716000.ts");          // cannot be read as a file
    Use();
    for (unsigned long kHz : {450000ul, 700000ul, 708000ul, 716000ul, 999000ul}) {
        SCOPED_TRACE(kHz);
        Tune(kHz);
        Listener pat(host, 0x00, 0x00, 0x80);
        Listener nit(host, 0x10, 0x40, 0xF0);
        host.Advance(12000);
        EXPECT_TRUE(pat.sections.empty());
        EXPECT_TRUE(nit.sections.empty());
        EXPECT_EQ(host.PendingEvents(), 0u);  // a dark transport posts nothing
    }
}

TEST_F(TsFileTest, RateComesFromThePcrOrIsFiftyMegabits) {
    std::filesystem::create_directories(folder);
    const std::vector<uint8_t> withPcr = cardlib::TransportStream(network, network.transports[0]);
    std::ofstream(folder / "346000.ts", std::ios::binary).write(reinterpret_cast<const char*>(withPcr.data()),
                                                                 static_cast<std::streamsize>(withPcr.size()));
    std::vector<uint8_t> withoutPcr;
    cardlib::TsPacketizer packetizer;
    for (int i = 0; i < 100; ++i) packetizer.Packetize(0, cardlib::BuildPat(network.transports[0]), withoutPcr);
    std::ofstream(folder / "354000.ts", std::ios::binary).write(reinterpret_cast<const char*>(withoutPcr.data()),
                                                                 static_cast<std::streamsize>(withoutPcr.size()));
    cardlib::TsFileBackend backend(folder.string());
    // One cycle of the network, 10 s, played in 10 s.
    const double seconds = static_cast<double>(withPcr.size()) / static_cast<double>(backend.BytesPerSecond());
    EXPECT_NEAR(seconds, 10.0, 0.01);
    backend.Tune(354000, 0);
    EXPECT_EQ(backend.BytesPerSecond(), 50000000u / 8);
}

TEST_F(TsFileTest, FileLoopsAndKeepsDelivering) {
    std::string error;
    ASSERT_TRUE(cardlib::WriteTsFolder(network, folder.string(), &error)) << error;
    Use();
    Tune(362000);  // an SDT of one section
    Listener sdt(host, 0x11, 0x42, 0xFF);
    host.Advance(35000);
    // SDT every 2 s over three and a half loops of a 10 s file.
    EXPECT_GE(sdt.sections.size(), 16u);
    for (size_t i = 1; i < sdt.times.size(); ++i) EXPECT_NEAR(sdt.times[i] - sdt.times[i - 1], 2000, 40);
}

}  // namespace
