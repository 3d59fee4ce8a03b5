#include "programs/CaseFold.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "framework/AsciiCase.h"

namespace programs {

namespace {

struct FoldEntry {
    char32_t from;
    char32_t to[3];
};

constexpr FoldEntry kFoldTable[] = {
#include "programs/CaseFoldTable.inc"
};

// Decodes one well-formed UTF-8 sequence at `pos`; returns its length, or 0
// when the bytes there are not one (overlong forms, surrogates and values past
// U+10FFFF included).
size_t DecodeUtf8(std::string_view s, size_t pos, char32_t* cp) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    size_t length = 0;
    char32_t value = 0;
    char32_t least = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        value = b0 & 0x1Fu;
        least = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        value = b0 & 0x0Fu;
        least = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        value = b0 & 0x07u;
        least = 0x10000;
    } else {
        return 0;
    }
    if (s.size() - pos < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0u) != 0x80u) return 0;
        value = (value << 6) | (b & 0x3Fu);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *cp = value;
    return length;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

std::string FoldCase(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        const auto c = static_cast<unsigned char>(utf8[pos]);
        if (c < 0x80) {
            out.push_back(fw::AsciiLower(static_cast<char>(c)));
            ++pos;
            continue;
        }
        char32_t cp = 0;
        const size_t length = DecodeUtf8(utf8, pos, &cp);
        if (length == 0) {
            out.push_back(static_cast<char>(c));
            ++pos;
            continue;
        }
        const auto* end = std::end(kFoldTable);
        const auto* it = std::lower_bound(std::begin(kFoldTable), end, cp,
                                          [](const FoldEntry& e, char32_t v) { return e.from < v; });
        if (it != end && it->from == cp) {
            for (char32_t to : it->to) {
                if (to != 0) AppendUtf8(out, to);
            }
        } else {
            out.append(utf8.substr(pos, length));
        }
        pos += length;
    }
    return out;
}

int CompareNoCase(std::string_view a, std::string_view b) {
    const int result = FoldCase(a).compare(FoldCase(b));
    return result < 0 ? -1 : result > 0 ? 1 : 0;
}

}  // namespace programs
