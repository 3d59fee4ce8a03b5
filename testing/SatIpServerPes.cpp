// A little picture and sound for players: an MPEG video sequence header with
// an I-picture header, and a silent MPEG-1 Layer II frame, as PES on the
// PIDs of the MPEG-1/2 video and MPEG audio streams a session asked for by
// name, so that a player finds each stream's kind, size and rate. Only a
// session with a PID list gets them: a scan asks for tables, not streams.
#include <algorithm>

#include "testing/SatIpServer.h"
#include "framework/Clock.h"

namespace cardlib {

namespace {

constexpr int64_t kPesIntervalMs = 40;

std::vector<uint8_t> PesHeader(uint8_t streamId, size_t payload, int64_t nowMs) {
    const uint64_t pts = static_cast<uint64_t>(nowMs) * 90 & 0x1FFFFFFFFull;
    const size_t length = streamId == 0xE0 ? 0 : payload + 8;  // video may leave it open
    return {0x00,
            0x00,
            0x01,
            streamId,
            static_cast<uint8_t>(length >> 8),
            static_cast<uint8_t>(length),
            0x80,
            0x80,
            0x05,
            static_cast<uint8_t>(0x21 | ((pts >> 29) & 0x0E)),
            static_cast<uint8_t>(pts >> 22),
            static_cast<uint8_t>(0x01 | ((pts >> 14) & 0xFE)),
            static_cast<uint8_t>(pts >> 7),
            static_cast<uint8_t>(0x01 | ((pts << 1) & 0xFE))};
}

// 720 x 576, 4:3, 25 frames/s; a closed GOP; an I-picture.
const std::vector<uint8_t> kVideo = {0x00, 0x00, 0x01, 0xB3, 0x2D, 0x02, 0x40, 0x23, 0xFF, 0xFF, 0xE3, 0x80,
                                     0x00, 0x00, 0x01, 0xB8, 0x00, 0x08, 0x00, 0x40, 0x00, 0x00, 0x01, 0x00,
                                     0x00, 0x0F, 0xFF, 0xF8};

// One Layer II frame, 128 kbit/s at 48 kHz, stereo: 384 bytes, all bands
// without allocation.
std::vector<uint8_t> AudioFrame() {
    std::vector<uint8_t> frame(384, 0);
    frame[0] = 0xFF, frame[1] = 0xFD, frame[2] = 0x84, frame[3] = 0x00;
    return frame;
}

// A PES packet as whole TS packets, the last filled out by stuffing in its
// adaptation field.
void Packetize(uint16_t pid, const std::vector<uint8_t>& pes, uint8_t& counter, std::vector<uint8_t>& out) {
    for (size_t at = 0; at < pes.size();) {
        const size_t left = pes.size() - at;
        const size_t take = std::min<size_t>(left, 184);
        const size_t stuffing = 184 - take;
        out.push_back(0x47);
        out.push_back(static_cast<uint8_t>((at == 0 ? 0x40 : 0x00) | (pid >> 8)));
        out.push_back(static_cast<uint8_t>(pid));
        out.push_back(static_cast<uint8_t>((stuffing ? 0x30 : 0x10) | (counter++ & 0x0F)));
        if (stuffing) {
            out.push_back(static_cast<uint8_t>(stuffing - 1));
            if (stuffing > 1) {
                out.push_back(0x00);
                out.insert(out.end(), stuffing - 2, 0xFF);
            }
        }
        out.insert(out.end(), pes.begin() + static_cast<long>(at), pes.begin() + static_cast<long>(at + take));
        at += take;
    }
}

}  // namespace

void SatIpServer::AddPes(Session& session, int64_t nowMs, std::vector<uint8_t>& packets) {
    const SimTransport* transport = m_Tuners[session.tuner]->schedule.Transport();
    if (!session.pids || !transport || !m_Tuners[session.tuner]->schedule.LockedAt(nowMs)) return;
    if (session.pesAtMs >= 0 && nowMs - session.pesAtMs < kPesIntervalMs) return;
    session.pesAtMs = nowMs;
    static const std::vector<uint8_t> audio = AudioFrame();
    for (const SimService& service : transport->services) {
        for (const SimStream& stream : service.streams) {
            if (!session.pids->count(stream.pid)) continue;
            const bool video = stream.streamType == 0x01 || stream.streamType == 0x02;
            const bool sound = stream.streamType == 0x03 || stream.streamType == 0x04;
            if (!video && !sound) continue;
            const std::vector<uint8_t>& payload = video ? kVideo : audio;
            std::vector<uint8_t> pes = PesHeader(video ? 0xE0 : 0xC0, payload.size(), nowMs);
            pes.insert(pes.end(), payload.begin(), payload.end());
            Packetize(stream.pid, pes, session.pesCounters[stream.pid], packets);
        }
    }
}

}  // namespace cardlib
