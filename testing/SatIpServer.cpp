#include "testing/SatIpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "framework/Clock.h"

namespace cardlib {

namespace {

int Bound(int type, uint16_t& port) {
    const int fd = socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

// "RTP/AVP;unicast;client_port=5000-5001" or "RTP/AVP/TCP;interleaved=0-1".
bool ReadTransport(const std::string& text, bool& interleaved, uint16_t& clientPort) {
    interleaved = text.find("/TCP") != std::string::npos;
    if (interleaved) return true;
    const size_t at = text.find("client_port=");
    if (at == std::string::npos) return false;
    const unsigned long port = std::strtoul(text.c_str() + at + 12, nullptr, 10);
    if (port == 0 || port > 65534) return false;
    clientPort = static_cast<uint16_t>(port);
    return true;
}

}  // namespace

SatIpServer::SatIpServer(fw::Host& host, SimNetwork network, SatIpServerOptions options)
    : m_Host(host), m_Network(std::make_unique<SimNetwork>(std::move(network))), m_Options(options) {
    for (unsigned i = 0; i < m_Options.tuners; ++i) m_Tuners.push_back(std::make_unique<Tuner>(*m_Network));
    // The first tuner stands where the box was last tuned: the home transport.
    if (!m_Tuners.empty() && m_Network->homeTransport < m_Network->transports.size()) {
        const SimTransport& home = m_Network->transports[m_Network->homeTransport];
        if (home.locks) {
            m_Tuners[0]->schedule.StandOn(home);
            m_Tuners[0]->tuning = satip::Tuning{home.frequencyKHz, home.symbolRate, 0};
            m_Tuners[0]->carrier = true;
        }
    }
}

SatIpServer::~SatIpServer() {
    while (!m_Sessions.empty()) Remove(m_Sessions.begin()->first);
    while (!m_Connections.empty()) CloseConnection(m_Connections.begin()->first);
    if (m_Listen >= 0) {
        m_Host.Unwatch(m_ListenWatch);
        close(m_Listen);
    }
    if (m_Udp >= 0) {
        if (m_UdpWatch) m_Host.Unwatch(m_UdpWatch);
        close(m_Udp);
    }
    if (m_Expiry) m_Host.Cancel(*m_Expiry);
}

bool SatIpServer::Listen() {
    m_Listen = Bound(SOCK_STREAM, m_Port);
    m_Udp = Bound(SOCK_DGRAM, m_UdpPort);
    if (m_Listen < 0 || m_Udp < 0 || listen(m_Listen, 8) != 0) return false;
    m_ListenWatch = m_Host.Watch(m_Listen, [this] { Accept(); });
    m_UdpWatch = m_Host.Watch(m_Udp, [this] { OnSearch(); });
    Expire();
    return true;
}

void SatIpServer::Accept() {
    for (;;) {
        const int fd = accept4(m_Listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        // Answers and interleaved packets go out as they are written.
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        Connection& connection = m_Connections[fd];
        connection.fd = fd;
        connection.watch = m_Host.Watch(fd, [this, fd] { OnReadable(fd); });
    }
}

void SatIpServer::OnReadable(int fd) {
    char buffer[8192];
    for (;;) {
        auto it = m_Connections.find(fd);
        if (it == m_Connections.end()) return;
        const long got = recv(fd, buffer, sizeof buffer, 0);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        // A client gone: its interleaved sessions go with it, UDP ones live on.
        if (got <= 0) return CloseConnection(fd);
        it->second.in.append(buffer, static_cast<size_t>(got));
        for (;;) {
            auto c = m_Connections.find(fd);
            if (c == m_Connections.end()) return;
            satip::StreamItem item = satip::CutStream(c->second.in);
            if (item.kind == satip::StreamItem::Kind::Incomplete) break;
            if (item.kind == satip::StreamItem::Kind::Garbage) return CloseConnection(fd);
            // RTCP receiver reports on an interleaved channel need no answer.
            if (item.kind == satip::StreamItem::Kind::Message) {
                m_Requests.push_back(item.message.firstLine);
                Handle(c->second, item.message);
            }
        }
    }
}

void SatIpServer::CloseConnection(int fd) {
    auto it = m_Connections.find(fd);
    if (it == m_Connections.end()) return;
    m_Host.Unwatch(it->second.watch);
    close(fd);
    m_Connections.erase(it);
    std::vector<std::string> gone;
    for (const auto& [id, session] : m_Sessions)
        if (session->connection == fd) gone.push_back(id);
    for (const std::string& id : gone) Remove(id);
}

void SatIpServer::Write(int fd, const std::string& bytes) {
    auto it = m_Connections.find(fd);
    if (it == m_Connections.end()) return;
    std::string& out = it->second.out;
    out += bytes;
    while (!out.empty()) {
        const long sent = send(fd, out.data(), out.size(), MSG_NOSIGNAL);
        if (sent <= 0) break;
        out.erase(0, static_cast<size_t>(sent));
    }
    // A client that reads nothing loses the stream, as over a slow network.
    if (out.size() > 16 * 1024 * 1024) out.clear();
}

void SatIpServer::Answer(Connection& connection, const satip::RtspMessage& request, int status,
                         const std::string& reason, const Headers& headers, const std::string& body) {
    std::string text = "RTSP/1.0 " + std::to_string(status) + " " + reason + "\r\nCSeq: " + request.Header("CSeq") +
                       "\r\n" + headers;
    if (!body.empty()) text += "Content-Type: application/sdp\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    Write(connection.fd, text + "\r\n" + body);
}

SatIpServer::Session* SatIpServer::Find(const satip::RtspMessage& request) {
    const std::string id = satip::SessionOf(request.Header("Session")).first;
    auto it = m_Sessions.find(id);
    return it == m_Sessions.end() ? nullptr : it->second.get();
}

void SatIpServer::Handle(Connection& connection, const satip::RtspMessage& request) {
    const std::string method = request.Method();
    const int64_t now = m_Host.GetClock().NowMs();
    const bool hasSession = !request.Header("Session").empty();
    Session* session = Find(request);
    if (hasSession && !session) return Answer(connection, request, 454, "Session Not Found");
    if (session) session->seenMs = now;
    const std::string sessionHeader =
        session ? "Session: " + session->id + ";timeout=" + std::to_string(m_Options.sessionTimeoutS) + "\r\n" : "";
    const auto query = satip::QueryOf(request.Url());

    // The device description, over HTTP on the same port.
    if (method == "GET" && request.firstLine.find(" HTTP/1.") != std::string::npos) {
        const std::string body = Description();
        Write(connection.fd, "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " +
                                 std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        return CloseConnection(connection.fd);
    }
    if (method == "OPTIONS" || method == "GET_PARAMETER")
        return Answer(connection, request, 200, "OK",
                      sessionHeader + "Public: OPTIONS, DESCRIBE, SETUP, PLAY, TEARDOWN, GET_PARAMETER\r\n");
    if (method == "DESCRIBE") {
        if (!session && !satip::TuningOf(query)) return Answer(connection, request, 404, "Not Found");
        return Answer(connection, request, 200, "OK", "Content-Base: " + request.Url() + "\r\n",
                      Sdp(request.Url(), session));
    }
    if (method == "TEARDOWN") {
        if (!session) return Answer(connection, request, 454, "Session Not Found");
        const std::string id = session->id;
        Remove(id);
        return Answer(connection, request, 200, "OK", "Session: " + id + "\r\n");
    }
    if (method == "SETUP") {
        if (m_Options.setupStatus != 200)
            return Answer(connection, request, m_Options.setupStatus,
                          m_Options.setupStatus == 404 ? "Not Found" : "Service Unavailable");
        bool interleaved = false;
        uint16_t clientPort = 0;
        if (!ReadTransport(request.Header("Transport"), interleaved, clientPort))
            return Answer(connection, request, 461, "Unsupported Transport");
        if (!session) {
            if (!satip::TuningOf(query)) return Answer(connection, request, 400, "Bad Request");
            std::optional<size_t> free;
            for (size_t i = 0; i < m_Tuners.size() && !free; ++i)
                if (!m_Tuners[i]->busy) free = i;
            if (!free) return Answer(connection, request, 453, "Not Enough Bandwidth");
            auto made = std::make_unique<Session>();
            made->id = std::to_string(m_NextSession);
            m_NextSession += 0x1111;
            made->streamId = m_NextStream++;
            made->tuner = *free;
            made->seenMs = now;
            m_Tuners[*free]->busy = true;
            session = made.get();
            m_Sessions[made->id] = std::move(made);
        }
        session->connection = interleaved ? connection.fd : -1;
        session->clientPort = clientPort;
        if (const int status = Apply(*session, query)) {
            if (session->streamId && !session->playing) Remove(session->id);
            return Answer(connection, request, status, status == 503 ? "Service Unavailable" : "Bad Request");
        }
        const std::string transport =
            interleaved ? "RTP/AVP/TCP;interleaved=0-1"
                        : "RTP/AVP;unicast;destination=127.0.0.1;source=127.0.0.1;client_port=" +
                              std::to_string(clientPort) + "-" + std::to_string(clientPort + 1) +
                              ";server_port=" + std::to_string(m_UdpPort) + "-" + std::to_string(m_UdpPort + 1);
        return Answer(connection, request, 200, "OK",
                      "Session: " + session->id + ";timeout=" + std::to_string(m_Options.sessionTimeoutS) +
                          "\r\nTransport: " + transport + "\r\ncom.ses.streamID: " +
                          std::to_string(session->streamId) + "\r\n");
    }
    if (method == "PLAY") {
        if (!session) return Answer(connection, request, 454, "Session Not Found");
        if (const int status = Apply(*session, query))
            return Answer(connection, request, status, status == 503 ? "Service Unavailable" : "Bad Request");
        Answer(connection, request, 200, "OK", sessionHeader + "RTP-Info: url=" + request.Url() + "\r\n");
        if (!session->playing) {
            session->playing = true;
            session->playedAtMs = now;
            m_Tuners[session->tuner]->schedule.Resume(now);
            SendReport(session->id);
        }
        return ScheduleEmission(session->id);
    }
    Answer(connection, request, 501, "Not Implemented");
}

int SatIpServer::Apply(Session& session, const std::map<std::string, std::string>& query) {
    const auto tuning = satip::TuningOf(query);
    if (query.count("freq") && !tuning) return 400;
    if (tuning && ((m_Options.refusedModulation && tuning->modulation == m_Options.refusedModulation) ||
                   tuning->frequencyKHz < m_Options.lowestFrequencyKHz))
        return 400;
    std::optional<std::set<uint16_t>> pids = session.pids;
    if (const auto p = query.find("pids"); p != query.end()) {
        if (p->second == "all") pids.reset();
        else if (const auto list = satip::PidsOf(p->second)) pids = list;
        else return 400;
    }
    for (const char* name : {"addpids", "delpids"}) {
        const auto p = query.find(name);
        if (p == query.end()) continue;
        const auto list = satip::PidsOf(p->second);
        if (!list) return 400;
        if (!pids) continue;  // all stays all
        for (uint16_t pid : *list) name[0] == 'a' ? (void)pids->insert(pid) : (void)pids->erase(pid);
    }
    if (pids && pids->size() > m_Options.maxPids) return 503;
    session.pids = pids;
    if (tuning) Retune(session, *tuning);
    return 0;
}

void SatIpServer::Retune(Session& session, const satip::Tuning& tuning) {
    Tuner& tuner = *m_Tuners[session.tuner];
    const SimTransport* transport = m_Network->FindTransport(static_cast<uint32_t>(tuning.frequencyKHz));
    // A wrong symbol rate or constellation does not lock, as on the cable.
    const bool fits = transport && transport->locks && transport->symbolRate == tuning.symbolRate &&
                      (tuning.modulation == 0 || 8u << static_cast<unsigned>(transport->modulation) == tuning.modulation);
    if (fits && tuner.schedule.Transport() == transport) return;
    tuner.tuning = tuning;
    tuner.carrier = transport && transport->locks;
    tuner.schedule.Tune(fits ? transport : nullptr, m_Host.GetClock().NowMs());
    session.packetizer = TsPacketizer{};
}

void SatIpServer::Remove(const std::string& id) {
    auto it = m_Sessions.find(id);
    if (it == m_Sessions.end()) return;
    Session& session = *it->second;
    if (session.emission) m_Host.Cancel(*session.emission);
    if (session.report) m_Host.Cancel(*session.report);
    m_Tuners[session.tuner]->busy = false;
    m_Sessions.erase(it);
}

void SatIpServer::Expire() {
    m_Expiry.reset();
    const int64_t now = m_Host.GetClock().NowMs();
    std::vector<std::string> gone;
    for (const auto& [id, session] : m_Sessions) {
        const bool timedOut = now - session->seenMs > m_Options.sessionTimeoutS * 1000LL;
        const bool dropped = m_Options.dropSessionAfterMs >= 0 && session->playedAtMs >= 0 &&
                             now - session->playedAtMs >= m_Options.dropSessionAfterMs;
        if (timedOut || dropped) gone.push_back(id);
    }
    for (const std::string& id : gone) Remove(id);
    if (m_Listen >= 0) m_Expiry = m_Host.Post([this] { Expire(); }, 100);
}

}  // namespace cardlib
