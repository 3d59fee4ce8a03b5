#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "acquisition/SiFilterSocket.h"
#include "acquisition/TableFilters.h"
#include "cardlib/Card.h"
#include "framework/Dialog.h"
#include "framework/headless/HeadlessHost.h"
#include "res/ResourceIds.h"
#include "tests/AcquisitionTestSupport.h"
#include "tests/HostSupport.h"

namespace {

using namespace acquisition_test;
using Bytes = std::vector<unsigned char>;

// An event store entry that reports its deletion.
class CountedObject : public fw::Object {
public:
    explicit CountedObject(int& deleted) : m_Deleted(deleted) {}
    ~CountedObject() override { ++m_Deleted; }

private:
    int& m_Deleted;
};

class TableFilterTest : public ::testing::Test {
protected:
    void SetUp() override { card.Attach(host); }
    void TearDown() override { filters.ShutDownTableFilters(); }
    cardlib::CardFaults& Faults() { return card.Faults(); }
    cardlib::CardCalls& Calls() { return card.Calls(); }
    void AdvanceSeconds(int seconds) { host.Time().Set(host.Time().NowMs() + seconds * 1000LL); }

    fw::HeadlessHost host;
    hosttest::RegisteredResources resources{host};
    cardlib::Card card;
    fw::Dialog owner{host, res::IDD_PROGRAM_LIST};
    TableFilters filters;
};

// The poll compares whole seconds on the host's clock: 15 s after the filter
// was set is still within the time-out, 16 s is past it.
TEST_F(TableFilterTest, PollWaitsUpToFifteenSecondsThenShutsTheFilterDown) {
    const struct {
        int64_t elapsedMs;
        int waiting;
    } cases[] = {{0, 1}, {14999, 1}, {15000, 1}, {15999, 1}, {16000, 0}, {60000, 0},
                 // The clock set back by an hour ends the request too.
                 {-3600000, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.elapsedMs);
        Calls() = {};
        // Requests are set at the start of a second.
        host.Time().Set((host.Time().Now() + 1) * 1000);
        SiFilterSocket socket("PAT", owner);
        const int started = socket.Request(0x0000, 0x80, 0x00, 3);
        ASSERT_EQ(started, static_cast<int>(host.Time().Now()));
        host.Time().Set(host.Time().NowMs() + c.elapsedMs);
        EXPECT_EQ(socket.IsWaiting(), c.waiting);
        EXPECT_EQ(Calls().shutDownFilter, 1 - c.waiting);
        EXPECT_EQ(Calls().sClose, 1 - c.waiting);
        EXPECT_EQ(socket.Mode(), c.waiting ? 3 : 0);
        EXPECT_EQ(socket.IsIdle(), c.waiting == 0);
        socket.ShutDown();
    }
}

TEST_F(TableFilterTest, SecondRequestShutsTheFirstFilterDownBeforeSettingItsOwn) {
    SiFilterSocket socket("PAT", owner);
    socket.Request(0x0000, 0x80, 0x00, 0);
    const unsigned short firstHandle = socket.Filter().GetFilterHandle();
    ASSERT_NE(firstHandle, SiFilterSocket::kNoFilter);
    EXPECT_EQ(socket.Handle(), firstHandle);
    EXPECT_EQ(Calls().shutDownFilter, 0);

    AdvanceSeconds(3);
    socket.Request(0x0000, 0x80, 0x00, 0);
    EXPECT_EQ(Calls().shutDownFilter, 1);
    EXPECT_EQ(Calls().sClose, 1);
    EXPECT_EQ(Calls().setBitFilter, 2);
    EXPECT_EQ(Calls().sOpen, 2);
    EXPECT_EQ(socket.StartTime(), host.Time().Now());
    EXPECT_EQ(socket.IsWaiting(), 1);

    // The message box follows SetBitFilter at once; by then the old filter
    // must already be shut down and its socket closed.
    int shutDownsSeen = -1, closesSeen = -1;
    host.OnMessage([&](const std::string&) {
        shutDownsSeen = Calls().shutDownFilter;
        closesSeen = Calls().sClose;
    });
    Faults().setBitFilter = CCommonDVB::DVB_ERR_NO_RESOURCE;
    const long long startedBefore = socket.StartTime();
    AdvanceSeconds(3);
    EXPECT_EQ(socket.Request(0x0000, 0x80, 0x00, 0), 0);
    EXPECT_EQ(shutDownsSeen, 2);
    EXPECT_EQ(closesSeen, 2);
    EXPECT_EQ(socket.StartTime(), startedBefore);
    EXPECT_EQ(socket.IsWaiting(), 0);
    EXPECT_EQ(Calls().sOpen, 2);
}

TEST_F(TableFilterTest, FailingSetBitFilterLeavesTheRequestIdleAndNamesIt) {
    filters.CreateTableFilters(&owner);
    const struct {
        std::function<void()> request;
        std::function<int()> isDone;
        int error;
        const char* message;
    } cases[] = {
        {[&] { filters.RequestNit(); }, [&] { return filters.IsNitDone(); }, 2, "Error on CPIDFilter::SetBitFilter(NIT): 2"},
        {[&] { filters.RequestPat(); }, [&] { return filters.IsPatDone(); }, 3, "Error on CPIDFilter::SetBitFilter(PAT): 3"},
        {[&] { filters.RequestSdt(); }, [&] { return filters.IsSdtDone(); }, 5,
         "Error on CPIDFilter::SetBitFilter(STD_act): 5"},
        {[&] { filters.RequestPmt(0x100); }, [&] { return filters.IsPmtDone(); }, -1,
         "Error on CPIDFilter::SetBitFilter(PMT): 4294967295"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        host.ClearMessages();
        Calls() = {};
        Faults().setBitFilter = c.error;
        c.request();
        EXPECT_EQ(host.Messages(), std::vector<std::string>{c.message});
        EXPECT_EQ(c.isDone(), 1);
        EXPECT_EQ(Calls().sOpen, 0);
        EXPECT_EQ(Calls().shutDownFilter, 0);
    }
}

TEST_F(TableFilterTest, FailingShutDownGivesUpTheFilterObject) {
    SiFilterSocket socket("NIT", owner);
    socket.Request(0x0010, 0xF0, 0x40, 0);
    Faults().shutDownFilter = CCommonDVB::DVB_ERR_HARDWARE;
    socket.ShutDown();
    EXPECT_EQ(Calls().shutDownFilter, 1);
    EXPECT_EQ(Calls().sClose, 1);
    EXPECT_TRUE(socket.IsIdle());
    EXPECT_EQ(socket.IsWaiting(), 0);

    // The fresh filter takes the next request.
    Faults().shutDownFilter = 0;
    EXPECT_NE(socket.Request(0x0010, 0xF0, 0x40, 0), 0);
    EXPECT_EQ(Calls().shutDownFilter, 1);
    EXPECT_EQ(socket.IsWaiting(), 1);

    // Also when the failing shut-down is the one a new request starts with.
    Faults().shutDownFilter = CCommonDVB::DVB_ERR_HARDWARE;
    EXPECT_NE(socket.Request(0x0010, 0xF0, 0x40, 0), 0);
    EXPECT_EQ(Calls().shutDownFilter, 2);
    EXPECT_EQ(Calls().sClose, 2);
    EXPECT_EQ(socket.IsWaiting(), 1);
    EXPECT_TRUE(host.Messages().empty());
    Faults().shutDownFilter = 0;
}

TEST_F(TableFilterTest, FailingSocketOpenIsShownAndTheRequestWaitsOutItsTimeOut) {
    filters.CreateTableFilters(&owner);
    Faults().sOpenError = 10061;
    filters.RequestPmt(0x0100);
    EXPECT_EQ(host.Messages(), std::vector<std::string>{"Error on opening socket (PMT): 10061"});
    AdvanceSeconds(15);
    EXPECT_EQ(filters.IsPmtDone(), 0);
    AdvanceSeconds(1);
    EXPECT_EQ(filters.IsPmtDone(), 1);
    EXPECT_EQ(Calls().shutDownFilter, 1);
    EXPECT_EQ(Calls().sClose, 1);
}

TEST_F(TableFilterTest, EveryRequestEmptiesTheEventStore) {
    for (int setBitFilterError : {0, 3}) {
        SCOPED_TRACE(setBitFilterError);
        Faults().setBitFilter = setBitFilterError;
        SiFilterSocket socket("PAT", owner);
        int deleted = 0;
        socket.EventStore().SetAt("4E     1 28006   3 1", new CountedObject(deleted));
        socket.EventStore().SetAt("4E     1 28007   3 1", new CountedObject(deleted));
        socket.EventStore().SetAt("empty", nullptr);
        socket.Request(0x0000, 0x80, 0x00, 0);
        EXPECT_EQ(deleted, 2);
        EXPECT_TRUE(socket.EventStore().IsEmpty());
        socket.ClearEventStore();
        EXPECT_EQ(deleted, 2);
        socket.ShutDown();
    }
}

TEST_F(TableFilterTest, SocketDestructionDeletesTheStoreButLeavesTheFilterToTheOwner) {
    int deleted = 0;
    {
        SiFilterSocket socket("STD_act", owner);
        socket.Request(0x0011, 0xFF, 0x42, 0);
        socket.EventStore().SetAt("key", new CountedObject(deleted));
    }
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(Calls().shutDownFilter, 0);
}

TEST_F(TableFilterTest, WithoutSocketsRequestsDoNothingAndPollsReportDone) {
    filters.CreateTableFilters(nullptr);
    filters.RequestNit();
    filters.RequestPat();
    filters.RequestPmt(0x100);
    filters.RequestSdt();
    RecordingWriter window;
    filters.SetResultWindowForAll(&window);
    filters.ShutDownTableFilters();
    EXPECT_EQ(filters.IsNitDone() + filters.IsPatDone() + filters.IsPmtDone() + filters.IsSdtDone(), 4);
    EXPECT_EQ(Calls().setBitFilter + Calls().sOpen + Calls().shutDownFilter + Calls().sClose, 0);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(TableFilterTest, ShutDownTableFiltersTouchesOnlyFiltersThatAreSet) {
    filters.CreateTableFilters(&owner);
    ASSERT_EQ(filters.PatSocket()->Name(), "PAT");
    ASSERT_EQ(filters.NitSocket()->Name(), "NIT");
    ASSERT_EQ(filters.SdtSocket()->Name(), "STD_act");
    ASSERT_EQ(filters.PmtSocket()->Name(), "PMT");
    EXPECT_EQ(filters.PatSocket()->Owner(), &owner);

    filters.ShutDownTableFilters();
    EXPECT_EQ(Calls().shutDownFilter + Calls().sClose, 0);

    filters.RequestNit();
    filters.RequestPat();
    filters.RequestPmt(0x0100);
    filters.RequestSdt();
    EXPECT_EQ(filters.IsNitDone() + filters.IsPatDone() + filters.IsPmtDone() + filters.IsSdtDone(), 0);
    filters.ShutDownTableFilters();
    EXPECT_EQ(Calls().shutDownFilter, 4);
    EXPECT_EQ(Calls().sClose, 4);
    EXPECT_EQ(filters.IsNitDone() + filters.IsPatDone() + filters.IsPmtDone() + filters.IsSdtDone(), 4);
}

TEST_F(TableFilterTest, ResultWindowIsAttachedToAllFourAndDetached) {
    filters.CreateTableFilters(&owner);
    RecordingWriter window;
    filters.SetResultWindowForAll(&window);
    for (SiFilterSocket* socket : {filters.PatSocket(), filters.NitSocket(), filters.SdtSocket(), filters.PmtSocket()})
        EXPECT_EQ(socket->ResultWindow(), &window) << socket->Name();
    filters.SetResultWindowForAll(nullptr);
    for (SiFilterSocket* socket : {filters.PatSocket(), filters.NitSocket(), filters.SdtSocket(), filters.PmtSocket()})
        EXPECT_EQ(socket->ResultWindow(), nullptr) << socket->Name();
}

struct TableRequest {
    const char* name;
    std::function<void(TableFilters&)> request;
    std::function<int(TableFilters&)> isDone;
    uint16_t pid;
    Bytes section;
    std::string row;
};

std::vector<TableRequest> FourRequests() {
    return {
        {"PAT", [](TableFilters& f) { f.RequestPat(); }, [](TableFilters& f) { return f.IsPatDone(); }, 0x0000,
         FromHex(kFfmpegPat), "pat 1092 258 256"},
        {"PMT", [](TableFilters& f) { f.RequestPmt(0x0100); }, [](TableFilters& f) { return f.IsPmtDone(); }, 0x0100,
         FromHex(kFfmpegPmt), "pmt 258 512 3"},
        {"SDT", [](TableFilters& f) { f.RequestSdt(); }, [](TableFilters& f) { return f.IsSdtDone(); }, 0x0011,
         FromHex(kFfmpegSdt), "service 1092 258"},
        {"NIT", [](TableFilters& f) { f.RequestNit(); }, [](TableFilters& f) { return f.IsNitDone(); }, 0x0010,
         NitSection(), "transport 1092 1"},
    };
}

// A section delivered by the card is decoded into the window, and the
// request for its one-section table ends with it, with a window or without
// one; a section with a broken CRC is dropped and the request waits on.
TEST_F(TableFilterTest, FirstSectionEndsEachRequest) {
    filters.CreateTableFilters(&owner);
    for (const TableRequest& r : FourRequests()) {
        for (int variant = 0; variant < 3; ++variant) {
            SCOPED_TRACE(testing::Message() << r.name << " variant " << variant);
            Calls() = {};
            RecordingWriter window;
            filters.SetResultWindowForAll(variant == 1 ? nullptr : &window);
            Bytes section = r.section;
            if (variant == 2) section[5] ^= 0x04;
            r.request(filters);
            ASSERT_EQ(r.isDone(filters), 0);
            card.InjectSection(r.pid, section);
            host.Advance(0);
            const int ended = variant == 2 ? 0 : 1;
            EXPECT_EQ(r.isDone(filters), ended);
            EXPECT_EQ(Calls().shutDownFilter, ended);
            EXPECT_EQ(Calls().sClose, ended);
            filters.ShutDownTableFilters();
            if (variant == 0)
                EXPECT_TRUE(window.Has(r.row)) << (window.rows.empty() ? "no rows" : window.rows.front());
            else
                EXPECT_TRUE(window.rows.empty());
        }
    }
}

// The filter bytes pass exactly the table ids each request is after: none
// outside its range ends the request, and any id of its range reaches the
// socket, which ends a request past its time-out as soon as a section comes.
TEST_F(TableFilterTest, EachRequestPassesExactlyItsTables) {
    filters.CreateTableFilters(&owner);
    const Bytes filler(12, 0x11);
    const struct {
        size_t request;  // index into FourRequests()
        std::vector<unsigned char> passed, refused;
    } cases[] = {
        {0, {0x00, 0x01, 0x42, 0x7F}, {0x80, 0x93, 0xFF}},               // PAT: 0x00 to 0x7F
        {1, {0x02, 0x03, 0x06, 0x42, 0xFE}, {0x00, 0x01, 0x40, 0x71}},  // PMT: bit 0x02 set
        {2, {0x42}, {0x46, 0x4A, 0x40, 0x43}},                           // SDT: SDT actual only
        {3, {0x40, 0x41, 0x4A, 0x4D}, {0x50, 0x3F, 0x70, 0x00}},         // NIT: 0x40 to 0x4F
    };
    const std::vector<TableRequest> requests = FourRequests();
    for (const auto& c : cases) {
        const TableRequest& r = requests[c.request];
        SCOPED_TRACE(r.name);
        RecordingWriter window;
        filters.SetResultWindowForAll(&window);
        r.request(filters);
        for (unsigned char tableId : c.refused) card.InjectSection(r.pid, MakeSection(tableId, filler));
        // The right table on another PID is not this request's either.
        card.InjectSection(static_cast<uint16_t>(r.pid + 0x200), r.section);
        host.Advance(0);
        EXPECT_EQ(r.isDone(filters), 0);
        card.InjectSection(r.pid, r.section);
        host.Advance(0);
        EXPECT_EQ(r.isDone(filters), 1);
        EXPECT_TRUE(window.Has(r.row));

        filters.SetResultWindowForAll(nullptr);
        for (unsigned char tableId : c.passed) {
            r.request(filters);
            const int shutDowns = Calls().shutDownFilter;
            AdvanceSeconds(16);
            card.InjectSection(r.pid, MakeSection(tableId, filler));
            host.Advance(0);
            EXPECT_EQ(Calls().shutDownFilter, shutDowns + 1) << "table id " << int{tableId};
            EXPECT_EQ(r.isDone(filters), 1);
        }
    }
}

TEST_F(TableFilterTest, SectionsQueuedBehindTheFirstAreNotDecoded) {
    filters.CreateTableFilters(&owner);
    RecordingWriter window;
    filters.SetResultWindowForAll(&window);
    filters.RequestPat();
    card.InjectSection(0x0000, FromHex(kFfmpegPat));
    card.InjectSection(0x0000, FromHex("00b00d0001c100000001f0002ab104b2"));
    host.Advance(0);
    EXPECT_EQ(window.rows, std::vector<std::string>{"pat 1092 258 256"});
    EXPECT_EQ(filters.IsPatDone(), 1);
}

// With a mode other than 0 the filter stays set for further sections until
// the EIT decoder reports its sub-tables complete or the time-out has passed.
TEST_F(TableFilterTest, NonZeroModeKeepsCollectingUntilCompleteOrLate) {
    Bytes incompleteEit = MakeSection(0x50, {0x01, 0x02, 0xC3, 0x00, 0x01, 0x04, 0x44, 0x00, 0x01, 0x01, 0x50});
    const struct {
        const char* name;
        unsigned short mode;
        Bytes section;
        int secondsLater;
        bool stillWaiting;
    } cases[] = {
        {"PAT, mode 1", 1, FromHex(kFfmpegPat), 1, true},
        {"incomplete EIT, mode 1", 1, incompleteEit, 15, true},
        {"complete EIT, mode 1", 1, EitSection(0x4E), 1, false},
        {"PAT after the time-out, mode 1", 1, FromHex(kFfmpegPat), 16, false},
        {"PAT, mode 0", 0, FromHex(kFfmpegPat), 0, false},
        {"broken PAT, mode 0", 0, Bytes{0x00, 0x01, 0x02}, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SiFilterSocket socket("PAT", owner);
        socket.Request(0x0000, 0x00, 0x00, c.mode);
        AdvanceSeconds(c.secondsLater);
        Bytes section = c.section;
        socket.OnDataReceived(section.data(), static_cast<int>(section.size()));
        EXPECT_EQ(socket.IsIdle(), !c.stillWaiting);
        EXPECT_EQ(socket.Mode(), c.stillWaiting ? c.mode : 0);
        socket.ShutDown();
    }
}

}  // namespace
