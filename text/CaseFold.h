#pragma once

#include <string>
#include <string_view>

namespace programs {

// Unicode full case folding of UTF-8 text (so "STRASSE" and "straße", or
// "ΚΑΛΗΜΈΡΑ" and "καλημέρα", fold alike). Bytes that are not well-formed UTF-8
// are kept as they are, so any text folds and nothing is dropped.
std::string FoldCase(std::string_view utf8);

// Negative, zero or positive as `a` sorts before, with or after `b`, ignoring
// case. Folded texts compare bytewise, which for UTF-8 is code point order.
int CompareNoCase(std::string_view a, std::string_view b);

}  // namespace programs
