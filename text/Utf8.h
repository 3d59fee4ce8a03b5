// UTF-8, read and written in one place for every folder: broadcast names,
// channel files and case-folded comparisons all meet here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace fw {

// The length of the well-formed UTF-8 sequence at `pos` (1 for ASCII), its
// code point in `codePoint`; 0 where the bytes there are not one: a stray
// continuation byte, an overlong form, a surrogate, a value past U+10FFFF or
// a sequence cut off by the end of the text.
size_t DecodeUtf8At(std::string_view text, size_t pos, char32_t& codePoint);
// Whether the whole text is well-formed UTF-8.
bool IsUtf8(std::string_view text);
void AppendUtf8(std::string& out, char32_t codePoint);

}  // namespace fw
