#include "satip/SatIpBackend.h"

#include <cerrno>
#include <cstdio>

#include "broadcast/descriptors/CableDelivery.h"
#include "framework/Clock.h"

namespace cardlib {

namespace {

int64_t Now(const fw::Host* host) { return host ? host->GetClock().NowMs() : 0; }

}  // namespace

SatIpBackend::SatIpBackend(SatIpSettings settings, std::shared_ptr<SatIpNet> net)
    : m_Settings(std::move(settings)), m_Net(std::move(net)) {
    m_Wanted = m_Settings.homeFrequencyKHz;
    m_Interleaved = m_Settings.interleaved;
    // The NIT tells how every transport of the network is tuned.
    m_NitDemux.SetWanted(0x0010, true);
}

SatIpBackend::~SatIpBackend() { Stop(); }

std::string SatIpBackend::ServerName() const { return m_Settings.host + ":" + std::to_string(m_Settings.port); }

std::string SatIpBackend::BaseUrl() const { return "rtsp://" + ServerName(); }

void SatIpBackend::Tune(unsigned long frequencyKHz, int64_t nowMs) {
    m_Probe = Probing::Off;
    m_Attempts.clear();
    Retarget(frequencyKHz, nowMs);
}

void SatIpBackend::Retarget(unsigned long frequencyKHz, int64_t nowMs) {
    m_Wanted = frequencyKHz;
    m_TunedAtMs = nowMs;
    m_Report.reset();
    m_SignalSaid = false;
    m_NitDemux.Reset();
    // A session that failed is tried afresh with the next tuning; the same
    // trouble is not told twice.
    if (m_Session == Session::Failed && m_Host) return Become(Session::Connecting);
    Follow();
}

void SatIpBackend::Start(fw::Host& host, PacketSink& sink) {
    m_Host = &host;
    m_Sink = &sink;
    m_TunedAtMs = Now(m_Host);
    if (!m_Settings.found.empty()) sink.OnStatusLine(m_Settings.found);
    Become(Session::Connecting);
}

void SatIpBackend::Stop() {
    // The server's tuner is let go whenever nobody listens: at the end of a
    // scan, on Close, on every way out.
    if (m_Host) Become(Session::Closed);
    m_Host = nullptr;
    m_Sink = nullptr;
}

bool SatIpBackend::LockGivenUp(int64_t nowMs) const {
    if (m_Session == Session::Failed) return true;
    if (m_Probe != Probing::Off) return m_Probe == Probing::GaveUp;
    return !(m_Report && m_Report->lock) && nowMs - m_TunedAtMs >= kLockGiveUpMs;
}

fw::TaskId SatIpBackend::Later(int64_t delayMs, void (SatIpBackend::*what)()) {
    return m_Host->Post([this, what] { (this->*what)(); }, delayMs);
}

void SatIpBackend::Become(Session next) {
    m_Session = next;
    switch (next) {
        case Session::Closed:
            Teardown();
            CloseAll();
            break;
        case Session::Failed:
            Teardown();
            CloseAll();
            break;
        case Session::Connecting:
            CloseAll();
            Connect();
            break;
        case Session::SettingUp: {
            if (!m_Interleaved && m_Rtp < 0) {
                const int bound = m_Net->BindPair(m_Rtp, m_Rtcp, m_RtpPort);
                if (bound < 0) return Fail("SAT>IP: no UDP ports for the stream (" + NetErrorText(bound) + ")");
                const int rtp = m_Rtp, rtcp = m_Rtcp;
                m_RtpWatch = m_Host->Watch(rtp, [this, rtp] { OnRtp(rtp); });
                m_RtcpWatch = m_Host->Watch(rtcp, [this, rtcp] { OnRtcp(rtcp); });
            }
            const satip::Tuning tuning = WantedTuning();
            const auto pids = WantedPids();
            m_SentTuning = tuning;
            m_SentPids = pids;
            m_Streaming = false;
            const std::string transport =
                m_Interleaved ? "RTP/AVP/TCP;interleaved=0-1"
                              : "RTP/AVP;unicast;client_port=" + std::to_string(m_RtpPort) + "-" +
                                    std::to_string(m_RtpPort + 1);
            Send("SETUP", BaseUrl() + "/?" + satip::TuningQuery(tuning) + "&" + PidQuery(pids),
                 "Transport: " + transport + "\r\n");
            m_Timer = Later(kWatchMs, &SatIpBackend::Watchdog);
            break;
        }
        case Session::Playing:
            m_KeepAlive = Later(std::max<int64_t>(1000, m_TimeoutS * 1000 / 2), &SatIpBackend::KeepAlive);
            break;
    }
}

void SatIpBackend::Connect() {
    m_Buffer.clear();
    m_ConnectBeganMs = Now(m_Host);
    const int fd = m_Net->Connect(m_Settings.host, m_Settings.port);
    if (fd < 0) return Fail("SAT>IP server " + ServerName() + " cannot be reached: " + NetErrorText(fd));
    m_Control = fd;
    CheckConnected();
}

void SatIpBackend::CheckConnected() {
    m_Timer.reset();
    const int state = m_Net->Connected(m_Control);
    if (state < 0) return Fail("SAT>IP server " + ServerName() + " cannot be reached: " + NetErrorText(state));
    if (state == 0) {
        if (Now(m_Host) - m_ConnectBeganMs >= kConnectTimeoutMs)
            return Fail("SAT>IP server " + ServerName() + " cannot be reached: no connection within " +
                        std::to_string(kConnectTimeoutMs / 1000) + " s");
        m_Timer = Later(kConnectPollMs, &SatIpBackend::CheckConnected);
        return;
    }
    m_ControlWatch = m_Host->Watch(m_Control, [this] { OnControl(); });
    Become(Session::SettingUp);
}

void SatIpBackend::Send(const std::string& method, const std::string& url, const std::string& headers) {
    std::string all = headers;
    if (!m_SessionId.empty() && method != "SETUP") all += "Session: " + m_SessionId + "\r\n";
    m_Queue.push_back(Request{method, url, all});
    SendNext();
}

void SatIpBackend::SendNext() {
    if (m_Awaiting || m_Queue.empty() || m_Control < 0) return;
    Request request = std::move(m_Queue.front());
    m_Queue.pop_front();
    const std::string text = request.method + " " + request.url + " RTSP/1.0\r\nCSeq: " + std::to_string(++m_CSeq) +
                             "\r\n" + request.headers + "User-Agent: Kelvane\r\n\r\n";
    const long sent = m_Net->Send(m_Control, text.data(), text.size());
    if (sent != static_cast<long>(text.size()))
        return Fail("SAT>IP server " + ServerName() + ": " + request.method + " could not be sent (" +
                    (sent < 0 ? NetErrorText(static_cast<int>(sent)) : "connection full") + ")");
    m_AwaitingSinceMs = Now(m_Host);
    m_AwaitingCSeq = m_CSeq;
    m_Awaiting = std::move(request);
}

void SatIpBackend::Follow() {
    if (m_Session != Session::Playing || m_Awaiting || !m_Queue.empty()) return;
    const satip::Tuning tuning = WantedTuning();
    const auto pids = WantedPids();
    const bool retune = !m_SentTuning || Retunes(*m_SentTuning, tuning);
    if (!retune && pids == m_SentPids) return;
    std::string query;
    if (retune) {
        // What comes before the server's answer is the old transport's.
        m_Streaming = false;
        query = satip::TuningQuery(tuning) + "&" + PidQuery(pids);
    } else if (!pids || !m_SentPids) {
        query = PidQuery(pids);
    } else {
        std::set<uint16_t> add, remove;
        for (uint16_t pid : *pids)
            if (!m_SentPids->count(pid)) add.insert(pid);
        for (uint16_t pid : *m_SentPids)
            if (!pids->count(pid)) remove.insert(pid);
        if (!add.empty()) query = "addpids=" + satip::PidText(add);
        if (!remove.empty()) query += (query.empty() ? "" : "&") + ("delpids=" + satip::PidText(remove));
    }
    m_SentTuning = tuning;
    m_SentPids = pids;
    Send("PLAY", BaseUrl() + "/stream=" + m_StreamId + "?" + query);
}

satip::Tuning SatIpBackend::WantedTuning() const {
    if (m_Probe != Probing::Off) return satip::Tuning{m_Wanted, m_Attempt.symbolRate, m_Attempt.modulation};
    satip::Tuning tuning{m_Wanted, m_Settings.symbolRate, m_Settings.modulation};
    const auto known = m_Deliveries.find(m_Wanted);
    if (known != m_Deliveries.end()) {
        if (known->second.symbolRate) tuning.symbolRate = known->second.symbolRate;
        if (known->second.modulation) tuning.modulation = known->second.modulation;
    }
    return tuning;
}

void SatIpBackend::ExpectDelivery(unsigned long frequencyKHz, uint32_t symbolRate, uint8_t modulation) {
    const si::ModulationCode* code = si::FindModulation(modulation);
    if (frequencyKHz == 0 || (symbolRate == 0 && !code)) return;
    Delivery& given = m_Deliveries[frequencyKHz];
    if (symbolRate) given.symbolRate = symbolRate;
    if (code) given.modulation = code->qamOrder;
    // A tuning there that has not locked is sent again with it.
    if (m_Wanted == frequencyKHz && !(m_Report && m_Report->lock)) {
        m_SentTuning.reset();
        Tune(frequencyKHz, Now(m_Host));
    }
}

std::optional<std::set<uint16_t>> SatIpBackend::WantedPids() const {
    std::set<uint16_t> pids;
    if (m_Sink)
        for (const PacketSink::Filter& filter : m_Sink->SetFilters()) pids.insert(filter.pid);
    if (pids.size() > m_Settings.maxPids) return std::nullopt;
    return pids;
}

std::string SatIpBackend::PidQuery(const std::optional<std::set<uint16_t>>& pids) const {
    return "pids=" + (pids ? satip::PidText(*pids) : std::string("all"));
}

void SatIpBackend::Watchdog() {
    m_Timer.reset();
    const int64_t now = Now(m_Host);
    if (m_Awaiting && now - m_AwaitingSinceMs >= kAnswerTimeoutMs)
        return Fail("SAT>IP server " + ServerName() + " did not answer " + m_Awaiting->method + " within " +
                    std::to_string(kAnswerTimeoutMs / 1000) + " s");
    if (m_Session == Session::Playing && !m_Interleaved && !m_HeardSincePlay && now - m_PlayedAtMs >= kUdpWaitMs) {
        // Nothing came over UDP: ask for the stream on the RTSP connection.
        Teardown();
        m_SessionId.clear();
        m_Interleaved = true;
        if (m_Sink)
            m_Sink->OnStatusLine("SAT>IP: no RTP over UDP from " + ServerName() +
                                 "; the stream comes over the RTSP connection now");
        if (m_RtpWatch) m_Host->Unwatch(*m_RtpWatch);
        if (m_RtcpWatch) m_Host->Unwatch(*m_RtcpWatch);
        m_RtpWatch.reset(), m_RtcpWatch.reset();
        if (m_KeepAlive) m_Host->Cancel(*m_KeepAlive);
        m_KeepAlive.reset();
        m_Net->Close(m_Rtp), m_Net->Close(m_Rtcp);
        m_Rtp = m_Rtcp = -1;
        return Become(Session::SettingUp);
    }
    if (m_Session == Session::Playing && now - std::max(m_PlayedAtMs, m_HeardAtMs) >= kSilenceMs)
        return Fail("SAT>IP server " + ServerName() + " sent nothing for " + std::to_string(kSilenceMs / 1000) +
                    " s: the stream stopped");
    m_Timer = Later(kWatchMs, &SatIpBackend::Watchdog);
    // A guess whose reports stopped is still given up on in time.
    ProbeCheck();
}

void SatIpBackend::KeepAlive() {
    m_KeepAlive.reset();
    if (m_Session != Session::Playing) return;
    // OPTIONS with the session renews it (RFC 2326 10.1; SAT>IP 3.5.2).
    if (!m_Awaiting) Send("OPTIONS", BaseUrl() + "/");
    m_KeepAlive = Later(std::max<int64_t>(1000, m_TimeoutS * 1000 / 2), &SatIpBackend::KeepAlive);
}

void SatIpBackend::Teardown() {
    if (m_Control < 0 || m_SessionId.empty()) return;
    // Sent without waiting for the answer: the tuner is the server's to free.
    const std::string text = "TEARDOWN " + BaseUrl() + "/stream=" + m_StreamId + " RTSP/1.0\r\nCSeq: " +
                             std::to_string(++m_CSeq) + "\r\nSession: " + m_SessionId + "\r\n\r\n";
    m_Net->Send(m_Control, text.data(), text.size());
    m_SessionId.clear();
}

void SatIpBackend::CloseAll() {
    if (m_Host) {
        for (auto* watch : {&m_ControlWatch, &m_RtpWatch, &m_RtcpWatch})
            if (*watch) m_Host->Unwatch(**watch);
        for (auto* task : {&m_Timer, &m_KeepAlive})
            if (*task) m_Host->Cancel(**task);
    }
    m_ControlWatch.reset(), m_RtpWatch.reset(), m_RtcpWatch.reset(), m_Timer.reset(), m_KeepAlive.reset();
    for (int* fd : {&m_Control, &m_Rtp, &m_Rtcp}) {
        if (*fd >= 0) m_Net->Close(*fd);
        *fd = -1;
    }
    m_Queue.clear();
    m_Awaiting.reset();
    m_SessionId.clear();
    m_SentTuning.reset();
    m_SentPids.reset();
    m_Streaming = false;
    m_Buffer.clear();
}

void SatIpBackend::Fail(const std::string& text) {
    Become(Session::Failed);
    Report(text);
}

void SatIpBackend::Report(const std::string& text) {
    if (!m_Reported.insert(text).second || !m_Sink) return;
    m_Sink->OnProblem(text);
}

}  // namespace cardlib
