// The one UTF-8 reader and writer that broadcast names, channel files and
// case folding share.
#include <gtest/gtest.h>

#include <string>

#include "text/Utf8.h"

namespace {

TEST(Utf8, ReadsOnlyWellFormedSequencesAndWritesEveryPlane) {
    const struct {
        const char* name;
        std::string text;
        size_t length;
        char32_t codePoint;
    } cases[] = {
        {"ASCII", "A", 1, U'A'},
        {"two bytes", "\xC3\xA9", 2, U'\u00E9'},
        {"three bytes", "\xE2\x82\xAC", 3, U'\u20AC'},
        {"four bytes", "\xF0\x9F\x93\xBA", 4, U'\U0001F4FA'},
        {"overlong", "\xC0\xAF", 0, 0},
        {"overlong three", "\xE0\x80\xAF", 0, 0},
        {"surrogate", "\xED\xA0\x80", 0, 0},
        {"past U+10FFFF", "\xF4\x90\x80\x80", 0, 0},
        {"stray continuation", "\x80", 0, 0},
        {"cut by the end", "\xE2\x82", 0, 0},
        {"not a continuation", "\xC3(", 0, 0},
    };
    for (const auto& c : cases) {
        char32_t read = 0;
        EXPECT_EQ(fw::DecodeUtf8At(c.text, 0, read), c.length) << c.name;
        EXPECT_EQ(fw::IsUtf8(c.text), c.length != 0) << c.name;
        if (c.length == 0) continue;
        EXPECT_EQ(read, c.codePoint) << c.name;
        std::string written;
        fw::AppendUtf8(written, c.codePoint);
        EXPECT_EQ(written, c.text) << c.name;
    }
    char32_t read = 0;
    EXPECT_EQ(fw::DecodeUtf8At("ab", 2, read), 0u);
}

}  // namespace
