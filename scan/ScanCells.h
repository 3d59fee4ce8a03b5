#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// The cell formats and item-data keys the scan window writes and reads back.
// The lists are the scan's working memory, so each key is packed in one place.
namespace scancells {

inline std::string Format(const char* format, unsigned long value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

inline std::string Decimal(unsigned long value) { return Format("%lu", value); }

// Reads a cell as scanf's "%u"/"%lu" would: blanks, an optional sign, digits.
// False when the text holds no number.
inline bool ParseUnsigned(const std::string& text, unsigned long& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const unsigned long n = std::strtoul(begin, &end, 10);
    if (end == begin) return false;
    value = n;
    return true;
}

// As scanf's "%d" reads a cell.
inline bool ParseSigned(const std::string& text, long& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const long n = std::strtol(begin, &end, 10);
    if (end == begin) return false;
    value = n;
    return true;
}

// Transport list rows: (original network id << 16) | transport stream id.
inline uint32_t TransportKey(unsigned long transportStreamId, unsigned long originalNetworkId) {
    return static_cast<uint32_t>((originalNetworkId & 0xFFFF) << 16 | (transportStreamId & 0xFFFF));
}

// Service list rows' item data: (service id << 16) | transport stream id.
inline uint32_t ServiceItemData(unsigned long transportStreamId, unsigned long serviceId) {
    return static_cast<uint32_t>((serviceId & 0xFFFF) << 16 | (transportStreamId & 0xFFFF));
}
inline uint32_t ServiceIdOfKey(uint32_t key) { return key >> 16; }

}  // namespace scancells
