#include <gtest/gtest.h>

#include <filesystem>

#include "simnet/SimNetwork.h"
#include "simnet/SimSections.h"
#include "si/Decoders.h"
#include "res/ResourceIds.h"
#include "tests/HostSupport.h"
#include "tests/ScanTestSupport.h"

namespace {

class ScanWindow : public ::testing::Test {
protected:
    ScanWindow()
        : m_Path(std::filesystem::temp_directory_path() / ("scan-win-" + std::to_string(::getpid()) + ".INI")),
          m_Profile(m_Path.string()), owner(host, {}), window(host, &owner, 1) {
        std::filesystem::remove(m_Path);
        host.SetProfile(&m_Profile);
        host.Open(window);
    }
    ~ScanWindow() override {
        host.Close(window);
        std::filesystem::remove(m_Path);
    }
    static std::vector<std::string> Cells(fw::ListView& list, int row) {
        std::vector<std::string> cells;
        for (int c = 0; c < list.GetColumnCount(); ++c) cells.push_back(list.GetItemText(row, c));
        return cells;
    }

    fw::HeadlessHost host;
    hosttest::RegisteredResources resources{host};
    std::filesystem::path m_Path;
    fw::Profile m_Profile;
    scantest::ScriptedOwner owner;
    ScanChannelsDialog window;
};

TEST_F(ScanWindow, OpensWithItsColumnsAndFirstStatusLine) {
    EXPECT_EQ(window.TransportList().GetColumnCount(), 7);
    EXPECT_EQ(window.ServiceList().Column(6).title, "CA-ID's");
    EXPECT_EQ(window.PatList().Column(0).align, fw::Align::Center);
    EXPECT_EQ(window.LogList().GetItemText(0, 0), "Request NIT");
    EXPECT_EQ(window.TimerId(), ScanChannelsDialog::kScanTimerId);
    const fw::Rect pat = window.GetControlRect(1001);
    EXPECT_EQ(window.PatList().GetColumnWidth(2), static_cast<int>((pat.Width() - 4 - 17) * 0.56));
}

TEST_F(ScanWindow, TransportRowsAreKeyedByNetworkAndTransportAndSortedByTransport) {
    window.AddTransport(7, 1, 35400000, 6900, 5, 0);
    window.AddTransport(3, 1, 34600000, 6900, 3, 0);
    window.AddTransport(3, 1, 99, 99, 99, 99);  // a repetition changes nothing
    window.AddTransport(3, 2, 36200000, 6875, 3, 0);
    fw::ListView& list = window.TransportList();
    ASSERT_EQ(list.GetItemCount(), 3);
    EXPECT_EQ(Cells(list, 0), (std::vector<std::string>{"3", "1", "34600000", "6900", "3", "0", ""}));
    EXPECT_EQ(list.GetItemText(1, 1), "2");
    EXPECT_EQ(list.GetItemText(2, 0), "7");
    EXPECT_EQ(list.GetItemData(1), (2u << 16) | 3u);
    window.SetTransportSdtVersion(3, 2, 17);
    window.SetTransportSdtVersion(9, 9, 4);  // no such transport
    EXPECT_EQ(list.GetItemText(1, 6), "17");
    EXPECT_EQ(list.GetItemText(0, 6), "");
}

TEST_F(ScanWindow, ServiceNamesAreShownWithoutControlCodesAndCaIdsInHex) {
    window.AddServiceDetails(3, 1, 28006, 1, std::string("\x86Nachrichten\x87 24"), "Anbieter", {0x1702, 0x0B00, 0x1702},
                             0);
    window.AddServiceDetails(3, 1, 28007, 2, "", "", {}, 0);
    window.SetServiceNvodReference(3, 1, 28010, 257);
    fw::ListView& list = window.ServiceList();
    ASSERT_EQ(list.GetItemCount(), 3);
    EXPECT_EQ(Cells(list, 0),
              (std::vector<std::string>{"28006", "3", "1", "Nachrichten 24", "Anbieter", "1", "1702 0B00 1702 ", "", ""}));
    EXPECT_EQ(list.GetItemText(1, 3), "");
    EXPECT_EQ(list.GetItemText(2, 7), "257");
    EXPECT_EQ(list.GetItemData(0), (28006u << 16) | 3u);
    // A later description without a name keeps the name, takes the new type.
    window.AddServiceDetails(3, 1, 28006, 25, "", "", {}, 0);
    EXPECT_EQ(list.GetItemText(0, 3), "Nachrichten 24");
    EXPECT_EQ(list.GetItemText(0, 5), "25");
}

TEST_F(ScanWindow, PatRowsNameTheirProgramsAndKeepTheFirstPmtPid) {
    window.AddServiceDetails(5, 1, 300, 1, "", "", {}, 0);
    window.AddPatEntry(5, 898, 0x1000);
    window.AddPatEntry(5, 0, 0x10);
    window.AddPatEntry(5, 300, 0x300);
    window.AddPatEntry(9, 898, 0x2000);
    fw::ListView& list = window.PatList();
    ASSERT_EQ(list.GetItemCount(), 3);
    EXPECT_EQ(Cells(list, 0), (std::vector<std::string>{"16", "0", "< 0 >"}));
    EXPECT_EQ(Cells(list, 1), (std::vector<std::string>{"768", "300", "< 300 >"}));
    EXPECT_EQ(Cells(list, 2), (std::vector<std::string>{"4096", "898", "< PRO SIEBEN >"}));
    const std::pair<uint32_t, const char*> known[] = {{46, "< SAT.1 >"}, {47, "< N24 >"}, {52, "< N24 >"},
                                                       {53, "< CBS >"},  {899, "< KABEL 1 >"}, {900, "< 900 >"}};
    for (const auto& [program, name] : known) EXPECT_EQ(window.GetServiceName(5, program), name) << program;
}

TEST_F(ScanWindow, FindServiceWithoutTransportPrefersARowWithAName) {
    window.AddServiceDetails(1, 1, 40, 1, "", "", {}, 0);
    window.AddServiceDetails(2, 1, 40, 1, "Benannt", "", {}, 0);
    EXPECT_EQ(window.FindService(0, 40), 1);
    EXPECT_EQ(window.FindService(1, 40), 0);
    EXPECT_EQ(window.FindService(0, 41), -1);
}

TEST_F(ScanWindow, StreamRowsAreUniquePerPidAndTagAndSortedByPid) {
    using si::StreamKind;
    window.AddPmtStream(1, 0x100, 256, 2, 0, StreamKind::Video);
    window.AddPmtStream(1, 0x100, 17, 6, 0, StreamKind::Teletext);
    window.AddPmtStream(1, 0x100, 256, 2, 0, StreamKind::Video);
    window.AddPmtStream(1, 0x100, 256, 2, 1, StreamKind::Video);
    window.AddPmtStream(1, 0x100, 300, 0x1B, 0, StreamKind::Video);
    window.AddPmtStream(1, 0x100, 301, 0x81, 0, StreamKind::Audio);
    fw::ListView& list = window.StreamList();
    ASSERT_EQ(list.GetItemCount(), 5);
    EXPECT_EQ(Cells(list, 0), (std::vector<std::string>{"   17", "6 - Text/Data", "0",
                                                         "ITU-T Rec. H.222.0 | ISO/IEC 13818-1 PES packets containing private data"}));
    EXPECT_EQ(list.GetItemText(1, 1), "2 - Video");
    EXPECT_EQ(list.GetItemText(2, 2), "1");
    // H.264 is named, no longer called reserved.
    EXPECT_EQ(list.GetItemText(3, 3), "ITU-T Rec. H.264 | ISO/IEC 14496-10 Video");
    EXPECT_EQ(list.GetItemText(3, 1), "27 - Video");
    EXPECT_EQ(list.GetItemText(4, 1), "129 - Audio");
    EXPECT_EQ(list.GetItemText(4, 3), "User private");
    EXPECT_EQ(list.GetItemData(2), (1u << 16) | 256u);
}

// MPEG-2 video and MPEG sound win over lower PIDs of the newer types, which
// serve only where those are missing.
TEST_F(ScanWindow, StreamPidsPreferMpeg2VideoAndMpegAudio) {
    using si::StreamKind;
    window.AddPmtStream(1, 0x100, 100, 0x1B, 0, StreamKind::Video);
    window.AddPmtStream(1, 0x100, 110, 0x0F, 0, StreamKind::Audio);
    window.AddPmtStream(1, 0x100, 120, 6, 0, StreamKind::Subtitle);
    window.AddPmtStream(1, 0x100, 200, 2, 0, StreamKind::Video);
    window.AddPmtStream(1, 0x100, 210, 4, 0, StreamKind::Audio);
    ScanChannelsDialog::StreamPids pids = window.FindStreamPids();
    EXPECT_EQ(pids.video, 200);
    EXPECT_EQ(pids.audio, 210);
    EXPECT_EQ(pids.subtitle, 120);
    EXPECT_EQ(pids.text, 0);
    window.StreamList().DeleteAllItems();
    window.AddPmtStream(1, 0x100, 300, 0x24, 0, StreamKind::Video);
    window.AddPmtStream(1, 0x100, 310, 6, 0, StreamKind::Audio);
    pids = window.FindStreamPids();
    EXPECT_EQ(pids.video, 300);
    EXPECT_EQ(pids.audio, 310);
}

TEST_F(ScanWindow, ResizingLaysTheListsOutAndPlacementIsKept) {
    const int strip = window.GetClientRect().Height() - window.GetControlRect(res::IDC_SCAN_PROGRESS).top;
    const int lineBelowBar = window.GetControlRect(res::IDC_SCAN_PROGRESS_TEXT).top -
                             window.GetControlRect(res::IDC_SCAN_PROGRESS).top;
    window.MoveWindow(fw::Rect{100, 50, 100 + 808, 50 + 627});
    const fw::Rect client = window.GetClientRect();
    const fw::Rect log = window.GetControlRect(1114);
    const fw::Rect transports = window.GetControlRect(1004);
    const fw::Rect streams = window.GetControlRect(1002);
    // The lists share the height above the progress strip, which keeps the
    // height the template gives it and spans the width below them.
    const fw::Rect bar = window.GetControlRect(res::IDC_SCAN_PROGRESS);
    const fw::Rect line = window.GetControlRect(res::IDC_SCAN_PROGRESS_TEXT);
    const double W = client.Width(), H = bar.top, L = log.left, T = log.top;
    EXPECT_EQ(log.Width(), static_cast<int>((W - 2.5 * L) * 0.4));
    EXPECT_EQ(transports.Width(), static_cast<int>((W - 2.5 * L) * 0.6));
    EXPECT_EQ(transports.left, static_cast<int>(W - L - transports.Width()));
    EXPECT_EQ(streams.top, static_cast<int>(2 * T + (H - 3 * T) * 0.76));
    EXPECT_EQ(streams.right, static_cast<int>(W - L));
    EXPECT_EQ(client.Height() - bar.top, strip);
    EXPECT_LT(streams.bottom, bar.top);
    EXPECT_EQ(line.top - bar.top, lineBelowBar);
    for (const fw::Rect& r : {bar, line}) {
        EXPECT_EQ(r.left, log.left);
        EXPECT_EQ(r.right, static_cast<int>(W - L));
    }
    host.Close(window);
    EXPECT_EQ(m_Profile.GetInt("ScanNetwork", "Left", 0), 100);
    EXPECT_EQ(m_Profile.GetInt("ScanNetwork", "Bottom", 0), 677);
    ScanChannelsDialog again(host, &owner, 1);
    host.Open(again);
    EXPECT_EQ(again.GetWindowRect(), (fw::Rect{100, 50, 908, 677}));
    host.Close(again);
}

// The stream rule of an MPEG-2 receiver: the lowest PID of type 2, of types 3
// and 4, of type 6.
ScanChannelsDialog::StreamPids OldRule(fw::ListView& streams) {
    ScanChannelsDialog::StreamPids pids;
    for (int row = 0; row < streams.GetItemCount(); ++row) {
        const unsigned type = static_cast<unsigned>(std::stoul(streams.GetItemText(row, 1)));
        const auto pid = static_cast<uint16_t>(streams.GetItemData(row) & 0xFFFF);
        uint16_t* into = type == 2 ? &pids.video : type == 3 || type == 4 ? &pids.audio : type == 6 ? &pids.text : nullptr;
        if (into != nullptr && *into == 0) *into = pid;
    }
    return pids;
}

// Over every service of the built-in networks: where the old rule found MPEG-2
// video or MPEG audio, the PIDs it found stay as they were, but for a type-6
// stream that was taken for teletext and is sound, subtitles or data.
TEST_F(ScanWindow, ServicesWithMpeg2PictureOrSoundKeepTheirPidsButForMisreadPrivateData) {
    int kept = 0, mended = 0, gained = 0;
    for (const cardlib::SimNetwork* network : {&cardlib::DefaultNetwork(), &cardlib::LargeNetwork(),
                                               &cardlib::OperatorNetwork()}) {
        std::vector<const cardlib::SimTransport*> transports;
        for (const auto& t : network->transports) transports.push_back(&t);
        for (const auto& other : network->neighbours)
            for (const auto& t : other.transports) transports.push_back(&t);
        for (const cardlib::SimTransport* t : transports) {
            for (const cardlib::SimService& s : t->services) {
                if (s.pmtPid == 0) continue;
                SCOPED_TRACE(testing::Message() << "service " << s.serviceId);
                window.StreamList().DeleteAllItems();
                cardlib::Section pmt = cardlib::BuildPmt(s);
                si::DecodePmt(pmt.data(), static_cast<int>(pmt.size()), &window);
                const ScanChannelsDialog::StreamPids old = OldRule(window.StreamList());
                const ScanChannelsDialog::StreamPids now = window.FindStreamPids();
                if (old.video == 0 && old.audio == 0) {
                    gained += now.video != 0 || now.audio != 0;
                    continue;
                }
                // A PID the old rule found stays; where it found none (H.264
                // beside MPEG audio) the new one may find one.
                EXPECT_TRUE(old.video == 0 || now.video == old.video);
                EXPECT_TRUE(old.audio == 0 || now.audio == old.audio);
                gained += now.video != old.video || now.audio != old.audio;
                if (now.text == old.text) {
                    ++kept;
                    continue;
                }
                // The old teletext PID was another kind of private data.
                ++mended;
                for (const cardlib::SimStream& st : s.streams) {
                    if (st.pid != old.text) continue;
                    EXPECT_NE(st.kind, cardlib::StreamKind::Teletext);
                }
            }
        }
    }
    EXPECT_GT(kept, 500);
    EXPECT_GT(mended, 5);
    EXPECT_GT(gained, 5);
}

}  // namespace
