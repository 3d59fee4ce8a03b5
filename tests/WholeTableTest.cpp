// Requests that the scan makes take whole tables of the own network: every
// section, in any order, of the table asked for and of nothing else.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "acquisition/TableFilters.h"
#include "cardlib/Card.h"
#include "framework/Dialog.h"
#include "framework/headless/HeadlessHost.h"
#include "res/ResourceIds.h"
#include "tests/AcquisitionTestSupport.h"
#include "tests/HostSupport.h"
#include "tests/SiTestSupport.h"

namespace {

using acquisition_test::RecordingWriter;
using sitest::Bytes;
using sitest::LongHeader;
using sitest::Put16;
using sitest::Section;

// A NIT listing one transport (id `ts`, original network 1) in section
// `number` of 0 to `last`.
Bytes NitSection(uint8_t tableId, unsigned version, unsigned number, unsigned last, unsigned ts) {
    Bytes body = LongHeader(1, version, number, last);
    Put16(body, 0xF000);  // no network descriptors
    Put16(body, 0xF000 | 6);
    Put16(body, ts);
    Put16(body, 1);
    Put16(body, 0xF000);
    return Section(tableId, body);
}

// An SDT of transport 7 describing service `sid` in section `number` of 0 to `last`.
Bytes SdtSection(uint8_t tableId, unsigned version, unsigned number, unsigned last, unsigned sid) {
    Bytes body = LongHeader(7, version, number, last);
    Put16(body, 1);
    body.push_back(0xFF);
    Put16(body, sid);
    body.push_back(0xFC);
    Put16(body, 0x8000);
    return Section(tableId, body);
}

// The PMT of `program`: one stream on PID `pid` of type 2.
Bytes PmtSection(unsigned program, unsigned pid) {
    Bytes body = LongHeader(program, 0);
    Put16(body, 0xE000 | pid);
    Put16(body, 0xF000);
    body.push_back(2);
    Put16(body, 0xE000 | pid);
    Put16(body, 0xF000);
    return Section(0x02, body);
}

class WholeTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        card.Attach(host);
        filters.CreateTableFilters(&owner);
        filters.SetResultWindowForAll(&window);
    }
    void TearDown() override { filters.ShutDownTableFilters(); }
    void Deliver(uint16_t pid, const Bytes& section) {
        card.InjectSection(pid, section);
        host.Advance(0);
    }

    fw::HeadlessHost host;
    hosttest::RegisteredResources resources{host};
    cardlib::Card card;
    fw::Dialog owner{host, res::IDD_PROGRAM_LIST};
    TableFilters filters;
    RecordingWriter window;
};

// Sections out of order, a repeat, a new version half-way, and a table that
// never completes: each step with what the request has decoded so far.
TEST_F(WholeTableTest, NitAndSdtRequestsEndWithEverySectionOfOneVersion) {
    struct Step {
        unsigned version, number, last, id;
        int done, received, total;
        int seconds = 0;  // waited before the poll
    };
    const std::vector<Step> steps = {
        {3, 1, 2, 11, 0, 1, 3}, {3, 1, 2, 11, 0, 1, 3},  // a repeat adds nothing
        {3, 0, 2, 10, 0, 2, 3}, {4, 2, 2, 22, 0, 1, 3},  // a new version counts anew
        {4, 0, 2, 20, 0, 2, 3}, {4, 1, 2, 21, 1, 3, 3},
    };
    const struct {
        const char* name;
        void (TableFilters::*request)();
        int (TableFilters::*isDone)();
        TableProgress (TableFilters::*progress)() const;
        uint16_t pid;
        Bytes (*section)(uint8_t, unsigned, unsigned, unsigned, unsigned);
        uint8_t tableId;
        const char* rowPrefix;
        const char* rowSuffix;
    } tables[] = {
        {"NIT", &TableFilters::RequestNit, &TableFilters::IsNitDone, &TableFilters::NitProgress, 0x10, NitSection,
         0x40, "transport ", " 1"},
        {"SDT", &TableFilters::RequestSdt, &TableFilters::IsSdtDone, &TableFilters::SdtProgress, 0x11, SdtSection,
         0x42, "service 7 ", ""},
    };
    for (const auto& t : tables) {
        SCOPED_TRACE(t.name);
        window.rows.clear();
        (filters.*t.request)();
        std::vector<std::string> expected;
        for (const Step& s : steps) {
            SCOPED_TRACE(testing::Message() << "version " << s.version << " section " << s.number);
            Deliver(t.pid, t.section(t.tableId, s.version, s.number, s.last, s.id));
            EXPECT_EQ((filters.*t.isDone)(), s.done);
            EXPECT_EQ((filters.*t.progress)().received, s.received);
            EXPECT_EQ((filters.*t.progress)().total, s.total);
        }
        std::vector<std::string> rows;
        for (const std::string& row : window.rows) {
            if (row.rfind(t.rowPrefix, 0) == 0) rows.push_back(row);
        }
        for (const char* id : {"11", "10", "22", "20", "21"}) expected.push_back(t.rowPrefix + std::string(id) + t.rowSuffix);
        EXPECT_EQ(rows, expected);

        // Half a table ends by the time-out, and says so.
        (filters.*t.request)();
        Deliver(t.pid, t.section(t.tableId, 5, 0, 1, 30));
        host.Time().Set(host.Time().NowMs() + 16000);
        EXPECT_EQ((filters.*t.isDone)(), 1);
        EXPECT_TRUE((filters.*t.progress)().IsIncomplete());
    }
}

// NIT other, SDT other and BAT share the PIDs (and the NIT's filter passes
// 0x41 and 0x4A): none of them reaches the lists or ends the request.
TEST_F(WholeTableTest, OtherNetworksTablesNeverFeedTheScan) {
    filters.RequestNit();
    Deliver(0x10, NitSection(0x41, 0, 0, 0, 50));
    Deliver(0x10, NitSection(0x4A, 0, 0, 0, 51));
    EXPECT_EQ(filters.IsNitDone(), 0);
    Deliver(0x10, NitSection(0x40, 0, 0, 0, 52));
    EXPECT_EQ(filters.IsNitDone(), 1);

    filters.RequestSdt();
    Deliver(0x11, SdtSection(0x46, 0, 0, 0, 60));
    Deliver(0x11, SdtSection(0x4A, 0, 0, 0, 61));
    EXPECT_EQ(filters.IsSdtDone(), 0);
    Deliver(0x11, SdtSection(0x42, 0, 0, 0, 62));
    EXPECT_EQ(filters.IsSdtDone(), 1);
    EXPECT_EQ(window.rows, (std::vector<std::string>{"transport 52 1", "sdt version 7", "service 7 62"}));
}

// Two programs share a PMT PID: the request for one waits for its own section.
TEST_F(WholeTableTest, PmtRequestTakesOnlyTheProgramAskedFor) {
    filters.RequestPmt(0x100, 102);
    Deliver(0x100, PmtSection(101, 0x111));
    EXPECT_EQ(filters.IsPmtDone(), 0);
    Deliver(0x100, PmtSection(102, 0x122));
    EXPECT_EQ(filters.IsPmtDone(), 1);
    EXPECT_EQ(window.rows, std::vector<std::string>{"pmt 102 290 2"});
}

}  // namespace
