#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "acquisition/TableFilters.h"
#include "acquisition/Tuner.h"
#include "cardlib/Card.h"
#include "simnet/SimBackend.h"
#include "simnet/BroadcastSchedule.h"
#include "simnet/SimNetwork.h"
#include "framework/Dialog.h"
#include "framework/headless/HeadlessHost.h"
#include "res/ResourceIds.h"
#include "tests/AcquisitionTestSupport.h"
#include "tests/HostSupport.h"

namespace {

using acquisition_test::RecordingWriter;
using cardlib::SimNetwork;
using cardlib::SimTransport;

// The four requests against the simulated cable network, through the card's
// demux, the filter sockets and the real decoders.
class AcquisitionNetworkTest : public ::testing::Test {
protected:
    void SetUp() override {
        card.UseBackend(std::make_unique<cardlib::SimBackend>(network));
        card.Attach(host);
        filters.CreateTableFilters(&owner);
        filters.SetResultWindowForAll(&window);
    }
    void TearDown() override {
        filters.ShutDownTableFilters();
    }
    // Tunes so that the transport has to lock anew; returns when it locks.
    int64_t TuneAfresh(const SimTransport& transport) {
        if (card.Frequency() == transport.frequencyKHz) acquisition::Tune(123456);
        const int64_t tunedAt = host.Time().NowMs();
        EXPECT_EQ(acquisition::Tune(transport.frequencyKHz), 1);
        return tunedAt + cardlib::LockDelayMs(network, transport);
    }

    const SimNetwork& network = cardlib::DefaultNetwork();
    fw::HeadlessHost host;
    hosttest::RegisteredResources resources{host};
    cardlib::Card card;
    fw::Dialog owner{host, res::IDD_PROGRAM_LIST};
    TableFilters filters;
    RecordingWriter window;
};

// Each request is answered by the first section after lock, so it ends within
// one repetition of its table (PAT and PMT 100 ms, SDT 2 s, NIT 5 s here).
TEST_F(AcquisitionNetworkTest, EachRequestEndsWithinItsTablesRepetitionAfterLock) {
    EXPECT_LE(network.timing.patIntervalMs, 100);
    EXPECT_LE(network.timing.sdtIntervalMs, 2000);
    EXPECT_LE(network.timing.nitIntervalMs, 10000);
    for (const SimTransport& t : network.transports) {
        if (!t.locks) continue;
        SCOPED_TRACE(t.frequencyKHz);
        const cardlib::SimService* service = nullptr;
        for (const auto& s : t.services)
            if (s.pmtPid != 0 && !s.streams.empty() && service == nullptr) service = &s;
        ASSERT_NE(service, nullptr);
        const std::string tsid = std::to_string(t.transportStreamId);
        const std::string sid = std::to_string(service->serviceId);
        struct Request {
            const char* name;
            std::function<int()> isDone;
            int64_t interval;
            std::string row;
            int64_t doneAt = -1;
        };
        Request requests[] = {
            {"PAT", [&] { return filters.IsPatDone(); }, network.timing.patIntervalMs,
             "pat " + tsid + " " + sid + " " + std::to_string(service->pmtPid)},
            {"PMT", [&] { return filters.IsPmtDone(); }, network.timing.patIntervalMs,
             "pmt " + sid + " " + std::to_string(service->streams[0].pid) + " " +
                 std::to_string(service->streams[0].streamType)},
            // An SDT whose version changes while it is collected starts again: one repetition more.
            {"SDT", [&] { return filters.IsSdtDone(); }, network.timing.sdtIntervalMs * (t.HasUpdate() ? 2 : 1),
             "sdt version " + tsid},
            {"NIT", [&] { return filters.IsNitDone(); }, network.timing.nitIntervalMs, ""},
        };
        window.rows.clear();
        const int64_t lockAt = TuneAfresh(t);
        filters.RequestPat();
        filters.RequestPmt(service->pmtPid);
        filters.RequestSdt();
        filters.RequestNit();
        const int64_t until = lockAt + network.timing.nitIntervalMs + 1000;
        while (host.Time().NowMs() < until) {
            host.Advance(1);
            for (Request& r : requests)
                if (r.doneAt < 0 && r.isDone()) r.doneAt = host.Time().NowMs();
        }
        for (const Request& r : requests) {
            SCOPED_TRACE(r.name);
            EXPECT_GE(r.doneAt, lockAt);
            EXPECT_LT(r.doneAt, lockAt + r.interval);
            if (!r.row.empty()) {
                EXPECT_TRUE(window.Has(r.row)) << r.row;
            }
        }
        // The NIT lists transports of this network.
        bool listed = false;
        for (const SimTransport& other : network.transports)
            listed = listed || window.Has("transport " + std::to_string(other.transportStreamId) + " " +
                                          std::to_string(other.originalNetworkId));
        EXPECT_TRUE(listed);
        EXPECT_TRUE(host.Messages().empty());
    }
}

// Where nothing locks, every request ends at the first poll of the scan's
// 500 ms rhythm that comes more than 15 s after the request.
TEST_F(AcquisitionNetworkTest, RequestsOnADarkTransportEndByTimeOut) {
    const SimTransport* dark = nullptr;
    for (const SimTransport& t : network.transports)
        if (!t.locks) dark = &t;
    ASSERT_NE(dark, nullptr);
    acquisition::Tune(dark->frequencyKHz);
    host.Time().Set((host.Time().Now() + 1) * 1000);
    const int64_t requestedAt = host.Time().NowMs();
    filters.RequestNit();
    filters.RequestSdt();
    int64_t doneAt = -1;
    while (doneAt < 0 && host.Time().NowMs() - requestedAt < 30000) {
        host.Advance(500);
        if (filters.IsNitDone() && filters.IsSdtDone()) doneAt = host.Time().NowMs();
    }
    EXPECT_EQ(doneAt - requestedAt, 16000);
    EXPECT_TRUE(window.rows.empty());
    EXPECT_EQ(card.Calls().shutDownFilter, 2);
}

}  // namespace
