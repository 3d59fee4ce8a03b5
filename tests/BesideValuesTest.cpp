// What is kept beside the record (channel number, CA systems, audio type)
// through the channel files, names that several programs share, and CSV
// cells that a spreadsheet would take for formulas.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "card/ProgramFields.h"
#include "exchange/Exchange.h"
#include "tests/ExchangeTestSupport.h"

using exchange::Format;
using exchangetest::Programs;

namespace {

TEST(BesideValues, CsvAndVdrCarryTheCaSystemsAndTheAudioType) {
    struct Case {
        const char* what;
        ProgramBeside beside;
        const char* vdrAudioAndCaid;  // VDR's APID:TPID:CAID fields
    };
    const Case cases[] = {
        {"free MPEG-2 audio", {0, 0, 0x04}, ":5102:5104;5105:0:"},
        {"one CA system, MPEG-1 audio", {5, 0x0B00, 0x03}, ":5102=@3:5104;5105:0B00:"},
        {"two CA systems, AC-3", {65535, 0x17220B00, 0x6A06}, ":0;5102:5104;5105:0B00,1722:"},
        {"E-AC-3", {7, 0x1702, 0x7A06}, ":0;5102=@122:5104;5105:1702:"},
        {"DTS: private data its descriptor names", {1, 0, 0x7B06}, ":0;5102=@123:5104;5105:0:"},
        {"AAC", {2, 0, 0x0F}, ":5102=@15:5104;5105:0:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        exchange::ExportOptions options;
        options.beside = {c.beside};
        const std::vector<TunProgDataTag> programs{Programs()[0]};
        const std::string csv = exchange::Export(Format::Csv, programs, options);
        const exchange::ImportResult fromCsv = exchange::Import(Format::Csv, csv, "f");
        ASSERT_TRUE(fromCsv.ok) << fromCsv.error;
        EXPECT_EQ(fromCsv.beside, options.beside) << csv;

        const std::string vdr = exchange::Export(Format::Vdr, programs, options);
        EXPECT_NE(vdr.find(c.vdrAudioAndCaid), std::string::npos) << vdr;
        const exchange::ImportResult fromVdr = exchange::Import(Format::Vdr, vdr, "f");
        ASSERT_TRUE(fromVdr.ok) << fromVdr.error;
        ASSERT_EQ(fromVdr.programs.size(), 1u);
        EXPECT_EQ(fromVdr.programs[0].audioPid, programs[0].audioPid);
        // VDR has no channel numbers.
        EXPECT_EQ(fromVdr.beside, (std::vector<ProgramBeside>{{0, c.beside.caSystems, c.beside.audioStreamType}}));
    }
}

// VDR's own lines: the first audio PID, else the first Dolby PID; a Dolby
// PID without its type is AC-3, an audio PID without one MPEG-2 audio.
TEST(BesideValues, VdrLinesGiveTheirAudioPidAndType) {
    struct Case {
        const char* apid;
        const char* caid;
        uint16_t pid;
        ProgramBeside beside;
    };
    const Case cases[] = {
        {"104=deu,105=eng;106=deu", "0", 104, {0, 0, 0x04}},
        {"0;106=deu,107", "1702,B00,D05", 106, {0, 0x0B001702, 0x6A06}},
        {"0;106=@122", "0", 106, {0, 0, 0x7A06}},
        {"104=deu@17", "0", 104, {0, 0, 0x11}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.apid);
        const std::string line = std::string("ZDF:330:C0M256:C:6900:110:") + c.apid + ":130:" + c.caid + ":28006:1:1:0\n";
        const exchange::ImportResult result = exchange::Import(Format::Vdr, line, "f");
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.programs[0].audioPid, c.pid);
        EXPECT_EQ(result.beside, std::vector<ProgramBeside>{c.beside});
    }
    EXPECT_EQ(exchange::Import(Format::Vdr, "ZDF:330:C0M256:C:6900:110:104:130:G0:28006:1:1:0\n", "f").error,
              "f:1: CAID \"G0\" is not hex ids separated by commas");
}

// OWASP's CSV injection: such a cell goes out behind a "'", and the import
// takes the "'" off again; a name that begins with "'" comes back whole.
TEST(BesideValues, CsvCellsThatLookLikeFormulasGoOutAsTextAndComeBack) {
    const char* names[] = {"=1+2 cmd|x", "+49 TV", "-Minus", "@Home", "\tTab", "\rReturn",
                           "'quoted", "'=1+2",   "''",      "Plain=1", "a'b"};
    std::vector<TunProgDataTag> programs;
    for (const char* name : names) {
        programs.push_back(Programs()[0]);
        programs.back().name = name;
    }
    const std::string csv = exchange::Export(Format::Csv, programs);
    EXPECT_NE(csv.find("\r\n1,'=1+2 cmd|x,"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\r\n1,'@Home,"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\r\n1,\"'\rReturn\","), std::string::npos) << csv;
    EXPECT_NE(csv.find("\r\n1,Plain=1,"), std::string::npos) << csv;
    const exchange::ImportResult back = exchange::Import(Format::Csv, csv, "f");
    ASSERT_TRUE(back.ok) << back.error;
    ASSERT_EQ(back.programs.size(), std::size(names));
    for (size_t i = 0; i < std::size(names); ++i) EXPECT_EQ(back.programs[i].name, names[i]);
}

TEST(BesideValues, NamesSeveralProgramsHaveAreNamedAndCanBeMadeUnique) {
    std::vector<TunProgDataTag> programs;
    for (const auto& [name, id] : std::vector<std::pair<const char*, uint16_t>>{
             {"Kinowelt Abruf", 811}, {"ZDF", 1}, {"Kinowelt Abruf", 812}, {"ZDF", 2}, {"Kinowelt Abruf", 813}, {"Eins", 3}}) {
        programs.push_back(Programs()[0]);
        programs.back().name = name;
        programs.back().progId = id;
    }
    const std::vector<exchange::RepeatedName> repeated = exchange::RepeatedNames(programs);
    EXPECT_EQ(exchange::RepeatedNamesText(Format::Dvbv5, repeated),
              "Names used more than once: \"Kinowelt Abruf\" (3 programs), \"ZDF\" (2 programs); dvbv5-zap reaches "
              "only the first program of each");
    EXPECT_EQ(repeated.front().firstUnique, "Kinowelt Abruf (811)");
    // Formats that do not key channels by name say nothing.
    EXPECT_EQ(exchange::RepeatedNamesText(Format::Csv, repeated), "");
    EXPECT_EQ(exchange::RepeatedNamesText(Format::Zap, {}), "");

    exchange::ExportOptions options;
    options.uniqueNames = true;
    const std::string zap = exchange::Export(Format::Zap, programs, options);
    for (const char* name : {"\nKinowelt Abruf (812):", "\nZDF (2):", "\nEins:"})
        EXPECT_NE(zap.find(name), std::string::npos) << name << "\n" << zap;
    EXPECT_TRUE(exchange::RepeatedNames(exchange::Import(Format::Zap, zap, "f").programs).empty());
}

}  // namespace
