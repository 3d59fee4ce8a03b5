// What a SAT>IP client reads from a server: URLs, RTSP answers cut from a
// stream, RTP and RTCP packets, each within the bytes received.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "satip/SatIpProtocol.h"

namespace {

namespace satip = cardlib::satip;

TEST(SatIpProtocol, TuningsReadBackFromTheirUrls) {
    struct Case {
        std::string url;
        bool ok;
        unsigned long kHz;
        uint32_t symbolRate;
        unsigned modulation;
    } cases[] = {
        {"rtsp://box/?freq=346&msys=dvbc&sr=6900&mtype=64qam&pids=0,16", true, 346000, 6900000, 64},
        {"rtsp://box/?FREQ=113.5&sr=6875", true, 113500, 6875000, 0},
        {"rtsp://box/?freq=346&msys=dvbs2&sr=6900", false, 0, 0, 0},
        {"rtsp://box/?freq=346&sr=6900&mtype=8psk", false, 0, 0, 0},
        {"rtsp://box/?freq=346&sr=", false, 0, 0, 0},
        {"rtsp://box/?freq=3x6&sr=6900", false, 0, 0, 0},
        {"rtsp://box/stream=1", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const auto tuning = satip::TuningOf(satip::QueryOf(c.url));
        ASSERT_EQ(tuning.has_value(), c.ok);
        if (!tuning) continue;
        EXPECT_EQ(tuning->frequencyKHz, c.kHz);
        EXPECT_EQ(tuning->symbolRate, c.symbolRate);
        EXPECT_EQ(tuning->modulation, c.modulation);
        // What is written reads back the same.
        const auto again = satip::TuningOf(satip::QueryOf("?" + satip::TuningQuery(*tuning)));
        ASSERT_TRUE(again);
        EXPECT_EQ(again->frequencyKHz, c.kHz);
        EXPECT_EQ(again->modulation, c.modulation);
    }
    EXPECT_EQ(satip::PidsOf("0,16,8191"), (std::set<uint16_t>{0, 16, 8191}));
    EXPECT_FALSE(satip::PidsOf("0,8192"));
    EXPECT_FALSE(satip::PidsOf("all"));
    EXPECT_EQ(satip::PidText({}), "none");
}

TEST(SatIpProtocol, AStreamIsCutIntoAnswersAndInterleavedPackets) {
    std::string stream = std::string("$\x01\x00\x03", 4) + "abc" +
                         "RTSP/1.0 200 OK\r\nCSeq: 2\r\nSession: 12AB;timeout=30\r\nContent-Length: 4\r\n\r\nv=0\n" +
                         "RTSP/1.0 454 Session Not Found\r\nCSeq: 3\r\n";
    satip::StreamItem frame = satip::CutStream(stream);
    ASSERT_EQ(frame.kind, satip::StreamItem::Kind::Interleaved);
    EXPECT_EQ(frame.channel, 1);
    EXPECT_EQ(frame.payload, "abc");
    satip::StreamItem answer = satip::CutStream(stream);
    ASSERT_EQ(answer.kind, satip::StreamItem::Kind::Message);
    EXPECT_EQ(answer.message.Status(), 200);
    EXPECT_EQ(answer.message.body, "v=0\n");
    EXPECT_EQ(satip::SessionOf(answer.message.Header("session")), (std::pair<std::string, int>{"12AB", 30}));
    // The next answer has not come whole yet.
    EXPECT_EQ(satip::CutStream(stream).kind, satip::StreamItem::Kind::Incomplete);
    stream += "\r\n";
    EXPECT_EQ(satip::CutStream(stream).message.Status(), 454);
    std::string endless(20000, 'x');
    EXPECT_EQ(satip::CutStream(endless).kind, satip::StreamItem::Kind::Garbage);
    std::string huge = "RTSP/1.0 200 OK\r\nContent-Length: 99999999\r\n\r\n";
    EXPECT_EQ(satip::CutStream(huge).kind, satip::StreamItem::Kind::Garbage);
}

TEST(SatIpProtocol, PacketsAreReadWithinTheirBytes) {
    std::vector<uint8_t> rtp;
    satip::WriteRtpHeader(rtp, 7, 90000, 1);
    rtp.resize(rtp.size() + 188, 0x47);
    const auto payload = satip::RtpPayload(rtp.data(), rtp.size());
    ASSERT_TRUE(payload);
    EXPECT_EQ(payload->first, 12u);
    EXPECT_EQ(payload->second, 188u);
    // CSRCs counted past the end, padding longer than the packet.
    std::vector<uint8_t> bad = rtp;
    bad[0] = 0x8F;
    bad.resize(40);
    EXPECT_FALSE(satip::RtpPayload(bad.data(), bad.size()));
    bad = rtp;
    bad[0] |= 0x20;
    bad.back() = 0xFF;
    EXPECT_FALSE(satip::RtpPayload(bad.data(), bad.size()));

    const std::string text = "ver=1.0;src=1;tuner=1,224,1,14,346.00,8,dvbc,64qam,6900,0,0,0,0;pids=0,16";
    const std::vector<uint8_t> rtcp = satip::WriteSes1(5, text);
    EXPECT_EQ(satip::FindSes1(rtcp.data(), rtcp.size()), text);
    const auto report = satip::ReadTunerText(text);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->level, 224u);
    EXPECT_TRUE(report->lock);
    EXPECT_EQ(report->quality, 14u);
    EXPECT_EQ(report->frequencyKHz, 346000u);
    // Every cut of the compound short of its end is read as far as it goes.
    for (size_t size = 0; size < rtcp.size(); ++size)
        EXPECT_FALSE(satip::FindSes1(rtcp.data(), size)) << size;
    EXPECT_FALSE(satip::ReadTunerText("ver=1.0;tuner=1,256,1,14,346"));
    EXPECT_FALSE(satip::ReadTunerText("ver=1.0;tuner=1,200,1"));
}

}  // namespace
