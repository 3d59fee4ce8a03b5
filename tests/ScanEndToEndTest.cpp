#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "cardlib/Card.h"
#include "simnet/SimBackend.h"
#include "simnet/SimNetwork.h"
#include "tsfile/TsFileBackend.h"
#include "card/ProgramFields.h"
#include "testing/CaptureWriter.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "scan/ScanChannelsDialog.h"
#include "si/DvbText.h"
#include "tests/ProgramTestSupport.h"

namespace {

using cardlib::SimNetwork;
using cardlib::SimService;
using cardlib::SimTransport;

// Program list rows by (NW-ID, Prog-ID), each with its cells from "Programm" on.
using ProgramRows = std::map<std::pair<std::string, std::string>, std::vector<std::string>>;

const SimService* FindService(const SimTransport& transport, uint16_t serviceId) {
    for (const auto& s : transport.services) {
        if (s.serviceId == serviceId) return &s;
    }
    return nullptr;
}

// The lowest PID of a kind, of the stream types given (any type: none given).
uint16_t LowestPid(const SimService& service, cardlib::StreamKind kind, std::initializer_list<int> types = {}) {
    uint16_t best = 0;
    for (const auto& st : service.streams) {
        if (st.kind != kind) continue;
        if (types.size() != 0 && std::find(types.begin(), types.end(), st.streamType) == types.end()) continue;
        if (best == 0 || st.pid < best) best = st.pid;
    }
    return best;
}

// As the network describes them: MPEG-2 video and MPEG audio first, then any
// other picture or sound.
uint16_t VideoPid(const SimService& s) {
    const uint16_t mpeg2 = LowestPid(s, cardlib::StreamKind::Video, {2});
    return mpeg2 != 0 ? mpeg2 : LowestPid(s, cardlib::StreamKind::Video);
}
uint16_t AudioPid(const SimService& s) {
    const uint16_t mpeg = LowestPid(s, cardlib::StreamKind::Audio, {3, 4});
    return mpeg != 0 ? mpeg : LowestPid(s, cardlib::StreamKind::Audio);
}

// What a scan of `network` must leave in an empty program list: every service
// of a transport that locks whose PMT carries video or audio, with the cells
// the merge writes, marked "added". A time-shifted service is named and typed
// after its reference service.
// The transports a network's NIT lists.
std::vector<const SimTransport*> Listed(const SimNetwork& network) {
    std::vector<const SimTransport*> listed;
    for (size_t i = 0; i < network.transports.size(); ++i) {
        if (network.nitTransports.empty() ||
            std::find(network.nitTransports.begin(), network.nitTransports.end(), i) != network.nitTransports.end())
            listed.push_back(&network.transports[i]);
    }
    return listed;
}

ProgramRows ExpectedRows(const SimNetwork& network) {
    ProgramRows rows;
    for (const SimTransport* listed : Listed(network)) {
        const SimTransport& t = *listed;
        if (!t.locks) continue;
        for (const auto& s : t.services) {
            if (s.pmtPid == 0) continue;
            const uint16_t video = VideoPid(s), audio = AudioPid(s);
            const uint16_t text = LowestPid(s, cardlib::StreamKind::Teletext);
            const uint16_t subtitle = LowestPid(s, cardlib::StreamKind::Subtitle);
            if (video == 0 && audio == 0) continue;
            const SimService* named = &s;
            if (s.referenceServiceId != 0) named = FindService(t, s.referenceServiceId);
            const std::string nw = std::to_string(t.originalNetworkId);
            const std::string prog = std::to_string(s.serviceId);
            rows[{nw, prog}] = {si::DvbTextToUtf8(named->name),
                                std::to_string(t.frequencyKHz * 100),
                                prog,
                                std::to_string(video),
                                std::to_string(audio),
                                std::to_string(s.pmtPid),
                                std::to_string(text),
                                std::to_string(subtitle),
                                "0",
                                std::to_string(t.transportStreamId),
                                nw,
                                "8",
                                "32",
                                "0",
                                std::to_string(static_cast<int>(t.modulation)),
                                "0",
                                "0",
                                "0",
                                std::to_string(t.symbolRate / 1000) + "000",
                                std::to_string(named->serviceType),
                                "0",
                                "0",
                                "0",
                                "added"};
        }
    }
    return rows;
}

// The channel number each merged program must have, by (NW-ID, Prog-ID).
std::map<std::pair<std::string, std::string>, uint32_t> ExpectedNumbers(const SimNetwork& network) {
    std::map<std::pair<std::string, std::string>, uint32_t> numbers;
    const ProgramRows rows = ExpectedRows(network);
    for (const SimTransport* t : Listed(network)) {
        for (const auto& s : t->services) {
            const std::pair<std::string, std::string> key{std::to_string(t->originalNetworkId),
                                                          std::to_string(s.serviceId)};
            if (rows.count(key)) numbers[key] = s.channelNumber;
        }
    }
    return numbers;
}

class ScanEndToEnd : public programtest::ProgramFixture {
public:
    void SetUp() override {
        host.SetModalTimeLimit(60 * 60 * 1000);
    }

    void UseNetwork(const SimNetwork& network) {
        card.Detach();
        card.UseBackend(std::make_unique<cardlib::SimBackend>(network));
        card.Attach(host);
    }

    ProgramRows Rows(ProgramListDialog& window) {
        ProgramRows rows;
        fw::ListView& list = window.ProgramList();
        for (int r = 0; r < list.GetItemCount(); ++r) {
            std::vector<std::string> cells;
            for (int c = 1; c <= kColumnState; ++c) cells.push_back(list.GetItemText(r, c));
            rows[{list.GetItemText(r, kColumnNwId), list.GetItemText(r, kColumnProgId)}] = cells;
        }
        return rows;
    }

    static std::map<std::pair<std::string, std::string>, uint32_t> Numbers(ProgramListDialog& window) {
        std::map<std::pair<std::string, std::string>, uint32_t> numbers;
        fw::ListView& list = window.ProgramList();
        for (int r = 0; r < list.GetItemCount(); ++r)
            numbers[{list.GetItemText(r, kColumnNwId), list.GetItemText(r, kColumnProgId)}] = window.ChannelNumber(r);
        return numbers;
    }

    static void ExpectNumberedInOrder(ProgramListDialog& window) {
        fw::ListView& list = window.ProgramList();
        for (int r = 0; r < list.GetItemCount(); ++r) EXPECT_EQ(list.GetItemText(r, kColumnNr), std::to_string(r + 1));
    }
};

// The default network is as hard as a real one: a NIT and an SDT in two
// sections met anywhere in their cycle, other networks' NIT and SDTs and
// bouquets on the same PIDs, a service added while its transport is read,
// program 101 on two transports in different PMT PIDs, two programs in one PMT
// PID. Every program still comes through.
TEST_F(ScanEndToEnd, DefaultNetworkFillsAnEmptyProgramList) {
    const SimNetwork& network = cardlib::DefaultNetwork();
    UseNetwork(network);
    ProgramListDialog window(host);
    host.Open(window);
    ScanChannelsDialog scan(host, &window, 1);
    EXPECT_EQ(scan.DoModal(), 1);
    EXPECT_TRUE(host.Messages().empty());

    const ProgramRows expected = ExpectedRows(network);
    const ProgramRows actual = Rows(window);
    EXPECT_GT(expected.size(), 40u);
    EXPECT_EQ(actual.size(), expected.size());
    for (const auto& [key, cells] : expected) {
        auto it = actual.find(key);
        ASSERT_NE(it, actual.end()) << "missing NW " << key.first << " program " << key.second;
        EXPECT_EQ(it->second, cells) << "NW " << key.first << " program " << key.second;
    }
    EXPECT_EQ(Numbers(window), ExpectedNumbers(network));
    ExpectNumberedInOrder(window);

    // The transport that never locks is tuned and asked once: a transport
    // before it had already yielded services.
    std::vector<std::string> log;
    for (int i = 0; i < scan.LogList().GetItemCount(); ++i) log.push_back(scan.LogList().GetItemText(i, 0));
    for (const auto& t : network.transports) {
        if (t.locks) continue;
        char line[64];
        std::snprintf(line, sizeof line, "Set Frequenzy to %.1f MHz", t.frequencyKHz * 100 * 0.00001);
        EXPECT_EQ(std::count(log.begin(), log.end(), std::string(line)), 1) << line;
    }
    host.Close(window);
}

TEST_F(ScanEndToEnd, SecondScanMarksEveryRowActualAndChangedServicesUpdated) {
    SimNetwork network = cardlib::DefaultNetwork();
    UseNetwork(network);
    ProgramListDialog window(host);
    host.Open(window);
    window.OnCommand(res::IDC_SEARCH);
    const ProgramRows first = Rows(window);
    ASSERT_FALSE(first.empty());

    window.OnCommand(res::IDC_SEARCH);
    ProgramRows second = Rows(window);
    ASSERT_EQ(second.size(), first.size());
    for (auto& [key, cells] : second) {
        EXPECT_EQ(cells.back(), "actual") << key.second;
        auto before = first.at(key);
        before.back() = "actual";
        EXPECT_EQ(cells, before) << key.second;
    }

    // One service gets a new video PID, another a new name.
    SimTransport& t = network.transports[1];
    t.services[0].streams[0].pid = static_cast<uint16_t>(t.services[0].streams[0].pid + 7);
    t.services[1].name = "Hafenblick Neu";
    UseNetwork(network);
    window.CheckDlgButton(res::IDC_UPDATE_NAMES, false);
    window.OnCommand(res::IDC_SEARCH);
    const std::string nw = std::to_string(t.originalNetworkId);
    ProgramRows third = Rows(window);
    EXPECT_EQ((third[{nw, std::to_string(t.services[0].serviceId)}].back()), "updated");
    EXPECT_EQ((third[{nw, std::to_string(t.services[1].serviceId)}].back()), "actual");
    EXPECT_EQ((third[{nw, std::to_string(t.services[1].serviceId)}].front()), "Hafenblick Zwei");
    int updated = 0;
    for (const auto& [key, cells] : third) updated += cells.back() == "updated";
    EXPECT_EQ(updated, 1);
    // The whole scan is one step.
    EXPECT_EQ(window.History().UndoName(), "Search");
    window.OnUndo();
    ProgramRows undone = Rows(window);
    for (auto& [key, cells] : second) cells.back().clear();
    EXPECT_EQ(undone, second);
    window.OnRedo();
    EXPECT_EQ(Rows(window), third);

    window.CheckDlgButton(res::IDC_UPDATE_NAMES, true);
    window.OnCommand(res::IDC_SEARCH);
    ProgramRows fourth = Rows(window);
    EXPECT_EQ((fourth[{nw, std::to_string(t.services[1].serviceId)}].front()), "Hafenblick Neu");
    EXPECT_EQ((fourth[{nw, std::to_string(t.services[1].serviceId)}].back()), "updated");
    EXPECT_EQ((fourth[{nw, std::to_string(t.services[0].serviceId)}].back()), "actual");
    host.Close(window);
}

TEST_F(ScanEndToEnd, TransportStreamFilesGiveTheSameProgramList) {
    const SimNetwork& network = cardlib::DefaultNetwork();
    const auto folder = Dir() / "captures";
    std::string error;
    ASSERT_TRUE(cardlib::WriteTsFolder(network, folder.string(), &error)) << error;
    card.Detach();
    card.UseBackend(std::make_unique<cardlib::TsFileBackend>(folder.string(),
                                                             network.transports[network.homeTransport].frequencyKHz));
    card.Attach(host);
    ProgramListDialog window(host);
    host.Open(window);
    window.OnCommand(res::IDC_SEARCH);
    const ProgramRows expected = ExpectedRows(network);
    EXPECT_EQ(Rows(window), expected);
    ExpectNumberedInOrder(window);
    host.Close(window);
}

}  // namespace

namespace {

// When every table arrives before the next tick, a scan of the large network
// takes exactly the ticks its states need, 2 + 2T + 1 + 3R + 2S + 1, and
// merges all of its 500 programs. With "ChainSteps" a tick whose poll is done
// also makes the next request: T + R + S + 2 ticks, the same log and list.
TEST_F(ScanEndToEnd, ScanNeedsNoTickBeyondItsStatesWhenTablesArriveAtOnce) {
    SimNetwork network = cardlib::LargeNetwork();
    network.timing = cardlib::SimTiming{0, 0, 10, 10, 10};
    UseNetwork(network);
    std::vector<std::string> stepLog;
    for (const int chain : {0, 1}) {
        SCOPED_TRACE(chain);
        host.GetProfile().WriteInt("ScanNetwork", "ChainSteps", chain);
        // The ticks the scan's states need, without the time it listens for
        // other networks: NetworkId=0 takes the NIT actual's, no other.
        host.GetProfile().WriteInt("ScanNetwork", "NetworkId", 0);
        ProgramListDialog window(host);
        host.Open(window);
        ScanChannelsDialog scan(host, &window, 1);
        const int64_t began = host.GetClock().NowMs();
        ASSERT_EQ(scan.DoModal(), 1);
        const int64_t ticks = (host.GetClock().NowMs() - began) / 500;
        fw::ListView& services = scan.ServiceList();
        int runs = 0;
        for (int r = 0; r < services.GetItemCount(); ++r) {
            runs += r == 0 || services.GetItemText(r, 1) != services.GetItemText(r - 1, 1) ||
                    services.GetItemText(r, 2) != services.GetItemText(r - 1, 2);
        }
        const int transports = scan.TransportList().GetItemCount();
        // Every transport of the NIT's many sections, every program merged.
        EXPECT_EQ(transports, static_cast<int>(network.transports.size()));
        EXPECT_EQ(Rows(window), ExpectedRows(network));
        EXPECT_EQ(window.ProgramList().GetItemCount(), 500);
        std::vector<std::string> log;
        for (int i = 0; i < scan.LogList().GetItemCount(); ++i) log.push_back(scan.LogList().GetItemText(i, 0));
        if (chain == 0) {
            EXPECT_EQ(ticks, 2 + 2 * transports + 1 + 3 * runs + 2 * services.GetItemCount() + 1);
            stepLog = log;
        } else {
            EXPECT_EQ(ticks, transports + runs + services.GetItemCount() + 2);
            EXPECT_EQ(log, stepLog);
        }
        host.Close(window);
    }
}

}  // namespace

namespace {

// The operator's home transport carries a small network's NIT actual and the
// full network's NIT other. Without "NetworkId" the scan takes the small one;
// with the full network's id, all its transports and its own numbers, in
// NorDig's forms, H.264, HEVC, AAC, AC-3 and E-AC-3 services included.
TEST_F(ScanEndToEnd, NetworkIdTakesThatNetworksNitActualOrOther) {
    const SimNetwork& small = cardlib::OperatorNetwork();
    const SimNetwork& full = cardlib::OperatorFullNetwork();
    UseNetwork(small);
    for (const SimNetwork* network : {&small, &full}) {
        SCOPED_TRACE(network->networkName);
        if (network == &full) host.GetProfile().WriteInt("ScanNetwork", "NetworkId", full.networkId);
        ProgramListDialog window(host);
        host.Open(window);
        ScanChannelsDialog scan(host, &window, 1);
        EXPECT_EQ(scan.DoModal(), 1);
        EXPECT_TRUE(host.Messages().empty());
        EXPECT_EQ(scan.TransportList().GetItemCount(), static_cast<int>(Listed(*network).size()));
        const ProgramRows expected = ExpectedRows(*network);
        EXPECT_EQ(Rows(window), expected);
        EXPECT_EQ(Numbers(window), ExpectedNumbers(*network));
        EXPECT_EQ(expected.size(), network == &small ? 8u : 13u);
        host.Close(window);
    }
}

}  // namespace

namespace {

// The scan window takes its log with it; what the scan did stays with the
// list (a message box, the status line, "Last Scan…"), also when the user
// closed the scan before its end.
TEST_F(ScanEndToEnd, TheScansResultStaysWithTheListWhenItsWindowCloses) {
    UseNetwork(cardlib::DefaultNetwork());
    ProgramListDialog window(host);
    host.Open(window);
    window.OnCommand(res::IDC_SEARCH);
    const int rows = window.ProgramList().GetItemCount();
    const std::string summary =
        "Scan: " + std::to_string(rows) + " added, 0 updated, 0 actual, 0 missing; no lock on 450.0 MHz (TS 11)\n" +
        std::string("Networks on this cable: 28432 \"Lindwurm Kabel\" (NIT actual, 11 transports), 28433 \"Grenzland Kabel\" (NIT other, 2 transports); scanning 28432, set NetworkId for another");
    ASSERT_EQ(host.Messages(), std::vector<std::string>{summary});
    EXPECT_EQ(window.StatusText(), summary);
    window.OnCommand(res::IDM_LAST_SCAN);
    EXPECT_EQ(host.Messages().back(), summary);

    host.ScriptModal(res::IDD_SCAN_CHANNELS, [&](fw::Dialog& scan) { host.Post([&scan] { scan.OnCancel(); }, 20000); });
    window.OnCommand(res::IDC_SEARCH);
    const std::string stopped = "Scan closed before its end: 0 added, 0 updated, ";
    ASSERT_EQ(host.Messages().size(), 3u);
    EXPECT_EQ(host.Messages()[2].rfind(stopped, 0), 0u) << host.Messages()[2];
    EXPECT_NE(host.Messages()[2].find("; what it merged stays in the list"), std::string::npos);
    EXPECT_EQ(window.ProgramList().GetItemCount(), rows);
    host.Close(window);
}

}  // namespace
