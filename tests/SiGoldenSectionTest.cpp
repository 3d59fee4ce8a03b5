// Sections written by an independent encoder (ffmpeg, see tests/data/README.md).
#include <gtest/gtest.h>

#include "si/Decoders.h"
#include "si/DvbText.h"
#include "tests/SiTestSupport.h"

using namespace sitest;

namespace {

Bytes SectionOn(uint16_t pid) {
    const Bytes ts = ReadFile(std::string(KELVANE_TEST_DATA) + "/ffmpeg_service.ts");
    const std::vector<Bytes> sections = SectionsOnPid(ts, pid);
    if (sections.empty()) return {};
    return sections.front();
}

TEST(GoldenSections, FfmpegTablesDecodeToTheirServiceNamesIdsAndPids) {
    struct Case {
        const char* table;
        uint16_t pid;
        void (*decode)(const unsigned char*, int, ScanRowWriter*);
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"PAT", 0x0000, si::DecodePat, {"AddPatEntry 1110 0 16", "AddPatEntry 1110 4660 256"}},
        {"PMT", 0x0100, si::DecodePmt, {"AddPmtStream 4660 320 320 2 0", "AddPmtStream 4660 320 321 4 0"}},
        {"SDT", 0x0011, si::DecodeSdt,
         {"SetTransportSdtVersion 1110 1929 0",
          "AddServiceDetails 1110 1929 4660 1 [\x15S\xC3\xBC" "d Kanal] [Kelvane Provider] [] 0"}},
        {"NIT", 0x0010, si::DecodeNit, {"AddTransport 1110 1929 0 0 0 0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        const Bytes section = SectionOn(c.pid);
        ASSERT_FALSE(section.empty());
        // A whole section with its CRC: the register runs to zero over it.
        EXPECT_EQ(Crc32Mpeg2(section.data(), section.size()), 0u);
        RecordingScanRowWriter window;
        c.decode(section.data(), static_cast<int>(section.size()), &window);
        EXPECT_EQ(window.calls, c.expected);
        if (c.pid == 0x0011) {
            ASSERT_EQ(window.serviceNames.size(), 1u);
            EXPECT_EQ(si::DvbTextToUtf8(window.serviceNames[0]), "Süd Kanal");
            EXPECT_EQ(si::DvbTextToUtf8(window.providerNames[0]), "Kelvane Provider");
        }
    }
}

}  // namespace
