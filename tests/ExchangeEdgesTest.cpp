// Channel files at their edges: names, encodings, numbers, skipped lines,
// recognition of every export and the values at the ends of each range.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "exchange/Exchange.h"
#include "tests/ExchangeTestSupport.h"
#include "tests/ProgramTestSupport.h"

using exchange::Format;
using exchangetest::Carried;
using exchangetest::kImportable;
using exchangetest::Programs;

namespace {

std::vector<ProgramBeside> Numbered(const std::vector<uint32_t>& numbers) {
    std::vector<ProgramBeside> beside;
    for (const uint32_t number : numbers) beside.push_back({number, 0, 0});
    return beside;
}

std::vector<uint32_t> NumbersOf(const std::vector<ProgramBeside>& beside) {
    std::vector<uint32_t> numbers;
    for (const ProgramBeside& values : beside) numbers.push_back(values.channelNumber);
    return numbers;
}

// dvbv5, m3u and CSV carry the operator's numbers there and back; a CSV
// written before the column reads as programs without numbers.
TEST(ExchangeTest, ChannelNumbersGoOutAndComeBack) {
    exchange::ExportOptions options;
    options.beside = Numbered({7, 0, 1023});
    const std::vector<TunProgDataTag> programs = Programs();
    for (Format format : {Format::Dvbv5, Format::M3u, Format::Csv}) {
        const std::string text = exchange::Export(format, programs, options);
        const exchange::ImportResult back = exchange::Import(format, text, "f");
        ASSERT_TRUE(back.ok) << back.error;
        EXPECT_EQ(back.beside, options.beside) << text;
    }
    const std::string dvbv5 = exchange::Export(Format::Dvbv5, programs, options);
    EXPECT_NE(dvbv5.find("\tSERVICE_ID = 10301\n\tVCHANNEL = 7\n"), std::string::npos) << dvbv5;
    const std::string m3u = exchange::Export(Format::M3u, programs, options);
    EXPECT_NE(m3u.find("#EXTINF:-1 tvg-chno=\"7\",Das Erste HD\n"), std::string::npos) << m3u;
    EXPECT_EQ(m3u.find("tvg-chno=\"0\""), std::string::npos) << m3u;
    EXPECT_NE(exchange::Export(Format::Csv, programs, options).find(",5000000,25,7,11,12,,1023,,\r\n"), std::string::npos);

    // ATSC's "major.minor" gives its major number.
    const exchange::ImportResult atsc =
        exchange::Import(Format::Dvbv5, "[A]\n\tVCHANNEL = 12.1\n\tFREQUENCY = 330000000\n", "f");
    ASSERT_TRUE(atsc.ok) << atsc.error;
    EXPECT_EQ(NumbersOf(atsc.beside), std::vector<uint32_t>{12});

    // As files were written before: the 25 columns alone, and with "LCN" after them.
    const std::string numbered = exchange::Export(Format::Csv, programs, options);
    for (const auto& [dropped, numbers] : {std::pair{3, std::vector<uint32_t>{0, 0, 0}}, {2, {7, 0, 1023}}}) {
        std::string old;
        for (size_t pos = 0; pos < numbered.size();) {
            const size_t end = numbered.find("\r\n", pos);
            std::string record = numbered.substr(pos, end - pos);
            for (int i = 0; i < dropped; ++i) record = record.substr(0, record.rfind(','));
            old += record + "\r\n";
            pos = end + 2;
        }
        const exchange::ImportResult legacy = exchange::Import(Format::Csv, old, "f");
        ASSERT_TRUE(legacy.ok) << legacy.error;
        EXPECT_EQ(legacy.programs, exchange::Import(Format::Csv, exchange::Export(Format::Csv, programs), "f").programs);
        EXPECT_EQ(NumbersOf(legacy.beside), numbers);
    }
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
                options.beside.push_back({n % 2 == 0 ? static_cast<uint32_t>(n + 1) : 0, 0, 0});
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
            EXPECT_EQ(NumbersOf(back.beside), numbered ? NumbersOf(options.beside) : std::vector<uint32_t>(count, 0));
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
    EXPECT_EQ(NumbersOf(result.beside), (std::vector<uint32_t>{12, 0}));
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
