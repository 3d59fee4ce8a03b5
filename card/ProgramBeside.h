// What the board database keeps beside a program's record, which keeps its
// 68 bytes: read and written by the DVB_Get/SetDBProg… calls of
// card/DBDVBX32.h, carried with the record wherever it goes (the list, undo,
// the channel files, kelvane-cli).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct ProgramBeside {
    // The operator's channel number; 0: none.
    uint32_t channelNumber = 0;
    // The CA systems the network names for the service (EN 300 468 6.2.5,
    // CA_system_id): up to two, as VDR's CAID field takes them, the first in
    // the low 16 bits and the second in the high 16 bits; 0: none named (free
    // to air, or not known).
    uint32_t caSystems = 0;
    // The A-PID's stream_type (ISO/IEC 13818-1 table 2-34); for PES private
    // data (0x06) the tag of the descriptor that says what it carries
    // (EN 300 468 annex D, G) in the next 8 bits: 0x6A06 AC-3, 0x7A06 E-AC-3
    // (si::audiotype in broadcast/StreamKinds.h). 0: not known.
    uint32_t audioStreamType = 0;

    bool operator==(const ProgramBeside&) const = default;
};

inline constexpr uint32_t kMaxAudioStreamType = UINT16_MAX;

// The first two different ids that are not 0, packed as ProgramBeside::caSystems.
inline uint32_t PackCaSystems(std::span<const uint16_t> ids) {
    uint32_t packed = 0;
    int taken = 0;
    for (const uint16_t id : ids) {
        // A network may name one system twice (once per CA_identifier_descriptor).
        if (id == 0 || (taken == 1 && id == packed)) continue;
        packed |= uint32_t{id} << (16 * taken);
        if (++taken == 2) break;
    }
    return packed;
}

inline std::vector<uint16_t> UnpackCaSystems(uint32_t packed) {
    std::vector<uint16_t> ids;
    for (const uint32_t id : {packed & 0xFFFF, packed >> 16}) {
        if (id != 0) ids.push_back(static_cast<uint16_t>(id));
    }
    return ids;
}

// As the scan window's "CA-ID's" shows them, four hex digits each: "0B00 1702";
// empty for none.
inline std::string CaSystemsText(uint32_t packed) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (const uint16_t id : UnpackCaSystems(packed)) {
        if (!text.empty()) text += ' ';
        for (int shift = 12; shift >= 0; shift -= 4) text += kHex[(id >> shift) & 0xF];
    }
    return text;
}

// Hex ids of one to four digits, separated by blanks or commas (the scan
// window's cell, the CSV's, VDR's CAID); the first two that are not 0
// count. Nullopt for anything else.
inline std::optional<uint32_t> ReadCaSystemsText(std::string_view text) {
    std::vector<uint16_t> ids;
    size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] == ' ' || text[pos] == ',') {
            ++pos;
            continue;
        }
        uint32_t id = 0;
        size_t digits = 0;
        for (; pos < text.size() && text[pos] != ' ' && text[pos] != ','; ++pos, ++digits) {
            const char c = text[pos];
            const int value = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                     : -1;
            if (value < 0 || digits == 4) return std::nullopt;
            id = id << 4 | static_cast<uint32_t>(value);
        }
        ids.push_back(static_cast<uint16_t>(id));
    }
    return PackCaSystems(ids);
}
