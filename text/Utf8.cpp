#include "text/Utf8.h"

#include <cstdint>

namespace fw {

size_t DecodeUtf8At(std::string_view text, size_t pos, char32_t& codePoint) {
    if (pos >= text.size()) return 0;
    const auto lead = static_cast<uint8_t>(text[pos]);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    size_t length = 0;
    char32_t value = 0, least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, value = lead & 0x1Fu, least = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, value = lead & 0x0Fu, least = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, value = lead & 0x07u, least = 0x10000;
    else return 0;
    if (text.size() - pos < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<uint8_t>(text[pos + i]);
        if ((next & 0xC0u) != 0x80u) return 0;
        value = (value << 6) | (next & 0x3Fu);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    codePoint = value;
    return length;
}

bool IsUtf8(std::string_view text) {
    char32_t ignored = 0;
    for (size_t pos = 0; pos < text.size();) {
        const size_t length = DecodeUtf8At(text, pos, ignored);
        if (length == 0) return false;
        pos += length;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t codePoint) {
    const auto put = [&](uint32_t byte) { out.push_back(static_cast<char>(byte)); };
    const uint32_t c = codePoint;
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | c >> 6), put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        put(0xE0 | c >> 12), put(0x80 | (c >> 6 & 0x3F)), put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | c >> 18), put(0x80 | (c >> 12 & 0x3F)), put(0x80 | (c >> 6 & 0x3F)), put(0x80 | (c & 0x3F));
    }
}

}  // namespace fw
