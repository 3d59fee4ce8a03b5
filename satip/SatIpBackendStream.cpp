#include <cerrno>
#include <cstdio>
#include <span>

#include "broadcast/Crc32.h"
#include "broadcast/NitTransports.h"
#include "broadcast/SectionReader.h"
#include "broadcast/SiTags.h"
#include "broadcast/descriptors/CableDelivery.h"
#include "satip/SatIpBackend.h"
#include "framework/Clock.h"

namespace cardlib {

namespace {

constexpr size_t kDatagramBytes = 65536;

// What an error answer means for the user, after its status line.
std::string Meaning(int status) {
    switch (status) {
        case 404: return ": it has no such stream (does it offer DVB-C?)";
        case 453: return ": all its tuners are busy";
        case 454: return ": it dropped the session";
        case 503: return ": it cannot serve the stream now";
        default: return "";
    }
}

}  // namespace

void SatIpBackend::OnControl() {
    uint8_t buffer[16384];
    for (;;) {
        const long got = m_Net->Receive(m_Control, buffer, sizeof buffer);
        if (got == -EAGAIN || got == -EWOULDBLOCK) break;
        if (got <= 0) {
            // An answer or the stream was still to come on it.
            return Fail("SAT>IP server " + ServerName() + " closed the RTSP connection" +
                        (got < 0 ? " (" + NetErrorText(static_cast<int>(got)) + ")" : ""));
        }
        m_Buffer.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(got));
        for (;;) {
            satip::StreamItem item = satip::CutStream(m_Buffer);
            if (item.kind == satip::StreamItem::Kind::Incomplete) break;
            if (item.kind == satip::StreamItem::Kind::Garbage)
                return Fail("SAT>IP server " + ServerName() + " sent something that is not RTSP");
            const auto* bytes = reinterpret_cast<const uint8_t*>(item.payload.data());
            if (item.kind == satip::StreamItem::Kind::Interleaved) {
                if (item.channel == 0) TakeRtp(bytes, item.payload.size());
                if (item.channel == 1) TakeRtcp(bytes, item.payload.size());
            } else {
                OnAnswer(item.message);
            }
            // The handler may have closed the connection.
            if (m_Control < 0) return;
        }
    }
}

void SatIpBackend::OnAnswer(const satip::RtspMessage& answer) {
    // An answer to a TEARDOWN sent on the way out, or a request of the
    // server's own: nothing awaited it.
    if (!m_Awaiting || answer.Status() == 0 || answer.Header("CSeq") != std::to_string(m_AwaitingCSeq)) return;
    const Request request = std::move(*m_Awaiting);
    m_Awaiting.reset();
    const int status = answer.Status();
    if (status != 200) {
        if (status == 454) m_SessionId.clear();
        if (RefusedGuess(request.method, status)) return;
        return Fail("SAT>IP server " + ServerName() + " answered " + request.method + " with " +
                    answer.firstLine.substr(9) + Meaning(status));
    }
    if (request.method == "SETUP") {
        const auto [id, timeout] = satip::SessionOf(answer.Header("Session"));
        m_SessionId = id;
        m_TimeoutS = timeout;
        m_StreamId = answer.Header("com.ses.streamID");
        if (m_StreamId.empty()) m_StreamId = "1";
        Send("PLAY", BaseUrl() + "/stream=" + m_StreamId);
    } else if (request.method == "PLAY") {
        const int64_t now = m_Host->GetClock().NowMs();
        if (!m_Streaming) {
            // The old transport's datagrams that wait in the socket go unread.
            uint8_t scrap[2048];
            while (m_Rtp >= 0 && m_Net->Receive(m_Rtp, scrap, sizeof scrap) > 0) {
            }
            m_Streaming = true;
            m_PlayedAtMs = now;
            m_HeardSincePlay = false;
        }
        if (m_Session == Session::SettingUp) Become(Session::Playing);
    }
    SendNext();
    Follow();
}

void SatIpBackend::OnRtp(int fd) {
    std::vector<uint8_t> datagram(kDatagramBytes);
    for (;;) {
        const long got = m_Net->Receive(fd, datagram.data(), datagram.size());
        if (got <= 0) return;
        TakeRtp(datagram.data(), static_cast<size_t>(got));
        // The sink may have stopped us.
        if (m_Rtp != fd) return;
    }
}

void SatIpBackend::OnRtcp(int fd) {
    uint8_t datagram[2048];
    for (;;) {
        const long got = m_Net->Receive(fd, datagram, sizeof datagram);
        if (got <= 0) return;
        TakeRtcp(datagram, static_cast<size_t>(got));
        if (m_Rtcp != fd) return;
    }
}

void SatIpBackend::Heard() {
    m_HeardSincePlay = true;
    m_HeardAtMs = m_Host->GetClock().NowMs();
}

void SatIpBackend::TakeRtp(const uint8_t* data, size_t size) {
    if (!m_Streaming || !m_Sink) return;
    Heard();
    const auto payload = satip::RtpPayload(data, size);
    if (!payload) return;
    const size_t whole = payload->second - payload->second % TsDemux::kPacketSize;
    if (whole == 0) return;
    const uint8_t* packets = data + payload->first;
    if (m_Sink->Wants(si::pid::kNit)) {
        m_NitDemux.Feed(packets, whole);
        m_NitDemux.Flush();
    }
    m_Sink->OnPackets(packets, whole);
}

void SatIpBackend::TakeRtcp(const uint8_t* data, size_t size) {
    if (!m_Streaming || !m_Sink) return;
    Heard();
    const auto text = satip::FindSes1(data, size);
    const auto report = text ? satip::ReadTunerText(*text) : std::nullopt;
    // A report of the transport tuned before is no news of this one.
    if (!report || report->frequencyKHz != m_Wanted) return;
    m_Report = report;
    m_ReportAtMs = m_Host->GetClock().NowMs();
    ProbeCheck();
    if (!report->lock || m_SignalSaid) return;
    m_SignalSaid = true;
    char line[96];
    std::snprintf(line, sizeof line, "Signal at %.1f MHz: level %u/255, quality %u/15",
                  static_cast<double>(m_Wanted) / 1000.0, report->level, report->quality);
    m_Sink->OnStatusLine(line);
}

// EN 300 468 5.2.1 and 6.2.13.1: the cable delivery system descriptors of
// the NIT actual tell each transport's symbol rate and modulation.
void SatIpBackend::OnSection(uint16_t, const uint8_t* data, size_t size) {
    si::SectionReader whole(std::span<const uint8_t>(data, size));
    constexpr size_t kLeast = si::header::kLongForm + 4 + si::kCrcSize;
    if (size < kLeast || whole.U8() != si::table::kNitActual || si::Crc32Mpeg2(data, size) != 0) return;
    const si::SectionReader section(std::span<const uint8_t>(data, size - si::kCrcSize));
    for (const si::NitTransport& entry : si::ReadNitTransports(section)) {
        si::WalkDescriptors(entry.descriptors, [&](uint8_t tag, si::SectionReader& body) {
            si::CableDelivery cable;
            if (tag != si::descriptor::kCableDeliverySystem || !si::ReadCableDelivery(body, cable) ||
                !cable.bcdValid || cable.frequencyHz < 1000)
                return;
            const si::ModulationCode* modulation = si::FindModulation(cable.modulation);
            m_Deliveries[static_cast<unsigned long>(cable.frequencyHz / 1000)] =
                Delivery{cable.symbolRate, modulation ? modulation->qamOrder : 0};
        });
    }
}

}  // namespace cardlib
