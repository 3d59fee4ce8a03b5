#include <gtest/gtest.h>

#include "si/DvbText.h"

namespace {

TEST(DvbTextToUtf8, DecodesByTheAnnouncedTable) {
    struct Case {
        const char* name;
        std::string raw;
        std::string utf8;
    };
    const Case cases[] = {
        {"plain ASCII, default table", "Das Erste", "Das Erste"},
        {"empty", "", ""},
        {"ISO 8859-9 umlauts (selector 0x05)", "\x05M\xFCnchen S\xFC" "d \xC4\xD6\xDC\xE4\xF6\xFC\xDF",
         "München Süd ÄÖÜäöüß"},
        {"ISO 8859-9 Turkish letters", "\x05\xD0\xDD\xDE\xF0\xFD\xFE", "ĞİŞğış"},
        {"ISO 8859-5 (selector 0x01)", "\x01\xBF\xD5\xE0\xD2\xEB\xD9", "Первый"},
        {"ISO 8859-7 (selector 0x03)", "\x03\xC5\xD1\xD4", "ΕΡΤ"},
        {"ISO 8859-15 euro (selector 0x0B)", "\x0B" "5 \xA4", "5 €"},
        {"ISO 8859-2 through 0x10 0x00 0x02", std::string("\x10\x00\x02\xA3\xF3\x64\xBC", 7), "Łódź"},
        {"0x10 selector cut short", std::string("\x10\x00", 2), ""},
        {"UCS-2 (selector 0x11)", std::string("\x11\x00" "A\x04\x1F\x20\xAC", 7), "AП€"},
        {"UCS-2 odd trailing byte", std::string("\x11\x00" "A\x00", 4), "A\xEF\xBF\xBD"},
        {"EUC-KR (selector 0x12)", "\x12\xC7\xD1\xB1\xB9", "한국"},
        {"GB2312 (selector 0x13)", "\x13\xD6\xD0\xCE\xC4", "中文"},
        {"Big5 (selector 0x14)", "\x14\xA4\xA4\xA4\xE5", "中文"},
        {"UTF-8 (selector 0x15)", "\x15S\xC3\xBC" "d", "Süd"},
        // The byte after 0x1F names the compression, whatever its value; it is no text.
        {"compressed text (selector 0x1F)", "\x1F" "Aabc", "abc"},
        {"reserved 0x10 0x00 0x0C: the default table", std::string("\x10\x00\x0CM\xC8unchen", 11), "München"},
        {"UTF-8 invalid bytes", "\x15" "a\xC3(b\xFF", "a\xEF\xBF\xBD(b\xEF\xBF\xBD"},
        {"default table diacritics compose", "M\xC8unchen \xC2" "E\xCF" "c \xCB" "c\xC8" "A", "München Éč çÄ"},
        {"default table diacritic without composition", "\xC8q", "q\xCC\x88"},
        {"older editions' umlaut 0xC9", "M\xC9unchen \xC9q", "München q\xCC\x88"},
        {"default table diacritic at the end", "ab\xC2", "ab"},
        {"default table symbols", "\xA4 \xD3 \xE9\xFB\xF5", "€ © Øßı"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(si::DvbTextToUtf8(c.raw), c.utf8);
    }
}

TEST(DvbTextToUtf8, RemovesControlCodesAndTurnsLineBreaksIntoBlanks) {
    struct Case {
        const char* name;
        std::string raw;
        std::string utf8;
    };
    const Case cases[] = {
        {"emphasis in the default table", "\x86" "Sport\x87" "1", "Sport1"},
        {"emphasis and selector 0x05", "\x05\x86M\xFC" "nchen\x87 TV", "München TV"},
        {"line break", "Line\x8A" "Two", "Line Two"},
        {"other C1 codes", "a\x80\x85\x8B\x9F" "b", "ab"},
        {"UCS-2 control codes", std::string("\x11\xE0\x86\x00" "X\xE0\x8A\x00Y\xE0\x87", 11), "X Y"},
        {"C0 controls in a name", std::string("A\x00\x0D" "B", 4), "AB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(si::DvbTextToUtf8(c.raw), c.utf8);
    }
}

TEST(DvbTextToUtf8, AnyInputGivesValidUtf8) {
    // Every two-byte string after every selector: no crash, and the output is
    // well-formed UTF-8 (checked by decoding it again).
    int invalid = 0;
    for (int selector : {-1, 0x00, 0x01, 0x05, 0x08, 0x0C, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x1F}) {
        for (int a = 0; a < 256; ++a) {
            for (int b = 0; b < 256; b += 7) {
                std::string raw;
                if (selector >= 0) raw += static_cast<char>(selector);
                raw += static_cast<char>(a);
                raw += static_cast<char>(b);
                const std::string out = si::DvbTextToUtf8(raw);
                if (si::DvbTextToUtf8("\x15" + out) != out) ++invalid;
            }
        }
    }
    EXPECT_EQ(invalid, 0);
}

}  // namespace
