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

}  // namespace si
