// What an elementary stream of a PMT carries, from its stream_type and, for
// PES private data, its descriptors. The PMT decoder decides it, the scan
// window shows it and the merge picks a service's PIDs by it.
#pragma once

#include <cstdint>

namespace si {

enum class StreamKind : uint8_t { Other, Video, Audio, Teletext, Subtitle, Data };

// ISO/IEC 13818-1 table 2-34: MPEG-1 (0x01), MPEG-2 (0x02), MPEG-4 part 2
// (0x10), H.264 (0x1B) and HEVC (0x24) video.
constexpr bool IsVideoStreamType(uint8_t streamType) {
    return streamType == 0x01 || streamType == 0x02 || streamType == 0x10 || streamType == 0x1B ||
           streamType == 0x24;
}

// MPEG-1 and MPEG-2 audio (0x03, 0x04), AAC in ADTS (0x0F) and LATM (0x11),
// and 0x81, AC-3 as ATSC A/52 registers it.
constexpr bool IsAudioStreamType(uint8_t streamType) {
    return streamType == 0x03 || streamType == 0x04 || streamType == 0x0F || streamType == 0x11 ||
           streamType == 0x81;
}

constexpr uint8_t kPesPrivateData = 0x06;

// Of the descriptors of one stream, those that say what PES private data is.
struct StreamDescriptors {
    bool audio = false;     // EN 300 468 annex D/G/H: AC-3, E-AC-3, DTS, AAC descriptor; SMPTE 302M's registration
    bool teletext = false;  // EN 300 468 6.2.43
    bool subtitling = false;  // EN 300 468 6.2.42
};

// EN 300 468 annex D, G, H and 6.2.42/43: PES private data (0x06) is audio,
// teletext or subtitles by its descriptor; without one of them it is data.
constexpr StreamKind KindOfStream(uint8_t streamType, const StreamDescriptors& d) {
    if (IsVideoStreamType(streamType)) return StreamKind::Video;
    if (IsAudioStreamType(streamType)) return StreamKind::Audio;
    if (streamType != kPesPrivateData) return StreamKind::Other;
    if (d.audio) return StreamKind::Audio;
    if (d.teletext) return StreamKind::Teletext;
    if (d.subtitling) return StreamKind::Subtitle;
    return StreamKind::Data;
}

// The audio PID's stream type as the program list keeps it beside the
// record: ISO/IEC 13818-1's stream_type, and for PES private data the tag of
// the descriptor that says what it carries in the next 8 bits.
namespace audiotype {

inline constexpr uint32_t kMpeg1 = 0x03, kMpeg2 = 0x04, kAacAdts = 0x0F, kAacLatm = 0x11;
// ATSC A/52: AC-3 and E-AC-3 as stream types of their own.
inline constexpr uint32_t kAtscAc3 = 0x81, kAtscEnhancedAc3 = 0x87;
// EN 300 468 annex D: PES private data with an AC-3 or enhanced AC-3 descriptor.
inline constexpr uint32_t kDvbAc3 = 0x6A06, kDvbEnhancedAc3 = 0x7A06;

inline constexpr uint32_t PrivateData(uint8_t descriptorTag) { return uint32_t{descriptorTag} << 8 | 0x06; }
inline constexpr bool IsAc3(uint32_t type) { return type == kDvbAc3 || type == kAtscAc3; }
inline constexpr bool IsEnhancedAc3(uint32_t type) { return type == kDvbEnhancedAc3 || type == kAtscEnhancedAc3; }
// What players such as VDR keep apart from MPEG audio ("Dolby" PIDs).
inline constexpr bool IsDolby(uint32_t type) { return IsAc3(type) || IsEnhancedAc3(type); }

}  // namespace audiotype

}  // namespace si
