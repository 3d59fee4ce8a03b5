#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "broadcast/Crc32.h"

namespace {

std::vector<unsigned char> FromHex(const std::string& hex) {
    std::vector<unsigned char> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// Sections written by FFmpeg's MPEG-TS muxer (ffmpeg 5.1): whole sections,
// table id first, CRC_32 last.
const char* const kFfmpegSections[] = {
    "00b00d0444c100000102e1007cbba815",                                          // PAT
    "02b0120102c10000e200f00003e200f000dfeb3c56",                                // PMT
    "42f0200444c100000001ff0102fc800f480d01044b656c7606526164696f3153f86383",    // SDT
    "00b00d0001c100000001f0002ab104b2",                                          // PAT, FFmpeg defaults
};

TEST(Crc32Mpeg2, KnownVectors) {
    struct Case {
        std::string bytes;
        uint32_t crc;
    };
    const Case cases[] = {
        {"123456789", 0x0376E6E7},  // the catalogued check value of CRC-32/MPEG-2
        {"", 0xFFFFFFFF},           // the preset, untouched
        {std::string(4, '\xFF'), 0x00000000},
        {std::string("\x00\xb0\x0d\x00\x01\xc1\x00\x00\x00\x01\xf0\x00", 12), 0x2AB104B2},
    };
    for (const Case& c : cases) {
        const auto* data = reinterpret_cast<const unsigned char*>(c.bytes.data());
        EXPECT_EQ(si::Crc32Mpeg2(data, c.bytes.size()), c.crc) << "input of " << c.bytes.size() << " bytes";
    }
}

TEST(Crc32Mpeg2, RecordedSectionsLeaveZeroAndEveryFlippedBitIsCaught) {
    for (const char* hex : kFfmpegSections) {
        const std::vector<unsigned char> section = FromHex(hex);
        ASSERT_EQ(si::Crc32Mpeg2(section.data(), section.size()), 0u) << hex;
        for (size_t i = 0; i < section.size(); ++i) {
            for (int bit = 0; bit < 8; ++bit) {
                std::vector<unsigned char> corrupted = section;
                corrupted[i] ^= static_cast<unsigned char>(1u << bit);
                EXPECT_NE(si::Crc32Mpeg2(corrupted.data(), corrupted.size()), 0u)
                    << hex << " byte " << i << " bit " << bit;
            }
        }
    }
}

TEST(Crc32Mpeg2, TrailingBytesAfterACorrectSection) {
    const std::vector<unsigned char> section = FromHex(kFfmpegSections[0]);
    struct Case {
        std::vector<unsigned char> tail;
        bool stillZero;
    };
    // A zero register stays zero over zero bytes, and only over them.
    const Case cases[] = {{{0x00}, true}, {{0x00, 0x00, 0x00}, true}, {{0x01}, false}, {{0x00, 0x80}, false}, {{0xFF}, false}};
    for (const Case& c : cases) {
        std::vector<unsigned char> block = section;
        block.insert(block.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(si::Crc32Mpeg2(block.data(), block.size()) == 0, c.stillZero) << c.tail.size() << " extra";
    }
}

TEST(Crc32Mpeg2, SwappedBytesAndTruncationAreCaught) {
    const std::vector<unsigned char> section = FromHex(kFfmpegSections[2]);
    std::vector<unsigned char> swapped = section;
    std::swap(swapped[10], swapped[11]);
    ASSERT_NE(swapped[10], swapped[11]);
    EXPECT_NE(si::Crc32Mpeg2(swapped.data(), swapped.size()), 0u);
    for (size_t cut = 1; cut <= 4; ++cut)
        EXPECT_NE(si::Crc32Mpeg2(section.data(), section.size() - cut), 0u) << "cut " << cut;
}

}  // namespace
