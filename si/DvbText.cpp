#include "si/DvbText.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "text/Utf8.h"

namespace si {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// EN 300 468 Figure A.1, columns A to F of the default table (0 = unused). The
// non-spacing diacritics of column C are handled apart.
const char16_t kDefaultHigh[96] = {
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x20AC, 0x00A5, 0,      0x00A7, 0x00A4, 0x2018, 0x201C, 0x00AB, 0x2190, 0x2191, 0x2192, 0x2193,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00D7, 0x00B5, 0x00B6, 0x00B7, 0x00F7, 0x2019, 0x201D, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,
    0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,
    0x2015, 0x00B9, 0x00AE, 0x00A9, 0x2122, 0x266A, 0x00AC, 0x00A6, 0,      0,      0,      0,      0x215B, 0x215C, 0x215D, 0x215E,
    0x2126, 0x00C6, 0x0110, 0x00AA, 0x0126, 0,      0x0132, 0x013F, 0x0141, 0x00D8, 0x0152, 0x00BA, 0x00DE, 0x0166, 0x014A, 0x0149,
    0x0138, 0x00E6, 0x0111, 0x00F0, 0x0127, 0x0131, 0x0133, 0x0140, 0x0142, 0x00F8, 0x0153, 0x00DF, 0x00FE, 0x0167, 0x014B, 0x00AD,
};

// The combining mark of each non-spacing diacritic 0xC0-0xCF (0 = unused;
// 0xC9 is the umlaut of older editions, a diaeresis).
const char16_t kDiacriticMark[16] = {
    0, 0x0300, 0x0301, 0x0302, 0x0303, 0x0304, 0x0306, 0x0307, 0x0308, 0x0308, 0x030A, 0x0327, 0, 0x030B, 0x0328, 0x030C,
};

struct Composition {
    uint8_t diacritic;
    char base;
    char16_t composed;
};

// Diacritic and Latin letter to the precomposed letter (Unicode NFC).
const Composition kCompositions[] = {
    {0xC1, 'A', 0x00C0}, {0xC1, 'E', 0x00C8}, {0xC1, 'I', 0x00CC}, {0xC1, 'N', 0x01F8}, {0xC1, 'O', 0x00D2}, {0xC1, 'U', 0x00D9},
    {0xC1, 'W', 0x1E80}, {0xC1, 'Y', 0x1EF2}, {0xC1, 'a', 0x00E0}, {0xC1, 'e', 0x00E8}, {0xC1, 'i', 0x00EC}, {0xC1, 'n', 0x01F9},
    {0xC1, 'o', 0x00F2}, {0xC1, 'u', 0x00F9}, {0xC1, 'w', 0x1E81}, {0xC1, 'y', 0x1EF3}, {0xC2, 'A', 0x00C1}, {0xC2, 'C', 0x0106},
    {0xC2, 'E', 0x00C9}, {0xC2, 'G', 0x01F4}, {0xC2, 'I', 0x00CD}, {0xC2, 'K', 0x1E30}, {0xC2, 'L', 0x0139}, {0xC2, 'M', 0x1E3E},
    {0xC2, 'N', 0x0143}, {0xC2, 'O', 0x00D3}, {0xC2, 'P', 0x1E54}, {0xC2, 'R', 0x0154}, {0xC2, 'S', 0x015A}, {0xC2, 'U', 0x00DA},
    {0xC2, 'W', 0x1E82}, {0xC2, 'Y', 0x00DD}, {0xC2, 'Z', 0x0179}, {0xC2, 'a', 0x00E1}, {0xC2, 'c', 0x0107}, {0xC2, 'e', 0x00E9},
    {0xC2, 'g', 0x01F5}, {0xC2, 'i', 0x00ED}, {0xC2, 'k', 0x1E31}, {0xC2, 'l', 0x013A}, {0xC2, 'm', 0x1E3F}, {0xC2, 'n', 0x0144},
    {0xC2, 'o', 0x00F3}, {0xC2, 'p', 0x1E55}, {0xC2, 'r', 0x0155}, {0xC2, 's', 0x015B}, {0xC2, 'u', 0x00FA}, {0xC2, 'w', 0x1E83},
    {0xC2, 'y', 0x00FD}, {0xC2, 'z', 0x017A}, {0xC3, 'A', 0x00C2}, {0xC3, 'C', 0x0108}, {0xC3, 'E', 0x00CA}, {0xC3, 'G', 0x011C},
    {0xC3, 'H', 0x0124}, {0xC3, 'I', 0x00CE}, {0xC3, 'J', 0x0134}, {0xC3, 'O', 0x00D4}, {0xC3, 'S', 0x015C}, {0xC3, 'U', 0x00DB},
    {0xC3, 'W', 0x0174}, {0xC3, 'Y', 0x0176}, {0xC3, 'Z', 0x1E90}, {0xC3, 'a', 0x00E2}, {0xC3, 'c', 0x0109}, {0xC3, 'e', 0x00EA},
    {0xC3, 'g', 0x011D}, {0xC3, 'h', 0x0125}, {0xC3, 'i', 0x00EE}, {0xC3, 'j', 0x0135}, {0xC3, 'o', 0x00F4}, {0xC3, 's', 0x015D},
    {0xC3, 'u', 0x00FB}, {0xC3, 'w', 0x0175}, {0xC3, 'y', 0x0177}, {0xC3, 'z', 0x1E91}, {0xC4, 'A', 0x00C3}, {0xC4, 'E', 0x1EBC},
    {0xC4, 'I', 0x0128}, {0xC4, 'N', 0x00D1}, {0xC4, 'O', 0x00D5}, {0xC4, 'U', 0x0168}, {0xC4, 'V', 0x1E7C}, {0xC4, 'Y', 0x1EF8},
    {0xC4, 'a', 0x00E3}, {0xC4, 'e', 0x1EBD}, {0xC4, 'i', 0x0129}, {0xC4, 'n', 0x00F1}, {0xC4, 'o', 0x00F5}, {0xC4, 'u', 0x0169},
    {0xC4, 'v', 0x1E7D}, {0xC4, 'y', 0x1EF9}, {0xC5, 'A', 0x0100}, {0xC5, 'E', 0x0112}, {0xC5, 'G', 0x1E20}, {0xC5, 'I', 0x012A},
    {0xC5, 'O', 0x014C}, {0xC5, 'U', 0x016A}, {0xC5, 'Y', 0x0232}, {0xC5, 'a', 0x0101}, {0xC5, 'e', 0x0113}, {0xC5, 'g', 0x1E21},
    {0xC5, 'i', 0x012B}, {0xC5, 'o', 0x014D}, {0xC5, 'u', 0x016B}, {0xC5, 'y', 0x0233}, {0xC6, 'A', 0x0102}, {0xC6, 'E', 0x0114},
    {0xC6, 'G', 0x011E}, {0xC6, 'I', 0x012C}, {0xC6, 'O', 0x014E}, {0xC6, 'U', 0x016C}, {0xC6, 'a', 0x0103}, {0xC6, 'e', 0x0115},
    {0xC6, 'g', 0x011F}, {0xC6, 'i', 0x012D}, {0xC6, 'o', 0x014F}, {0xC6, 'u', 0x016D}, {0xC7, 'A', 0x0226}, {0xC7, 'B', 0x1E02},
    {0xC7, 'C', 0x010A}, {0xC7, 'D', 0x1E0A}, {0xC7, 'E', 0x0116}, {0xC7, 'F', 0x1E1E}, {0xC7, 'G', 0x0120}, {0xC7, 'H', 0x1E22},
    {0xC7, 'I', 0x0130}, {0xC7, 'M', 0x1E40}, {0xC7, 'N', 0x1E44}, {0xC7, 'O', 0x022E}, {0xC7, 'P', 0x1E56}, {0xC7, 'R', 0x1E58},
    {0xC7, 'S', 0x1E60}, {0xC7, 'T', 0x1E6A}, {0xC7, 'W', 0x1E86}, {0xC7, 'X', 0x1E8A}, {0xC7, 'Y', 0x1E8E}, {0xC7, 'Z', 0x017B},
    {0xC7, 'a', 0x0227}, {0xC7, 'b', 0x1E03}, {0xC7, 'c', 0x010B}, {0xC7, 'd', 0x1E0B}, {0xC7, 'e', 0x0117}, {0xC7, 'f', 0x1E1F},
    {0xC7, 'g', 0x0121}, {0xC7, 'h', 0x1E23}, {0xC7, 'm', 0x1E41}, {0xC7, 'n', 0x1E45}, {0xC7, 'o', 0x022F}, {0xC7, 'p', 0x1E57},
    {0xC7, 'r', 0x1E59}, {0xC7, 's', 0x1E61}, {0xC7, 't', 0x1E6B}, {0xC7, 'w', 0x1E87}, {0xC7, 'x', 0x1E8B}, {0xC7, 'y', 0x1E8F},
    {0xC7, 'z', 0x017C}, {0xC8, 'A', 0x00C4}, {0xC8, 'E', 0x00CB}, {0xC8, 'H', 0x1E26}, {0xC8, 'I', 0x00CF}, {0xC8, 'O', 0x00D6},
    {0xC8, 'U', 0x00DC}, {0xC8, 'W', 0x1E84}, {0xC8, 'X', 0x1E8C}, {0xC8, 'Y', 0x0178}, {0xC8, 'a', 0x00E4}, {0xC8, 'e', 0x00EB},
    {0xC8, 'h', 0x1E27}, {0xC8, 'i', 0x00EF}, {0xC8, 'o', 0x00F6}, {0xC8, 't', 0x1E97}, {0xC8, 'u', 0x00FC}, {0xC8, 'w', 0x1E85},
    {0xC8, 'x', 0x1E8D}, {0xC8, 'y', 0x00FF}, {0xCA, 'A', 0x00C5}, {0xCA, 'U', 0x016E}, {0xCA, 'a', 0x00E5}, {0xCA, 'u', 0x016F},
    {0xCA, 'w', 0x1E98}, {0xCA, 'y', 0x1E99}, {0xCB, 'C', 0x00C7}, {0xCB, 'D', 0x1E10}, {0xCB, 'E', 0x0228}, {0xCB, 'G', 0x0122},
    {0xCB, 'H', 0x1E28}, {0xCB, 'K', 0x0136}, {0xCB, 'L', 0x013B}, {0xCB, 'N', 0x0145}, {0xCB, 'R', 0x0156}, {0xCB, 'S', 0x015E},
    {0xCB, 'T', 0x0162}, {0xCB, 'c', 0x00E7}, {0xCB, 'd', 0x1E11}, {0xCB, 'e', 0x0229}, {0xCB, 'g', 0x0123}, {0xCB, 'h', 0x1E29},
    {0xCB, 'k', 0x0137}, {0xCB, 'l', 0x013C}, {0xCB, 'n', 0x0146}, {0xCB, 'r', 0x0157}, {0xCB, 's', 0x015F}, {0xCB, 't', 0x0163},
    {0xCD, 'O', 0x0150}, {0xCD, 'U', 0x0170}, {0xCD, 'o', 0x0151}, {0xCD, 'u', 0x0171}, {0xCE, 'A', 0x0104}, {0xCE, 'E', 0x0118},
    {0xCE, 'I', 0x012E}, {0xCE, 'O', 0x01EA}, {0xCE, 'U', 0x0172}, {0xCE, 'a', 0x0105}, {0xCE, 'e', 0x0119}, {0xCE, 'i', 0x012F},
    {0xCE, 'o', 0x01EB}, {0xCE, 'u', 0x0173}, {0xCF, 'A', 0x01CD}, {0xCF, 'C', 0x010C}, {0xCF, 'D', 0x010E}, {0xCF, 'E', 0x011A},
    {0xCF, 'G', 0x01E6}, {0xCF, 'H', 0x021E}, {0xCF, 'I', 0x01CF}, {0xCF, 'K', 0x01E8}, {0xCF, 'L', 0x013D}, {0xCF, 'N', 0x0147},
    {0xCF, 'O', 0x01D1}, {0xCF, 'R', 0x0158}, {0xCF, 'S', 0x0160}, {0xCF, 'T', 0x0164}, {0xCF, 'U', 0x01D3}, {0xCF, 'Z', 0x017D},
    {0xCF, 'a', 0x01CE}, {0xCF, 'c', 0x010D}, {0xCF, 'd', 0x010F}, {0xCF, 'e', 0x011B}, {0xCF, 'g', 0x01E7}, {0xCF, 'h', 0x021F},
    {0xCF, 'i', 0x01D0}, {0xCF, 'j', 0x01F0}, {0xCF, 'k', 0x01E9}, {0xCF, 'l', 0x013E}, {0xCF, 'n', 0x0148}, {0xCF, 'o', 0x01D2},
    {0xCF, 'r', 0x0159}, {0xCF, 's', 0x0161}, {0xCF, 't', 0x0165}, {0xCF, 'u', 0x01D4}, {0xCF, 'z', 0x017E},
};

char32_t Compose(uint8_t diacritic, uint8_t base) {
    if (diacritic == 0xC9) diacritic = 0xC8;
    for (const Composition& c : kCompositions) {
        if (c.diacritic == diacritic && static_cast<uint8_t>(c.base) == base) return c.composed;
    }
    return 0;
}

// The default table: ASCII below 0x80, C1 controls as they are, Figure A.1
// above, a diacritic joined to the character after it.
void DecodeDefault(std::string_view text, std::vector<char32_t>& out) {
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t b = static_cast<uint8_t>(text[i]);
        if (b < 0xA0) {
            out.push_back(b);
            continue;
        }
        if (b < 0xC0 || b > 0xCF) {
            const char16_t c = kDefaultHigh[b - 0xA0];
            out.push_back(c != 0 ? c : kReplacement);
            continue;
        }
        const char16_t mark = kDiacriticMark[b - 0xC0];
        if (mark == 0) {
            out.push_back(kReplacement);
            continue;
        }
        // A diacritic precedes the character it marks; without one it is dropped.
        if (i + 1 >= text.size()) break;
        const uint8_t base = static_cast<uint8_t>(text[i + 1]);
        const bool baseIsCharacter =
            (base >= 0x20 && base < 0x7F) || (base >= 0xA0 && (base < 0xC0 || base > 0xCF) && kDefaultHigh[base - 0xA0] != 0);
        if (!baseIsCharacter) continue;
        ++i;
        if (const char32_t composed = Compose(b, base); composed != 0) {
            out.push_back(composed);
        } else {
            out.push_back(base < 0x80 ? base : kDefaultHigh[base - 0xA0]);
            out.push_back(mark);
        }
    }
}

// Two bytes per character; DVB's own control codes sit at 0xE080-0xE09F.
void DecodeUcs2(std::string_view text, std::vector<char32_t>& out) {
    size_t i = 0;
    for (; i + 1 < text.size(); i += 2) {
        char32_t c = static_cast<uint8_t>(text[i]) << 8 | static_cast<uint8_t>(text[i + 1]);
        if (c >= 0xE080 && c <= 0xE09F) c -= 0xE000;
        else if (c >= 0xD800 && c <= 0xDFFF) c = kReplacement;
        out.push_back(c);
    }
    if (i < text.size()) out.push_back(kReplacement);
}

// A sequence that is not well-formed gives U+FFFD for its first byte, and
// the decoding goes on after that byte.
void DecodeUtf8(std::string_view text, std::vector<char32_t>& out) {
    for (size_t i = 0; i < text.size();) {
        char32_t c = kReplacement;
        const size_t length = fw::DecodeUtf8At(text, i, c);
        out.push_back(length != 0 ? c : kReplacement);
        i += length != 0 ? length : 1;
    }
}

// Tables that glibc knows by name. An undecodable byte becomes U+FFFD and the
// conversion goes on after it; a table iconv lacks falls back to the default one.
void DecodeIconv(const char* charset, std::string_view text, std::vector<char32_t>& out) {
    iconv_t cd = iconv_open("UTF-32LE", charset);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        DecodeDefault(text, out);
        return;
    }
    std::vector<char> input(text.begin(), text.end());
    char* in = input.data();
    size_t inLeft = input.size();
    std::vector<char> buffer(4 * (input.size() + 1));
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        size_t outLeft = buffer.size();
        const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        const int error = rc == static_cast<size_t>(-1) ? errno : 0;
        for (const char* p = buffer.data(); p + 4 <= outPtr; p += 4) {
            uint32_t c;
            std::memcpy(&c, p, 4);
            out.push_back(static_cast<char32_t>(c));
        }
        if (error == E2BIG) continue;
        if (error != 0) {
            // EILSEQ or a sequence cut off at the end.
            out.push_back(kReplacement);
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
}

}  // namespace

std::string DvbTextToUtf8(std::string_view raw) {
    std::vector<char32_t> chars;
    chars.reserve(raw.size());
    const uint8_t first = raw.empty() ? 0x20 : static_cast<uint8_t>(raw[0]);
    // EN 300 468 A.2: a first byte below 0x20 selects the character table.
    if (first >= 0x20) {
        DecodeDefault(raw, chars);
    } else if (first >= 0x01 && first <= 0x0B && first != 0x08) {
        const std::string charset = "ISO-8859-" + std::to_string(first + 4);
        DecodeIconv(charset.c_str(), raw.substr(1), chars);
    } else if (first == 0x10) {
        // 0x10 0x00 N: ISO 8859-N, N from 1 to 15 (there is no part 12).
        const unsigned part = raw.size() >= 3 ? static_cast<uint8_t>(raw[1]) << 8 | static_cast<uint8_t>(raw[2]) : 0;
        const std::string_view text = raw.substr(raw.size() >= 3 ? 3 : raw.size());
        if (part >= 1 && part <= 15 && part != 12) {
            const std::string charset = "ISO-8859-" + std::to_string(part);
            DecodeIconv(charset.c_str(), text, chars);
        } else {
            DecodeDefault(text, chars);
        }
    } else if (first == 0x11) {
        DecodeUcs2(raw.substr(1), chars);
    } else if (first == 0x12) {
        DecodeIconv("EUC-KR", raw.substr(1), chars);
    } else if (first == 0x13) {
        DecodeIconv("GB2312", raw.substr(1), chars);
    } else if (first == 0x14) {
        DecodeIconv("BIG5", raw.substr(1), chars);
    } else if (first == 0x15) {
        DecodeUtf8(raw.substr(1), chars);
    } else if (first == 0x1F) {
        // 0x1F encoding_type_id: compressed text that this program cannot read.
        DecodeDefault(raw.substr(raw.size() >= 2 ? 2 : raw.size()), chars);
    } else {
        // Reserved selectors: the default table is the best guess.
        DecodeDefault(raw.substr(1), chars);
    }

    std::string out;
    out.reserve(raw.size());
    for (char32_t c : chars) {
        // EN 300 468 A.1: 0x8A is CR/LF; in a one-line cell it becomes a blank.
        if (c == 0x8A) {
            out += ' ';
            continue;
        }
        // Emphasis on/off (0x86, 0x87) and the other C1 codes carry no text,
        // nor do C0 control characters in a name.
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) continue;
        fw::AppendUtf8(out, c);
    }
    return out;
}

}  // namespace si
