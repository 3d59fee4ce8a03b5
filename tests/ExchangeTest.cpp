#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "exchange/Exchange.h"
#include "tests/ExchangeTestSupport.h"
#include "tests/ProgramTestSupport.h"

namespace {

using exchange::Format;
using exchangetest::Programs;

std::string Golden(const std::string& file) {
    std::ifstream in(std::string(KELVANE_TEST_DATA) + "/exchange/" + file, std::ios::binary);
    EXPECT_TRUE(in) << file;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using exchangetest::kImportable;

using exchangetest::Carried;

TEST(ExchangeTest, ExportsMatchTheGoldenFiles) {
    const struct {
        Format format;
        const char* golden;
        const char* empty;
    } cases[] = {
        {Format::Dvbv5, "programs.dvbv5", ""},
        {Format::Vdr, "programs.vdr", ""},
        {Format::Zap, "programs.zap", ""},
        {Format::M3u, "programs.m3u", "#EXTM3U\n"},
        {Format::Csv, "programs.csv", nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(exchange::Export(c.format, Programs()), Golden(c.golden)) << c.golden;
        // The CSV of an empty list is its header row alone.
        const std::string empty = c.empty ? c.empty : Golden(c.golden).substr(0, Golden(c.golden).find('\n') + 1);
        EXPECT_EQ(exchange::Export(c.format, {}), empty) << c.golden;
        const exchange::ImportResult back = exchange::Import(c.format, empty, "empty");
        EXPECT_TRUE(back.ok) << c.golden;
        EXPECT_TRUE(back.programs.empty()) << c.golden;
    }
}

TEST(ExchangeTest, M3uUrlPatternFillsPlaceholders) {
    exchange::ExportOptions options;
    options.m3uUrlPattern = "http://tv/{frequency_khz}/{qam}/{service_id}?p={video_pid},{audio_pid},{pmt_pid}&{nope}";
    const std::string text = exchange::Export(Format::M3u, {Programs()[0]}, options);
    EXPECT_NE(text.find("\nhttp://tv/330000/256/10301?p=5101,5102,5100&{nope}\n"), std::string::npos) << text;
}

TEST(ExchangeTest, ExportThenImportGivesTheProgramsBack) {
    for (const Format format : kImportable) {
        const std::vector<TunProgDataTag> programs = Programs();
        const exchange::ImportResult back =
            exchange::Import(format, exchange::Export(format, programs), "round.trip");
        ASSERT_TRUE(back.ok) << exchange::FormatName(format) << ": " << back.error;
        ASSERT_EQ(back.programs.size(), programs.size()) << exchange::FormatName(format);
        for (size_t i = 0; i < programs.size(); ++i) {
            TunProgDataTag expected = Carried(format, programs[i], static_cast<uint32_t>(i + 1));
            // Separators a format cannot carry in a name.
            if (i == 2 && format == Format::Vdr) expected.name = "Sport: \"Live\", A,B";
            EXPECT_EQ(back.programs[i], expected) << exchange::FormatName(format) << " #" << i;
        }
    }
}

// The CSV row of the television program with one cell's text replaced.
std::string CsvRow(int column, const std::string& cell) {
    const std::string header = exchange::Export(Format::Csv, {});
    std::string row = exchange::Export(Format::Csv, {Programs()[0]}).substr(header.size());
    size_t start = 0;
    for (int i = 0; i < column; ++i) start = row.find(',', start) + 1;
    row.replace(start, row.find_first_of(",\r", start) - start, cell);
    return row;
}

// Header, a good row, then the row with the bad cell on line 3.
std::string CsvWith(int column, const std::string& cell) {
    return exchange::Export(Format::Csv, {Programs()[0]}) + CsvRow(column, cell);
}

std::string CsvOfName(const std::string& name) {
    std::vector<TunProgDataTag> programs{Programs()[0]};
    programs[0].name = name;
    return exchange::Export(Format::Csv, programs);
}

TEST(ExchangeTest, ABadLineImportsNothingAndSaysWhereItIs) {
    const std::string zap = "A:330000000:INVERSION_AUTO:6900000:FEC_AUTO:QAM_256:101:102:1\n";
    const std::string vdr = "A:330000:C999M256:C:6900:101:102:0:0:1:1:1:0\n";
    const std::string dvbv5 = "[A]\n\tFREQUENCY = 330000000\n\n";
    const struct {
        Format format;
        std::string text;
        const char* error;
    } cases[] = {
        {Format::Zap, zap + "B:330000000:INVERSION_AUTO:6900000:FEC_AUTO:QAM_256:101:8192:2",
         "f:2: audio PID 8192 is above 8191"},
        {Format::Zap, zap + "B:33O000000:INVERSION_AUTO:6900000:FEC_AUTO:QAM_256:101:102:2",
         "f:2: frequency \"33O000000\" is not a number"},
        {Format::Zap, zap + "\nB:330000000:INVERSION_AUTO:6900000:FEC_AUTO:QAM_512:101:102:2",
         "f:3: unknown modulation \"QAM_512\""},
        {Format::Zap, zap + "B:330000000:INVERSION_AUTO:6900000:FEC_AUTO:QAM_256:101:102",
         "f:2: expected 9 fields separated by \":\", found 8"},
        {Format::Zap, zap + "B:330000000:INVERSION_AUTO:6900000:FEC_7_9:QAM_256:101:102:2",
         "f:2: unknown FEC \"FEC_7_9\""},
        {Format::Zap, zap + "B:330000000:INVERSION_MAYBE:6900000:FEC_AUTO:QAM_256:101:102:2",
         "f:2: unknown inversion \"INVERSION_MAYBE\""},
        {Format::Zap, zap + "B:330000000:INVERSION_AUTO:6900000:FEC_AUTO:QAM_256:101:102:65536",
         "f:2: service id 65536 is above 65535"},
        {Format::Zap, zap + "B:330000000:INVERSION_AUTO::FEC_AUTO:QAM_256:101:102:2",
         "f:2: symbol rate is missing"},
        {Format::Vdr, vdr + "B:330000:C999M256:C:6900:9000=27:102:0:0:2:1:1:0", "f:2: VPID 9000 is above 8191"},
        {Format::Vdr, vdr + "B:abc:C999M256:C:6900:101:102:0:0:2:1:1:0",
         "f:2: frequency \"abc\" is not a number"},
        {Format::Vdr, vdr + "B:330000:C0M512:C:6900:101:102:0:0:2:1:1:0", "f:2: unknown modulation M512"},
        {Format::Vdr, vdr + "B:330000:c0:C:6900:101:102:0:0:2:1:1:0",
         "f:2: parameters \"c0\" are not letters with numbers"},
        {Format::Vdr, vdr + "B:11836:HC34M2S0:S19.2E:27500:101:102:0:0:2:1:1:0",
         "f:2: source \"S19.2E\" is not cable (C)"},
        {Format::Vdr, vdr + "B:330000:C0M256:C:6900:101:102:0:0:2:1:1",
         "f:2: expected 13 fields separated by \":\", found 12"},
        {Format::Vdr, vdr + "B:330000:C0M256:C:6900:101:102:104;9999=deu:0:2:1:1:0",
         "f:2: subtitle PID 9999 is above 8191"},
        {Format::Dvbv5, dvbv5 + "[B]\n\tFREQUENCY = 330000000\n\tVIDEO_PID = 8192\n",
         "f:6: VIDEO_PID 8192 is above 8191"},
        {Format::Dvbv5, dvbv5 + "[B]\n\tFREQUENCY = 330MHz\n", "f:5: FREQUENCY \"330MHz\" is not a number"},
        // Frequencies the list's 10 Hz cells hold without wrapping, in every format.
        {Format::Dvbv5, dvbv5 + "[B]\n\tFREQUENCY = 50000000000\n", "f:5: FREQUENCY 50000000000 is above 42949672999"},
        {Format::Zap, zap + "B:42949673000:INVERSION_AUTO:6900000:FEC_AUTO:QAM_256:101:102:2",
         "f:2: frequency 42949673000 is above 42949672999"},
        {Format::Vdr, vdr + "B:42949673000:C0M256:C:6900:101:102:0:0:2:1:1:0",
         "f:2: frequency 42949673000 is above 42949672 kHz"},
        {Format::Csv, CsvWith(2, "4294967300"), "f:3: Frequenz 4294967300 is above 4294967299"},
        {Format::Dvbv5, dvbv5 + "[B]\n\tMODULATION = QAM/512\n", "f:5: unknown modulation \"QAM/512\""},
        {Format::Dvbv5, dvbv5 + "[B]\n\tAUDIO_PID = 101 x\n", "f:5: AUDIO_PID \"x\" is not a number"},
        {Format::Dvbv5, dvbv5 + "[B]\n\tFREQUENCY 330000000\n", "f:5: expected \"KEY = VALUE\" or \"[name]\""},
        {Format::Dvbv5, "\tFREQUENCY = 330000000\n" + dvbv5, "f:1: \"FREQUENCY\" before the first [name]"},
        {Format::Dvbv5, dvbv5 + "[B\n", "f:4: entry name without its closing \"]\""},
        {Format::Dvbv5, dvbv5 + "[B]\n\tDELIVERY_SYSTEM = DVBT\n", "f:5: delivery system \"DVBT\" is not DVB-C"},
        {Format::Dvbv5, dvbv5 + "[B]\n\tSERVICE_ID = 1\n", "f:4: entry \"B\" has no FREQUENCY"},
        {Format::Dvbv5, dvbv5 + "[B]\n\tFREQUENCY = 330000000\n\tINNER_FEC = 7/9\n",
         "f:6: unknown INNER_FEC \"7/9\""},
        {Format::Csv, CsvWith(4, "8192"), "f:3: V-PID 8192 is above 8191"},
        {Format::Csv, CsvWith(2, "330 MHz"), "f:3: Frequenz \"330 MHz\" is not a number"},
        {Format::Csv, CsvWith(15, "256"), "f:3: Modulation 256 is above 255"},
        {Format::Csv, CsvOfName("Two\nlines") + CsvRow(1, "x\"y"), "f:4: quote inside an unquoted field"},
        {Format::Csv, CsvWith(1, "\"Open"), "f:3: quoted field is not closed"},
        {Format::Csv, CsvWith(1, "\"A\"B"), "f:3: text after a closing quote"},
        {Format::Csv, CsvWith(24, "x,y"), "f:3: expected 28 fields, found 29"},
        {Format::Csv, CsvWith(25, "5a"), "f:3: LCN \"5a\" is not a number"},
        {Format::Dvbv5, dvbv5 + "[B]\n\tFREQUENCY = 330000000\n\tVCHANNEL = 70000\n", "f:6: VCHANNEL 70000 is above 65535"},
        {Format::Csv, "Nr,Name" + CsvWith(2, "1").substr(CsvWith(2, "1").find(",Frequenz")),
         "f:1: the header row is not the program list's columns (\"Name\" where \"Programm\" belongs)"},
        // The error stays one line: a stray CR or a cell's line break is shown escaped.
        {Format::Dvbv5, dvbv5 + "[B]\n\tNETWORK_ID = 6\r7\n", "f:5: NETWORK_ID \"6\\r7\" is not a number"},
        {Format::Csv, "Nr,\"Pro\ngramm\"" + CsvWith(2, "1").substr(CsvWith(2, "1").find(",Frequenz")),
         "f:1: the header row is not the program list's columns (\"Pro\\ngramm\" where \"Programm\" belongs)"},
        {Format::M3u, "#EXTM3U\n#EXTINF:-1,A\nhttp://box/1\n#EXTINF:-1,B\nhttp://box/2\n",
         "f:3: no entry's URL holds DVB-C tuning data (dvb-c://frequency=...:srate=...)"},
        {Format::M3u, "#EXTM3U\n#EXTINF:-1,A\ndvb-c://frequency=330000000:srate=6900000\n",
         "f:2: entry has no \"#EXTVLCOPT:program=\" with its service id"},
        {Format::M3u, "#EXTVLCOPT:program=1\n#EXTVLCOPT:audio-track-id=8192\ndvb-c://frequency=3:srate=6900000\n",
         "f:2: audio-track-id 8192 is above 8191"},
        {Format::M3u, "#EXTVLCOPT:program=1\ndvb-c://frequency=330MHz:srate=6900000\n",
         "f:2: frequency \"330MHz\" is not a number"},
        {Format::M3u, "#EXTVLCOPT:program=1\ndvb-c://frequency=330000000:srate=6900000:modulation=512QAM\n",
         "f:2: unknown modulation \"512QAM\""},
        {Format::M3u, "#EXTINF:-1 tvg-chno=\"x\",A\n#EXTVLCOPT:program=1\ndvb-c://frequency=3:srate=1\n",
         "f:1: tvg-chno \"x\" is not a number"},
    };
    for (const auto& c : cases) {
        const exchange::ImportResult result = exchange::Import(c.format, c.text, "f");
        EXPECT_FALSE(result.ok) << c.text;
        EXPECT_TRUE(result.programs.empty()) << c.text;
        EXPECT_EQ(result.error, c.error) << c.text;
    }
}

TEST(ExchangeTest, FormatsAreKnownByNameExtensionAndContent) {
    EXPECT_EQ(exchange::FormatFromName("DVBv5"), Format::Dvbv5);
    EXPECT_EQ(exchange::FormatFromName("xml"), std::nullopt);
    EXPECT_EQ(exchange::FormatFromFileName("/a.b/list.M3U8"), Format::M3u);
    EXPECT_EQ(exchange::FormatFromFileName("list.csv"), Format::Csv);
    EXPECT_EQ(exchange::FormatFromFileName("channels.conf"), std::nullopt);
    EXPECT_EQ(exchange::FormatFromFileName("a.b/channels"), std::nullopt);
    for (const Format format : {Format::Dvbv5, Format::Vdr, Format::Zap, Format::M3u, Format::Csv}) {
        EXPECT_EQ(exchange::FormatFromName(exchange::FormatName(format)), format);
        EXPECT_EQ(exchange::FormatFromText("\n" + exchange::Export(format, Programs())), format)
            << exchange::FormatName(format);
        // As a Windows editor saves it.
        EXPECT_EQ(exchange::FormatFromText("\xEF\xBB\xBF" + exchange::Export(format, Programs())), format)
            << exchange::FormatName(format);
    }
}

}  // namespace
