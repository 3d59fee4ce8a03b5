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

const std::vector<Format> kImportable = {Format::Dvbv5, Format::Vdr, Format::Zap, Format::M3u, Format::Csv};

// What a format gives back of a program: the CSV every field; the others their
// own fields, plus what an import fills as a scan would.
TunProgDataTag Carried(Format format, const TunProgDataTag& p, uint32_t position) {
    if (format == Format::Csv) return p;
    TunProgDataTag c;
    c.index = position;
    c.name = p.name;
    c.frequency = p.frequency;
    c.standard = 8;
    c.extraInfo = 32;
    c.progId = p.progId;
    c.modulation = p.modulation;
    c.fec = p.fec;
    c.symbolRate = p.symbolRate;
    c.videoPid = p.videoPid;
    c.audioPid = p.audioPid;
    c.progType = p.videoPid ? 1 : 2;
    // A cable MRL has no FEC, and nothing of an entry names the transport.
    if (format == Format::M3u) {
        c.fec = 0;
        return c;
    }
    if (format != Format::Zap) {
        c.tsId = p.tsId;
        c.nwId = p.nwId;
    }
    if (format == Format::Vdr) {
        c.txtPid = p.txtPid;
        c.subtitlePid = p.subtitlePid;
    }
    return c;
}

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
        {Format::Csv, CsvWith(24, "x,y"), "f:3: expected 26 fields, found 27"},
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

namespace {

// dvbv5, m3u and CSV carry the operator's numbers there and back; a CSV
// written before the column reads as programs without numbers.
TEST(ExchangeTest, ChannelNumbersGoOutAndComeBack) {
    exchange::ExportOptions options;
    options.channelNumbers = {7, 0, 1023};
    const std::vector<TunProgDataTag> programs = Programs();
    for (Format format : {Format::Dvbv5, Format::M3u, Format::Csv}) {
        const std::string text = exchange::Export(format, programs, options);
        const exchange::ImportResult back = exchange::Import(format, text, "f");
        ASSERT_TRUE(back.ok) << back.error;
        EXPECT_EQ(back.channelNumbers, options.channelNumbers) << text;
    }
    const std::string dvbv5 = exchange::Export(Format::Dvbv5, programs, options);
    EXPECT_NE(dvbv5.find("\tSERVICE_ID = 10301\n\tVCHANNEL = 7\n"), std::string::npos) << dvbv5;
    const std::string m3u = exchange::Export(Format::M3u, programs, options);
    EXPECT_NE(m3u.find("#EXTINF:-1 tvg-chno=\"7\",Das Erste HD\n"), std::string::npos) << m3u;
    EXPECT_EQ(m3u.find("tvg-chno=\"0\""), std::string::npos) << m3u;
    EXPECT_NE(exchange::Export(Format::Csv, programs, options).find(",5000000,25,7,11,12,,1023\r\n"), std::string::npos);

    // ATSC's "major.minor" gives its major number.
    const exchange::ImportResult atsc =
        exchange::Import(Format::Dvbv5, "[A]\n\tVCHANNEL = 12.1\n\tFREQUENCY = 330000000\n", "f");
    ASSERT_TRUE(atsc.ok) << atsc.error;
    EXPECT_EQ(atsc.channelNumbers, std::vector<uint32_t>{12});

    // The 25 columns alone, as files were written before.
    std::string old;
    const std::string numbered = exchange::Export(Format::Csv, programs, options);
    for (size_t pos = 0; pos < numbered.size();) {
        const size_t end = numbered.find("\r\n", pos);
        const std::string record = numbered.substr(pos, end - pos);
        old += record.substr(0, record.rfind(',')) + "\r\n";
        pos = end + 2;
    }
    const exchange::ImportResult legacy = exchange::Import(Format::Csv, old, "f");
    ASSERT_TRUE(legacy.ok) << legacy.error;
    EXPECT_EQ(legacy.programs, exchange::Import(Format::Csv, exchange::Export(Format::Csv, programs), "f").programs);
    EXPECT_EQ(legacy.channelNumbers, (std::vector<uint32_t>{0, 0, 0}));
}

}  // namespace

namespace {

// VDR learns the video codec from "=type" after the VPID; the service type says it.
TEST(ExchangeTest, VdrNamesTheVideoStreamTypeOfH264AndHevcServices) {
    const struct {
        uint8_t progType;
        uint16_t videoPid;
        const char* vpid;
    } cases[] = {{0x01, 101, ":101:"}, {0x16, 101, ":101=27:"}, {0x19, 101, ":101=27:"}, {0x1C, 101, ":101=27:"},
                 {0x1F, 101, ":101=36:"}, {0x20, 101, ":101=36:"}, {0x19, 0, ":0:"}};
    for (const auto& c : cases) {
        TunProgDataTag p = Programs()[0];
        p.progType = c.progType;
        p.videoPid = c.videoPid;
        const std::string line = exchange::Export(Format::Vdr, {p});
        EXPECT_NE(line.find(std::string(":6900") + c.vpid), std::string::npos) << line;
        const exchange::ImportResult back = exchange::Import(Format::Vdr, line, "f");
        ASSERT_TRUE(back.ok) << back.error;
        EXPECT_EQ(back.programs[0].videoPid, c.videoPid);
    }
}

// A program without a name goes out as "Service" and its service id, so no
// line reads back as a VDR group separator, and comes back as that program.
TEST(ExchangeTest, AProgramWithoutANameGoesOutUnderItsServiceId) {
    std::vector<TunProgDataTag> programs = exchangetest::Programs();
    programs[0].name.clear();
    programs[0].progId = 407;
    for (const exchange::Format format : {exchange::Format::Vdr, exchange::Format::Zap, exchange::Format::Dvbv5,
                                          exchange::Format::M3u, exchange::Format::Csv}) {
        SCOPED_TRACE(exchange::FormatName(format));
        const std::string text = exchange::Export(format, programs);
        EXPECT_NE(text.find("Service 407"), std::string::npos) << text;
        const exchange::ImportResult back = exchange::Import(format, text, "f");
        ASSERT_TRUE(back.ok) << back.error;
        ASSERT_EQ(back.programs.size(), programs.size());
        EXPECT_EQ(back.programs[0].name, "Service 407");
        EXPECT_EQ(back.programs[0].progId, 407);
    }
}

}  // namespace

namespace {

// Names a line format could read as something else, or whose separators it
// must carry: each comes back as it went out, and the export is still known
// for its format.
TEST(ExchangeTest, NamesComeBackFromVdrAndZapAsTheyWentOut) {
    const struct {
        const char* name;
        const char* vdrBack;  // VDR cannot carry ';' (a comma); null: as it went out
    } cases[] = {
        {"#1 Music", nullptr},   {" #Hash", nullptr},   {":Group", nullptr},    {"a|b:c", nullptr},
        {"|", nullptr},          {"\\|x\\", nullptr},    {"C:\\#\\\\", nullptr}, {"a\\b", nullptr},
        {"News;HD", "News,HD"},
    };
    for (const auto& c : cases) {
        for (const Format format : {Format::Vdr, Format::Zap}) {
            SCOPED_TRACE(std::string(exchange::FormatName(format)) + " " + c.name);
            std::vector<TunProgDataTag> programs{Programs()[0]};
            programs[0].name = c.name;
            const std::string text = exchange::Export(format, programs);
            EXPECT_EQ(exchange::FormatFromText(text), format) << text;
            const exchange::ImportResult back = exchange::Import(format, text, "f");
            ASSERT_TRUE(back.ok) << back.error;
            ASSERT_EQ(back.programs.size(), 1u) << text;
            EXPECT_EQ(back.programs[0].name, format == Format::Vdr && c.vdrBack ? c.vdrBack : c.name) << text;
        }
    }
    // What VDR itself writes: "|" stands for ":".
    const std::string vdr = exchange::Export(Format::Vdr, {Programs()[0]});
    std::string own = "A|B" + vdr.substr(vdr.find(':'));
    EXPECT_EQ(exchange::Import(Format::Vdr, own, "f").programs.at(0).name, "A:B");
}

// Text that is not UTF-8 is ISO-8859-15, in every format; UTF-8 stays as it is.
TEST(ExchangeTest, AFileThatIsNotUtf8IsReadAsIso885915) {
    const struct {
        std::string name;
        std::string back;
    } cases[] = {
        {"Caf\xE9 \xA4\xA6\xBE", "Caf\xC3\xA9 \xE2\x82\xAC\xC5\xA0\xC5\xB8"},
        {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},  // UTF-8 already
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},             // an overlong form is no UTF-8
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},  // nor is a surrogate
    };
    for (const auto& c : cases) {
        for (const Format format : kImportable) {
            SCOPED_TRACE(exchange::FormatName(format));
            std::vector<TunProgDataTag> programs{Programs()[0]};
            programs[0].name = c.name;
            const std::string text = exchange::Export(format, programs);
            EXPECT_EQ(exchange::FormatFromText(text), format);
            const exchange::ImportResult back = exchange::Import(format, text, "f");
            ASSERT_TRUE(back.ok) << back.error;
            EXPECT_EQ(back.programs.at(0).name, c.back);
        }
    }
}

// An operator's frequencies are no channel list; a dvbv5 list without a
// delivery system, or with any service, is read as before.
TEST(ExchangeTest, ADtvScanTablesFileIsRefusedForWhatItIs) {
    const std::string table =
        "# Kabel Town\n[CHANNEL]\n\tDELIVERY_SYSTEM = DVBC/ANNEX_A\n\tFREQUENCY = 113000000\n"
        "\tSYMBOL_RATE = 6900000\n\tINNER_FEC = NONE\n\tMODULATION = QAM/256\n\tINVERSION = AUTO\n\n"
        "[CHANNEL]\n\tDELIVERY_SYSTEM = DVBC/ANNEX_A\n\tFREQUENCY = 121000000\n\tSYMBOL_RATE = 6900000\n"
        "\tMODULATION = QAM/64\n";
    ASSERT_EQ(exchange::FormatFromText(table), Format::Dvbv5);
    const exchange::ImportResult refused = exchange::Import(Format::Dvbv5, table, "de-Kabel");
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.programs.empty());
    EXPECT_EQ(refused.error,
              "de-Kabel: an operator's frequency list (dtv-scan-tables), not a channel list: it names no services; "
              "use it as card.ini's Preset=");
    const std::string channels = exchange::Export(Format::Dvbv5, Programs());
    EXPECT_TRUE(exchange::Import(Format::Dvbv5, channels, "f").ok);
    EXPECT_TRUE(exchange::Import(Format::Dvbv5, "[A]\n\tFREQUENCY = 113000000\n", "f").ok);
    // A DVB-T table is one too; a lone "[CHANNEL]" without its delivery system is not.
    std::string terrestrial = table;
    terrestrial.replace(terrestrial.find("DVBC/ANNEX_A"), 12, "DVBT");
    EXPECT_EQ(exchange::Import(Format::Dvbv5, terrestrial, "t").error.substr(0, 5), "t: an");
    EXPECT_TRUE(exchange::Import(Format::Dvbv5, "[CHANNEL]\n\tFREQUENCY = 113000000\n", "f").ok);
}

}  // namespace

namespace {

TEST(ExchangeTest, AnImportSaysHowManyLinesItSkippedAndWhy) {
    const std::string vdr = exchange::Export(Format::Vdr, Programs());
    const struct {
        Format format;
        std::string text;
        size_t programs;
        const char* skipped;
    } cases[] = {
        {Format::Vdr, ":News\n" + vdr + "\n:@20 Radio\n", Programs().size(), "2 lines skipped: VDR group separators"},
        {Format::Vdr, ":Only a group\n", 0, "1 line skipped: VDR group separators"},
        {Format::Vdr, vdr, Programs().size(), ""},
        {Format::Zap, "# a comment\n" + exchange::Export(Format::Zap, Programs()), Programs().size(), ""},
    };
    for (const auto& c : cases) {
        const exchange::ImportResult result = exchange::Import(c.format, c.text, "f");
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.programs.size(), c.programs) << c.text;
        EXPECT_EQ(result.skipped, c.skipped) << c.text;
    }
}

}  // namespace

namespace {

// Recognition reads the first line: each awkward name leads the list once,
// in every format, and what a format can read comes back as it went out.
TEST(ExchangeTest, EveryExportIsRecognisedForItsFormatAndReadsBack) {
    const char* names[] = {"",           "#1 Music", "[HD] Film",       ":Group",      "a|b:c",   "News;HD",
                           "A, B",       " ",        "\"Quoted\" 'too'", "Ελληνικά 東京", "Nr,1",    "#EXTM3U"};
    const size_t count = std::size(names);
    for (const exchange::FormatInfo& info : exchange::Formats()) {
        for (size_t lead = 0; lead < count; ++lead) {
            SCOPED_TRACE(std::string(info.name) + " led by \"" + names[lead] + "\"");
            std::vector<TunProgDataTag> programs;
            exchange::ExportOptions options;
            for (size_t i = 0; i < count; ++i) {
                const size_t n = (lead + i) % count;
                TunProgDataTag p = Programs()[n % 3];
                p.name = names[n];
                p.progId = static_cast<uint16_t>(400 + n);
                programs.push_back(p);
                options.channelNumbers.push_back(n % 2 == 0 ? static_cast<uint32_t>(n + 1) : 0);
            }
            const std::string text = exchange::Export(info.format, programs, options);
            EXPECT_EQ(exchange::FormatFromText(text), info.format) << text.substr(0, text.find('\n'));
            if (!info.read) continue;
            const exchange::ImportResult back = exchange::Import(info.format, text, "f");
            ASSERT_TRUE(back.ok) << back.error;
            std::vector<TunProgDataTag> expected;
            for (size_t i = 0; i < programs.size(); ++i) {
                TunProgDataTag p = Carried(info.format, programs[i], static_cast<uint32_t>(i + 1));
                if (p.name.find_first_not_of(' ') == std::string::npos) p.name = "Service " + std::to_string(p.progId);
                if (info.format == Format::Vdr && p.name == "News;HD") p.name = "News,HD";
                expected.push_back(p);
            }
            EXPECT_EQ(back.programs, expected);
            const bool numbered = info.format == Format::Dvbv5 || info.format == Format::M3u || info.format == Format::Csv;
            EXPECT_EQ(back.channelNumbers, numbered ? options.channelNumbers : std::vector<uint32_t>(count, 0));
        }
    }
}

// Other players' entries (a stream server's URL, a cable MRL without its
// symbol rate) are counted as skipped, a byte order mark is not; attributes
// may hold commas, options may be a player's own, and an entry needs no
// "#EXTINF".
TEST(ExchangeTest, AnM3uImportReadsTheCableEntriesAndSkipsTheOthers) {
    const std::string text =
        "\xEF\xBB\xBF#EXTM3U\n"
        "#EXTINF:-1 group-title=\"News, Sport\" tvg-chno=\"12\",Das Erste, HD \n"
        "#EXTVLCOPT:network-caching=1000\n"
        "#EXTVLCOPT:program=10301\n"
        "#EXTVLCOPT:audio-track-id=5102\n"
        "DVB-C://frequency=330000000:srate=6900000:modulation=256QAM\n"
        "#EXTINF:-1,Web\n"
        "http://box.invalid/1.ts\n"
        "#EXTVLCOPT:program=28\n"
        "dvb-c://srate=6875000:frequency=346000999\n"
        "\n"
        "dvb-c://frequency=346000000\n";
    const exchange::ImportResult result = exchange::Import(Format::M3u, text, "f");
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.programs.size(), 2u);
    EXPECT_EQ(result.skipped, "2 lines skipped: playlist entries whose URL holds no DVB-C tuning data");
    EXPECT_EQ(result.channelNumbers, (std::vector<uint32_t>{12, 0}));
    const TunProgDataTag& tv = result.programs[0];
    EXPECT_EQ(tv.name, "Das Erste, HD ");
    EXPECT_EQ(tv.progId, 10301);
    EXPECT_EQ(tv.frequency, 330000u);
    EXPECT_EQ(tv.symbolRate, 6900000u);
    EXPECT_EQ(tv.modulation, 5);
    EXPECT_EQ(tv.videoPid, 0);
    EXPECT_EQ(tv.audioPid, 5102);
    EXPECT_EQ(tv.progType, 2);
    const TunProgDataTag& bare = result.programs[1];
    EXPECT_EQ(bare.index, 2u);
    EXPECT_EQ(bare.name, "");
    EXPECT_EQ(bare.progId, 28);
    EXPECT_EQ(bare.frequency, 346000u);
    EXPECT_EQ(bare.modulation, 0);  // not given: automatic
}

}  // namespace

namespace {

// Values at the edges of what a format's reader takes, as the fuzzers found
// them: each exported program reads back the same.
TEST(ExchangeTest, ValuesAtTheEdgesOfEachFormatComeBack) {
    const struct {
        Format format;
        const char* what;
        void (*edit)(TunProgDataTag&);
    } cases[] = {
        // VDR reads below 10000 as MHz and from 10000000 on as Hz.
        {Format::Vdr, "8 MHz", [](TunProgDataTag& p) { p.frequency = 8000; }},
        {Format::Vdr, "0 kHz", [](TunProgDataTag& p) { p.frequency = 0; }},
        {Format::Vdr, "10 GHz", [](TunProgDataTag& p) { p.frequency = 10000000; }},
        {Format::Vdr, "the highest", [](TunProgDataTag& p) { p.frequency = 42949672; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(exchange::FormatName(c.format)) + ": " + c.what);
        TunProgDataTag program = Programs()[0];
        c.edit(program);
        const exchange::ImportResult back = exchange::Import(c.format, exchange::Export(c.format, {program}), "f");
        ASSERT_TRUE(back.ok) << back.error;
        EXPECT_EQ(back.programs, std::vector<TunProgDataTag>{Carried(c.format, program, 1)});
    }
    // A byte order mark starts a file, or a line of files joined together: it
    // is no part of the name there (an export would write it first).
    const std::string mark = "\xEF\xBB\xBF";
    for (const Format format : {Format::Vdr, Format::Zap}) {
        SCOPED_TRACE(exchange::FormatName(format));
        const std::string line = exchange::Export(format, {Programs()[0]});
        const exchange::ImportResult joined = exchange::Import(format, "\n\n" + mark + line + mark + mark + line, "f");
        ASSERT_TRUE(joined.ok) << joined.error;
        ASSERT_EQ(joined.programs.size(), 2u);
        EXPECT_EQ(joined.programs[0].name, "Das Erste HD");
        EXPECT_EQ(joined.programs[1].name, "Das Erste HD");
    }
}

}  // namespace
