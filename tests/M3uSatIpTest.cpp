// The m3u's SAT>IP form: each program as the RTSP URL of a SAT>IP server,
// written and read back, and the playlists such servers hand out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exchange/Exchange.h"
#include "tests/ExchangeTestSupport.h"

namespace {

using exchange::Format;

exchange::ExportOptions SatIp(const std::string& server) {
    exchange::ExportOptions options;
    options.m3uUrlPattern = exchange::SatIpUrlPattern(server);
    return options;
}

TEST(M3uSatIp, EachProgramIsItsServersUrlAndReadsBack) {
    const std::vector<TunProgDataTag> programs = exchangetest::Programs();
    const std::string text = exchange::Export(Format::M3u, programs, SatIp("192.168.178.1"));
    EXPECT_NE(text.find("#EXTINF:-1,Das Erste HD\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nrtsp://192.168.178.1/?freq=330&msys=dvbc&sr=6900&mtype=256qam&pids=0,5100,5101,5102,5104,5105\n"),
              std::string::npos)
        << text;
    // 6875 ksym/s, 64-QAM, sound alone; a port beside the host stays.
    EXPECT_NE(exchange::Export(Format::M3u, {programs[1]}, SatIp("box:8554"))
                  .find("\nrtsp://box:8554/?freq=346&msys=dvbc&sr=6875&mtype=64qam&pids=0,"),
              std::string::npos);

    const exchange::ImportResult back = exchange::Import(Format::M3u, text, "satip.m3u");
    ASSERT_TRUE(back.ok) << back.error;
    ASSERT_EQ(back.programs.size(), programs.size());
    for (size_t i = 0; i < programs.size(); ++i) {
        SCOPED_TRACE(programs[i].name);
        const TunProgDataTag& a = programs[i];
        const TunProgDataTag& b = back.programs[i];
        EXPECT_EQ(b.name, a.name);
        EXPECT_EQ(b.frequency, a.frequency);
        EXPECT_EQ(b.symbolRate, a.symbolRate);
        EXPECT_EQ(b.modulation, a.modulation);
        EXPECT_EQ(b.progId, a.progId);
        EXPECT_EQ(b.pmtPid, a.pmtPid);
        EXPECT_EQ(b.videoPid, a.videoPid);
        EXPECT_EQ(b.audioPid, a.audioPid);
    }
}

// A box's own playlist: the name from #EXTINF, the rest from the URL, the
// PIDs in the order PMT, video, sound, teletext after the tables'.
TEST(M3uSatIp, AServersOwnPlaylistImports) {
    const exchange::ImportResult r = exchange::Import(
        Format::M3u,
        "#EXTM3U\n#EXTINF:0,Das Erste HD\n"
        "rtsp://192.168.178.1:554/?avm=1&freq=330.5&bw=8&msys=dvbc&mtype=256qam&sr=6900&specinv=1&pids=0,16,17,18,5100,5101,5102,5104\n"
        "#EXTINF:0,Radio\nRTSP://box/?freq=346&sr=6875&pids=all\n",
        "box.m3u");
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.programs.size(), 2u);
    EXPECT_EQ(r.programs[0].name, "Das Erste HD");
    EXPECT_EQ(r.programs[0].frequency, 330500u);
    EXPECT_EQ(r.programs[0].symbolRate, 6900000u);
    EXPECT_EQ(r.programs[0].modulation, 5);
    EXPECT_EQ(r.programs[0].pmtPid, 5100);
    EXPECT_EQ(r.programs[0].videoPid, 5101);
    EXPECT_EQ(r.programs[0].audioPid, 5102);
    EXPECT_EQ(r.programs[0].txtPid, 5104);
    EXPECT_EQ(r.programs[1].modulation, 0);
    EXPECT_EQ(r.programs[1].pmtPid, 0);
}

TEST(M3uSatIp, BadUrlsAreNamedByFileAndLine) {
    const struct {
        const char* url;
        const char* error;
    } cases[] = {
        {"rtsp://h/?freq=x&sr=6900", "f:3: freq \"x\" is not a number"},
        {"rtsp://h/?freq=346.0005&sr=6900", "f:3: freq 346.0005 is finer than a kHz"},
        {"rtsp://h/?freq=346&sr=", "f:3: sr is missing"},
        {"rtsp://h/?freq=346&sr=6900&msys=dvbs2", "f:3: msys=dvbs2 is not DVB-C (dvbc)"},
        {"rtsp://h/?freq=346&sr=6900&mtype=8psk", "f:3: unknown mtype \"8psk\""},
        {"rtsp://h/?freq=346&sr=6900&pids=0,9000", "f:3: pids 9000 is above 8191"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        const exchange::ImportResult r =
            exchange::Import(Format::M3u, std::string("#EXTM3U\n#EXTINF:-1,A\n") + c.url + "\n", "f");
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, c.error);
    }
}

}  // namespace
