#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/HostSupport.h"
#include "tests/ScanTestSupport.h"

namespace {

using scantest::ScriptedOwner;
using scantest::Service;
using scantest::Transport;

class ScanSequence : public ::testing::Test {
protected:
    ScanSequence() : m_Path(std::filesystem::temp_directory_path() / ("scan-seq-" + std::to_string(::getpid()) + ".INI")),
                     m_Profile(m_Path.string()) {
        std::filesystem::remove(m_Path);
        host.SetProfile(&m_Profile);
        host.SetModalTimeLimit(30 * 60 * 1000);
    }
    ~ScanSequence() override { std::filesystem::remove(m_Path); }

    // Runs a whole scan modally; returns its result and counts its ticks.
    int RunScan(ScriptedOwner& owner, int updateNames = 1) {
        ScanChannelsDialog window(host, &owner, updateNames);
        const int64_t began = host.GetClock().NowMs();
        const int result = window.DoModal();
        ticks = static_cast<int>((host.GetClock().NowMs() - began) / 500);
        log.clear();
        for (int i = 0; i < window.LogList().GetItemCount(); ++i) log.push_back(window.LogList().GetItemText(i, 0));
        services.clear();
        fw::ListView& list = window.ServiceList();
        for (int i = 0; i < list.GetItemCount(); ++i) {
            services.emplace_back();
            for (int c = 0; c < list.GetColumnCount(); ++c) services.back().push_back(list.GetItemText(i, c));
        }
        return result;
    }

    static int Count(const std::vector<std::string>& items, const std::string& prefix) {
        return static_cast<int>(std::count_if(items.begin(), items.end(),
                                              [&](const std::string& s) { return s.rfind(prefix, 0) == 0; }));
    }

    fw::HeadlessHost host;
    hosttest::RegisteredResources resources{host};
    int ticks = 0;
    std::vector<std::string> log;
    std::vector<std::vector<std::string>> services;  // the service list's cells after the scan

    // The program list row with these "NW-ID" and "Prog-ID" cells, or nothing.
    static std::vector<std::string> ProgramRow(ScriptedOwner& owner, const std::string& networkId,
                                               const std::string& programId) {
        for (int r = 0; r < owner.ProgramList().GetItemCount(); ++r) {
            if (owner.Row(r)[11] == networkId && owner.Row(r)[3] == programId) return owner.Row(r);
        }
        return {};
    }

    fw::Profile& profile() { return m_Profile; }

private:
    std::filesystem::path m_Path;
    fw::Profile m_Profile;
};

std::vector<Transport> TwoTransports() {
    Transport a{1, 1, 34600000, 6900, 3, true, {}};
    a.services = {{101, "Erstes", 1, 0x100, {{0x101, 2}, {0x102, 4}, {0x103, 6}}},
                  {102, "Zweites Radio", 2, 0x200, {{0x201, 3}}}};
    Transport b{2, 1, 35400000, 6875, 5, true, {}};
    b.services = {{201, "Nur Daten", 12, 0x300, {{0x301, 11}}},
                  {202, "Drittes", 1, 0x400, {{0x401, 2}, {0x402, 3}}}};
    return {a, b};
}

TEST_F(ScanSequence, WholeScanMergesEveryServiceWithVideoOrAudioInTheLeastTicks) {
    ScriptedOwner owner(host, TwoTransports());
    EXPECT_EQ(RunScan(owner), 1);
    // 2 + 2T + 1 + 3R + 2S + 1 with T = 2 transports, R = 2 runs, S = 4 services.
    EXPECT_EQ(ticks, 2 + 2 * 2 + 1 + 3 * 2 + 2 * 4 + 1);
    ASSERT_EQ(owner.ProgramList().GetItemCount(), 3);
    EXPECT_EQ(owner.Row(0), (std::vector<std::string>{"1", "Erstes", "34600000", "101", "257", "258", "256", "259",
                                                      "0", "0", "1", "1", "8", "32", "0", "3", "0", "0", "0",
                                                      "6900000", "1", "0", "0", "0", "added"}));
    EXPECT_EQ(owner.Row(1)[1], "Zweites Radio");
    EXPECT_EQ(owner.Row(1)[4], "0");
    EXPECT_EQ(owner.Row(1)[5], "513");
    EXPECT_EQ(owner.Row(2)[0], "3");
    EXPECT_EQ(owner.Row(2)[1], "Drittes");
    EXPECT_EQ(owner.Row(2)[2], "35400000");
    EXPECT_EQ(owner.Row(2)[15], "5");
    EXPECT_EQ(owner.Row(2)[19], "6875000");
    EXPECT_EQ(owner.tunes, (std::vector<unsigned long>{346000, 354000, 346000, 354000}));
    EXPECT_EQ(log.front(), "Request NIT");
    EXPECT_EQ(log[1], "Set Frequenzy to 346.0 MHz");
    EXPECT_EQ(log[2], "Request SDT");
    EXPECT_EQ(Count(log, "Request PMT"), 4);
    EXPECT_EQ(Count(log, "Request PAT"), 2);
}

TEST_F(ScanSequence, SecondScanMarksActualAndUpdatesOnlyWhatChanged) {
    ScriptedOwner owner(host, TwoTransports());
    ASSERT_EQ(RunScan(owner), 1);
    const auto before = owner.Row(0);
    owner.network[0].services[0].streams[0].pid = 0x10A;   // new video PID
    owner.network[1].services[1].name = "Drittes Neu";      // renamed
    for (int r = 0; r < owner.ProgramList().GetItemCount(); ++r) owner.ProgramList().SetItemText(r, 24, "");
    ASSERT_EQ(RunScan(owner, 0), 1);
    EXPECT_EQ(owner.ProgramList().GetItemCount(), 3);
    EXPECT_EQ(owner.Row(0)[4], "266");
    EXPECT_EQ(owner.Row(0)[24], "updated");
    EXPECT_EQ(owner.Row(1)[24], "actual");
    // Without "Update Program Names" the name stays and the row is current.
    EXPECT_EQ(owner.Row(2)[1], "Drittes");
    EXPECT_EQ(owner.Row(2)[24], "actual");
    ASSERT_EQ(RunScan(owner, 1), 1);
    EXPECT_EQ(owner.Row(2)[1], "Drittes Neu");
    EXPECT_EQ(owner.Row(2)[24], "updated");
    EXPECT_EQ(owner.Row(0)[0], before[0]);
}

TEST_F(ScanSequence, TwoProgramRowsOfOneServiceAreBothRewritten) {
    ScriptedOwner owner(host, TwoTransports());
    owner.AddProgramRow({"7", "Alt", "1", "101", "1", "1", "1", "1", "1", "1", "1", "1"});
    owner.AddProgramRow({"8", "Alt", "1", "101", "1", "1", "1", "1", "1", "1", "1", "1"});
    ASSERT_EQ(RunScan(owner), 1);
    for (int row : {0, 1}) {
        EXPECT_EQ(owner.Row(row)[0], row == 0 ? "7" : "8");
        EXPECT_EQ(owner.Row(row)[1], "Erstes");
        EXPECT_EQ(owner.Row(row)[4], "257");
        EXPECT_EQ(owner.Row(row)[24], "updated");
    }
    // Two rows existed, so the next appended service is number 3 + 1.
    EXPECT_EQ(owner.Row(2)[0], "3");
}

TEST_F(ScanSequence, NitIsRequestedWithoutEndAndOneTickStaysSilentAfterTheThirdTry) {
    ScriptedOwner owner(host, TwoTransports());
    owner.nitAnswers = false;
    ScanChannelsDialog window(host, &owner, 1);
    std::vector<int64_t> requestTicks;
    host.Open(window);
    const int64_t began = host.GetClock().NowMs();
    size_t seen = 0;
    while (host.GetClock().NowMs() - began < 200000) {
        host.RunOne();
        if (owner.requests.size() > seen) {
            seen = owner.requests.size();
            requestTicks.push_back((host.GetClock().NowMs() - began) / 500);
        }
    }
    ASSERT_GE(requestTicks.size(), 6u);
    // A request times out at the first poll more than 15 whole seconds after
    // it was set, so the wait depends on whether it was set on a full second;
    // one more tick re-requests. After the third try one tick stays silent.
    const auto usualGap = [](int64_t tick) { return tick % 2 == 0 ? 33 : 32; };
    for (size_t k = 1; k < requestTicks.size(); ++k) {
        EXPECT_EQ(requestTicks[k] - requestTicks[k - 1], usualGap(requestTicks[k - 1]) + (k == 3 ? 1 : 0)) << k;
    }
    // "Request NIT" once, and once that no network answered.
    ASSERT_EQ(window.LogList().GetItemCount(), 2);
    EXPECT_EQ(window.LogList().GetItemText(1, 0), "No network answered: no NIT after three requests. Still asking.");
    EXPECT_FALSE(window.IsEnded());
    // Past the third request the progress line counts on without a total.
    const std::string progress = ScanChannelsDialog::ProgressText(window.ScanProgress());
    EXPECT_THAT(progress, testing::MatchesRegex("Network: waiting for the NIT \\(request 1[34], still asking\\)"));
    host.Close(window);
}

// A NIT that comes but names no transport (vidtv's malformed loop, say) is
// not a network that never answered.
TEST_F(ScanSequence, ANitWithoutTransportsIsToldApartFromNoNit) {
    ScriptedOwner owner(host, {});
    ScanChannelsDialog window(host, &owner, 1);
    host.Open(window);
    const int64_t began = host.GetClock().NowMs();
    while (host.GetClock().NowMs() - began < 60000 && window.LogList().GetItemCount() < 2) host.RunOne();
    ASSERT_EQ(window.LogList().GetItemCount(), 2);
    EXPECT_EQ(window.LogList().GetItemText(1, 0), "The network's NIT came but lists no transport. Still asking.");
    EXPECT_TRUE(window.NitWithoutTransports());
    host.Close(window);
}

// "TickMs" in "ScanNetwork" paces the scan; a value out of range keeps 500 ms.
TEST_F(ScanSequence, TickPeriodComesFromTheSettings) {
    for (auto [setting, firstRequestMs] : {std::pair{0, 500}, {100, 100}, {5, 500}, {20000, 500}}) {
        SCOPED_TRACE(setting);
        if (setting) profile().WriteInt("ScanNetwork", "TickMs", setting);
        ScriptedOwner owner(host, TwoTransports());
        ScanChannelsDialog window(host, &owner, 1);
        host.Open(window);
        const int64_t began = host.GetClock().NowMs();
        while (owner.requests.empty() && host.RunOne()) {
        }
        EXPECT_EQ(host.GetClock().NowMs() - began, firstRequestMs);
        host.Close(window);
    }
}

TEST_F(ScanSequence, TransportsWithoutSdtAreAskedThreeTimesUntilOneAnswers) {
    auto net = TwoTransports();
    net[0].answers = false;  // the NIT still arrives: it is read before tuning away
    net.push_back(Transport{3, 1, 36200000, 6900, 3, false, {}});
    ScriptedOwner owner(host, net);
    // The first transport's NIT is read while tuned there, so keep it answering
    // for the NIT only.
    owner.network[0].answers = true;
    owner.network[0].services.clear();
    ASSERT_EQ(RunScan(owner), 1);
    EXPECT_EQ(Count(owner.requests, "SDT@346000"), 3);
    EXPECT_EQ(Count(owner.requests, "SDT@354000"), 1);
    // Once one transport has yielded services, later ones are asked once.
    EXPECT_EQ(Count(owner.requests, "SDT@362000"), 1);
    EXPECT_EQ(owner.ProgramList().GetItemCount(), 1);
}

TEST_F(ScanSequence, NoSdtAtAllEndsTheWindowAfterThreeTriesEach) {
    auto net = TwoTransports();
    for (auto& t : net) t.services.clear();
    ScriptedOwner owner(host, net);
    ASSERT_EQ(RunScan(owner), 1);
    EXPECT_EQ(Count(owner.requests, "SDT@346000"), 3);
    EXPECT_EQ(Count(owner.requests, "SDT@354000"), 3);
    EXPECT_EQ(Count(owner.requests, "PAT"), 0);
    EXPECT_EQ(owner.ProgramList().GetItemCount(), 0);
}

TEST_F(ScanSequence, TransportWithFrequencyThatIsNoNumberIsNeitherTunedNorAsked) {
    ScriptedOwner owner(host, TwoTransports());
    owner.afterNit = [](ScanChannelsDialog& window) { window.TransportList().SetItemText(1, 2, "abc"); };
    ASSERT_EQ(RunScan(owner), 1);
    EXPECT_EQ(Count(owner.requests, "SDT"), 1);
    EXPECT_EQ(std::count(owner.tunes.begin(), owner.tunes.end(), 354000ul), 0);
    // Its services were never described, so only the first transport merges.
    EXPECT_EQ(owner.ProgramList().GetItemCount(), 2);
}

TEST_F(ScanSequence, ServicesWithoutPatRowOrTransportRowAreSkipped) {
    auto net = TwoTransports();
    // A PMT PID the PAT will not list: the service has no PAT row.
    net[0].services.push_back(Service{103, "Ohne PAT", 1, 0x500, {{0x501, 2}}, 0, false});
    ScriptedOwner owner(host, net);
    owner.afterNit = [](ScanChannelsDialog& window) {
        // The second transport's row disappears from the NIT: its services
        // will have no transport row.
        window.TransportList().DeleteItem(1);
    };
    ASSERT_EQ(RunScan(owner), 1);
    EXPECT_EQ(Count(owner.requests, "PMT1280"), 0);
    EXPECT_EQ(Count(log, "Request PMT"), 2);
    // Nothing of the transport without a row is tuned, requested or merged.
    EXPECT_EQ(std::count(owner.tunes.begin(), owner.tunes.end(), 354000ul), 0);
    EXPECT_EQ(Count(owner.requests, "PAT@354000"), 0);
    for (int r = 0; r < owner.ProgramList().GetItemCount(); ++r) EXPECT_NE(owner.Row(r)[1], "Drittes");
}

TEST_F(ScanSequence, ForeignTimerIdChangesNothing) {
    ScriptedOwner owner(host, TwoTransports());
    ScanChannelsDialog window(host, &owner, 1);
    host.Open(window);
    ASSERT_EQ(window.ScanStateValue(), ScanChannelsDialog::StateRequestNit);
    window.OnTimer(window.TimerId() + 1);
    EXPECT_EQ(window.ScanStateValue(), ScanChannelsDialog::StateRequestNit);
    EXPECT_TRUE(owner.requests.empty());
    window.OnTimer(window.TimerId());
    EXPECT_EQ(window.ScanStateValue(), ScanChannelsDialog::StateWaitNit);
    host.Close(window);
}

TEST_F(ScanSequence, TimeShiftedServiceTakesItsReferenceServiceName) {
    auto net = TwoTransports();
    net[0].services.push_back(Service{110, "Kino Eins", 25, 0x600, {}, 0, true, "Kino GmbH", {0x0B00, 0x1702}});
    net[0].services.push_back(Service{111, "", 1, 0x610, {{0x611, 2}, {0x612, 3}}, 110});
    ScriptedOwner owner(host, net);
    ASSERT_EQ(RunScan(owner), 1);
    const auto row = ProgramRow(owner, "1", "111");
    ASSERT_FALSE(row.empty());
    EXPECT_EQ(row[1], "Kino Eins");
    EXPECT_EQ(row[20], "25");
    // The time-shifted service's own row takes the reference's cells too.
    const auto copied = std::find_if(services.begin(), services.end(), [](const auto& r) { return r[0] == "111"; });
    ASSERT_NE(copied, services.end());
    EXPECT_EQ((std::vector<std::string>(copied->begin() + 3, copied->begin() + 7)),
              (std::vector<std::string>{"Kino Eins", "Kino GmbH", "25", "0B00 1702 "}));
}

TEST_F(ScanSequence, PmtWithoutStreamsIsAskedThreeTimesThenTheNextServiceFollows) {
    auto net = TwoTransports();
    net[0].services[0].streams.clear();
    ScriptedOwner owner(host, net);
    ASSERT_EQ(RunScan(owner), 1);
    EXPECT_EQ(Count(owner.requests, "PMT256@"), 3);
    EXPECT_EQ(Count(owner.requests, "PMT512@"), 1);
    EXPECT_TRUE(ProgramRow(owner, "1", "101").empty());
    EXPECT_EQ(ProgramRow(owner, "1", "102")[5], "513");
}

// The second merge of one service (same network, same program) finds the row
// the first appended and rewrites it instead of adding another.
TEST_F(ScanSequence, SameServiceMergedTwiceInOneScanKeepsOneRow) {
    auto net = TwoTransports();
    net[1].services.push_back(net[0].services[0]);
    ScriptedOwner owner(host, net);
    ASSERT_EQ(RunScan(owner), 1);
    EXPECT_EQ(owner.ProgramList().GetItemCount(), 3);
    const auto row = ProgramRow(owner, "1", "101");
    EXPECT_EQ(row[2], "35400000");
    EXPECT_EQ(row[24], "updated");
}

TEST_F(ScanSequence, IncompleteTablesAreLoggedAndTheScanGoesOnWithWhatArrived) {
    ScriptedOwner owner(host, TwoTransports());
    owner.nitProgress = {1, 2};
    owner.sdtProgress = {2, 3};
    ASSERT_EQ(RunScan(owner), 1);
    EXPECT_EQ(Count(log, "NIT incomplete: 1 of 2 sections"), 1);
    EXPECT_EQ(Count(log, "SDT incomplete: 2 of 3 sections"), 2);
    EXPECT_EQ(owner.ProgramList().GetItemCount(), 3);
}

// Program 101 on two networks' transports, in different PMT PIDs: each is
// asked for with its own transport's PAT.
TEST_F(ScanSequence, EachTransportsServicesAreAskedForWithItsOwnPat) {
    auto net = TwoTransports();
    net[1].nwId = 2;
    net[1].services.push_back(Service{101, "Nachbar Eins", 1, 0x500, {{0x501, 2}, {0x502, 3}}});
    ScriptedOwner owner(host, net);
    ASSERT_EQ(RunScan(owner), 1);
    EXPECT_EQ(Count(owner.requests, "PMT1280@354000"), 1);
    EXPECT_EQ(Count(owner.requests, "PMT256@354000"), 0);
    const auto first = ProgramRow(owner, "1", "101"), second = ProgramRow(owner, "2", "101");
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_EQ((std::vector<std::string>{first[4], first[6]}), (std::vector<std::string>{"257", "256"}));
    EXPECT_EQ((std::vector<std::string>{second[4], second[6]}), (std::vector<std::string>{"1281", "1280"}));
}

TEST_F(ScanSequence, TransportWhosePatNeverArrivesSkipsItsServicesWithAStatusLine) {
    auto net = TwoTransports();
    net[1].patAnswers = false;
    ScriptedOwner owner(host, net);
    ASSERT_EQ(RunScan(owner), 1);
    EXPECT_EQ(Count(owner.requests, "PAT@354000"), 3);
    EXPECT_EQ(Count(owner.requests, "PMT"), 2);
    EXPECT_EQ(Count(log, "No PAT for TS 2, NW 1: its services are skipped"), 1);
    EXPECT_EQ(owner.ProgramList().GetItemCount(), 2);
}

// A tuner that still delivers the transport it left: tables whose
// transport_stream_id is not the tuned one's are not taken for it.
TEST_F(ScanSequence, PatOrSdtOfAnotherTransportIsNotTakenForTheTunedOne) {
    struct Case {
        const char* what;
        uint32_t sdtTsId, patTsId;
        int services, programs, noPatLines;
    } cases[] = {
        {"own tables", 0, 0, 4, 3, 0},  // "Nur Daten" has neither video nor audio
        {"the first transport's SDT again", 1, 0, 2, 2, 0},
        {"the first transport's PAT again", 0, 1, 4, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto net = TwoTransports();
        net[1].sdtTsId = c.sdtTsId;
        net[1].patTsId = c.patTsId;
        ScriptedOwner owner(host, net);
        ASSERT_EQ(RunScan(owner), 1);
        EXPECT_EQ(static_cast<int>(services.size()), c.services);
        EXPECT_EQ(owner.ProgramList().GetItemCount(), c.programs);
        EXPECT_EQ(Count(log, "No PAT for TS 2, NW 1: its services are skipped"), c.noPatLines);
    }
}

// Two programs share a PMT PID and both answer: only the asked one's streams
// count (its own audio, not the other's lower PID).
TEST_F(ScanSequence, OnlyThePmtOfTheServiceAskedForFillsTheStreams) {
    auto net = TwoTransports();
    net[0].services.push_back(Service{105, "Nebenan", 2, 0x100, {{0x0F0, 3}}});
    ScriptedOwner owner(host, net);
    ASSERT_EQ(RunScan(owner), 1);
    const auto shared = ProgramRow(owner, "1", "101"), other = ProgramRow(owner, "1", "105");
    ASSERT_FALSE(other.empty());
    EXPECT_EQ((std::vector<std::string>{shared[4], shared[5]}), (std::vector<std::string>{"257", "258"}));
    EXPECT_EQ((std::vector<std::string>{other[4], other[5]}), (std::vector<std::string>{"0", "240"}));
}

}  // namespace
