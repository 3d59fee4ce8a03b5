#pragma once

#include <string>
#include <string_view>

namespace si {

// DVB text (EN 300 468 Annex A) to UTF-8: decodes by the character table that
// the first bytes announce (none: the default Latin table with its non-spacing
// diacritics; 0x01-0x0B: ISO 8859-5 to 15; 0x10 0x00 N: ISO 8859-N; 0x11: UCS-2
// big-endian; 0x12-0x14: Korean, Chinese and Big5 tables; 0x15: UTF-8), drops
// the selector and the control codes 0x80-0x9F (emphasis on and off among
// them) except 0x8A, the line break, which becomes a blank. Bytes that do not
// decode become U+FFFD.
std::string DvbTextToUtf8(std::string_view raw);

}  // namespace si
