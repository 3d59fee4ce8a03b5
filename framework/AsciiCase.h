// Case folding for names we define ourselves (INI sections and keys, list
// texts the dialog framework sorts): ASCII only. Names from broadcast data
// fold Unicode case instead (text/CaseFold.h).
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace fw {

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string AsciiLower(std::string s) {
    for (char& c : s) c = AsciiLower(c);
    return s;
}

// Like strcmp after folding both texts: below, at or above 0.
inline int CompareAsciiNoCase(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(AsciiLower(a[i]));
        const auto y = static_cast<unsigned char>(AsciiLower(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

inline bool EqualsAsciiNoCase(std::string_view a, std::string_view b) { return CompareAsciiNoCase(a, b) == 0; }

}  // namespace fw
