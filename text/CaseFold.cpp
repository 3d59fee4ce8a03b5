#include "text/CaseFold.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "framework/AsciiCase.h"
#include "text/Utf8.h"

namespace programs {

namespace {

struct FoldEntry {
    char32_t from;
    char32_t to[3];
};

constexpr FoldEntry kFoldTable[] = {
#include "text/CaseFoldTable.inc"
};

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
        const size_t length = fw::DecodeUtf8At(utf8, pos, cp);
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
                if (to != 0) fw::AppendUtf8(out, to);
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
