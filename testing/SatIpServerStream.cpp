#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>

#include "satip/SatIpDiscovery.h"
#include "testing/SatIpServer.h"
#include "framework/Clock.h"

namespace cardlib {

bool SatIpServer::Streaming(const Session& session, int64_t now) const {
    if (!session.playing) return false;
    return m_Options.stopStreamAfterMs < 0 || now - session.playedAtMs < m_Options.stopStreamAfterMs;
}

void SatIpServer::ScheduleEmission(const std::string& id) {
    auto it = m_Sessions.find(id);
    if (it == m_Sessions.end()) return;
    Session& session = *it->second;
    if (session.emission) m_Host.Cancel(*session.emission);
    session.emission.reset();
    const auto wanted = [&session](uint16_t pid) { return !session.pids || session.pids->count(pid) != 0; };
    const int64_t next = m_Tuners[session.tuner]->schedule.NextDueMs(wanted);
    if (next == SimTable::kNeverMs || !session.playing) return;
    const int64_t now = m_Host.GetClock().NowMs();
    session.emission = m_Host.Post([this, id] { Emit(id); }, next > now ? next - now : 0);
}

void SatIpServer::Emit(const std::string& id) {
    auto it = m_Sessions.find(id);
    if (it == m_Sessions.end()) return;
    Session& session = *it->second;
    session.emission.reset();
    const int64_t now = m_Host.GetClock().NowMs();
    std::vector<uint8_t> packets;
    m_Tuners[session.tuner]->schedule.SendDue(
        now, [&session](uint16_t pid) { return !session.pids || session.pids->count(pid) != 0; },
        [&](uint16_t pid, const std::vector<Section>& sections) {
            session.packetizer.Packetize(pid, sections, packets);
        });
    AddPes(session, now, packets);
    if (Streaming(session, now)) SendRtp(session, packets);
    ScheduleEmission(id);
}

void SatIpServer::SendRtp(Session& session, const std::vector<uint8_t>& packets) {
    constexpr size_t kChunk = satip::kPacketsPerRtp * 188;
    const auto timestamp = static_cast<uint32_t>(m_Host.GetClock().NowMs() * 90);
    for (size_t at = 0; at < packets.size(); at += kChunk) {
        std::vector<uint8_t> rtp;
        satip::WriteRtpHeader(rtp, session.sequence++, timestamp, static_cast<uint32_t>(session.streamId));
        rtp.insert(rtp.end(), packets.begin() + static_cast<long>(at),
                   packets.begin() + static_cast<long>(std::min(packets.size(), at + kChunk)));
        SendDatagram(session, 0, rtp);
    }
}

void SatIpServer::SendDatagram(Session& session, int channel, const std::vector<uint8_t>& bytes) {
    if (session.connection >= 0) {
        std::string frame = {'$', static_cast<char>(channel), static_cast<char>(bytes.size() >> 8),
                             static_cast<char>(bytes.size() & 0xFF)};
        frame.append(bytes.begin(), bytes.end());
        return Write(session.connection, frame);
    }
    if (!m_Options.sendUdp) return;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<uint16_t>(session.clientPort + channel));
    sendto(m_Udp, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

void SatIpServer::SendReport(const std::string& id) {
    auto it = m_Sessions.find(id);
    if (it == m_Sessions.end()) return;
    Session& session = *it->second;
    session.report.reset();
    if (Streaming(session, m_Host.GetClock().NowMs()))
        SendDatagram(session, 1, satip::WriteSes1(session.streamId, TunerText(session)));
    session.report = m_Host.Post([this, id] { SendReport(id); }, m_Options.rtcpIntervalMs);
}

std::string SatIpServer::TunerText(const Session& session) const {
    const Tuner& tuner = *m_Tuners[session.tuner];
    const bool lock = tuner.schedule.LockedAt(m_Host.GetClock().NowMs());
    const satip::Tuning tuning = tuner.tuning.value_or(satip::Tuning{});
    char text[256];
    // SAT>IP 1.2 3.5.9, DVB-C: feID, level (0-255), lock, quality (0-15),
    // frequency (MHz), bandwidth, system, constellation, symbol rate, ...
    std::snprintf(text, sizeof text, "ver=1.0;src=1;tuner=%zu,%u,%d,%u,%s,8,dvbc,%s,%u,0,0,0,0;pids=%s",
                  session.tuner + 1, tuner.carrier ? 224u : 0u, lock ? 1 : 0, lock ? 14u : 0u,
                  satip::MegahertzText(tuning.frequencyKHz).c_str(),
                  tuning.modulation ? (std::to_string(tuning.modulation) + "qam").c_str() : "auto",
                  (tuning.symbolRate + 500) / 1000, session.pids ? satip::PidText(*session.pids).c_str() : "all");
    return text;
}

std::string SatIpServer::Sdp(const std::string& control, const Session* session) const {
    std::string sdp = "v=0\r\no=- " + (session ? session->id : std::string("0")) +
                      " 1 IN IP4 127.0.0.1\r\ns=SatIPServer:1 0,0," + std::to_string(m_Tuners.size()) +
                      "\r\nt=0 0\r\nm=video 0 RTP/AVP 33\r\nc=IN IP4 0.0.0.0\r\na=control:" + control + "\r\n";
    if (session) sdp += "a=fmtp:33 " + TunerText(*session) + "\r\n";
    return sdp + (session && session->playing ? "a=sendonly\r\n" : "a=inactive\r\n");
}

// An M-SEARCH for SAT>IP servers (or for everything) is answered to its
// sender; anything else that comes to the RTP port is dropped.
void SatIpServer::OnSearch() {
    char buffer[2048];
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const long got = recvfrom(m_Udp, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (got <= 0) return;
    const std::string text(buffer, static_cast<size_t>(got));
    if (text.rfind("M-SEARCH * HTTP/1.1\r\n", 0) != 0 ||
        (text.find(satip::kServerType) == std::string::npos && text.find("ssdp:all") == std::string::npos))
        return;
    const std::string answer = "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\nEXT:\r\nLOCATION: http://127.0.0.1:" +
                               std::to_string(m_Port) + "/desc.xml\r\nSERVER: Linux/1.0 UPnP/1.1 Kelvane/1.0\r\nST: " +
                               satip::kServerType + "\r\nUSN: uuid:6b656c76-616e-6501-0000-000000000001::" +
                               satip::kServerType + "\r\nBOOTID.UPNP.ORG: 1\r\nCONFIGID.UPNP.ORG: 0\r\n\r\n";
    sendto(m_Udp, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
}

std::string SatIpServer::Description() const {
    return "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\" configId=\"0\">"
           "<specVersion><major>1</major><minor>1</minor></specVersion><device>"
           "<deviceType>" + std::string(satip::kServerType) + "</deviceType>"
           "<friendlyName>Kelvane emulated SAT&gt;IP server</friendlyName><manufacturer>Kelvane</manufacturer>"
           "<modelName>emulation</modelName><UDN>uuid:6b656c76-616e-6501-0000-000000000001</UDN>"
           "<satip:X_SATIPCAP xmlns:satip=\"urn:ses-com:satip\">DVBC-" + std::to_string(m_Tuners.size()) +
           "</satip:X_SATIPCAP></device></root>\r\n";
}

}  // namespace cardlib
