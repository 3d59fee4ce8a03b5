// A tuner on the network: a SAT>IP server (a cable router, a tuner server)
// reached over RTSP, its transport stream over RTP. The card's filters name
// the PIDs the server sends; the packets go through the card's own demux,
// as a capture's do.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cardlib/Backend.h"
#include "cardlib/TsDemux.h"
#include "satip/SatIpNet.h"
#include "satip/SatIpProtocol.h"
#include "framework/Host.h"

namespace cardlib {

struct SatIpSettings {
    std::string host;
    uint16_t port = satip::kRtspPort;
    unsigned long homeFrequencyKHz = 0;
    // Where the network's NIT does not say (or is not read yet).
    uint32_t symbolRate = 6900000;
    unsigned modulation = 0;  // QAM order; 0: the server finds it
    // card.ini's symbol rates, which a sweep tries after the NIT's.
    std::vector<uint32_t> symbolRates;
    // More PIDs than this are asked for as "all".
    unsigned maxPids = 16;
    // RTP interleaved on the RTSP connection from the start, not over UDP.
    bool interleaved = false;
    // How discovery found the server, said in the log at the start.
    std::string found;
};

class SatIpBackend final : public Backend, private SectionHandler {
public:
    static constexpr int64_t kConnectTimeoutMs = 3000;
    static constexpr int64_t kAnswerTimeoutMs = 5000;
    static constexpr int64_t kConnectPollMs = 10;
    // Without a datagram this long after PLAY, the stream is asked for on
    // the RTSP connection instead (a firewall, a NAT in between).
    static constexpr int64_t kUdpWaitMs = 2000;
    // Nothing at all, neither RTP nor the server's reports, for this long:
    // the stream has stopped.
    static constexpr int64_t kSilenceMs = 5000;
    static constexpr int64_t kWatchMs = 500;
    // A tuner that has not reported a lock by then has none.
    static constexpr int64_t kLockGiveUpMs = 3000;
    // A sweep's step: a tuner reports a signal level well within this after
    // the tuning, so a report of none from then on means no carrier.
    static constexpr int64_t kProbeNoSignalMs = 300;
    // One guess of symbol rate and constellation on a carrier is given this
    // long to lock (a server's slow demodulator, drxk or tda10023, takes up
    // to 2 s).
    static constexpr int64_t kProbeAttemptMs = 2500;

    SatIpBackend(SatIpSettings settings, std::shared_ptr<SatIpNet> net);
    ~SatIpBackend() override;
    SatIpBackend(const SatIpBackend&) = delete;
    SatIpBackend& operator=(const SatIpBackend&) = delete;

    unsigned long HomeFrequency() const override { return m_Settings.homeFrequencyKHz; }
    void Tune(unsigned long frequencyKHz, int64_t nowMs) override;
    void Start(fw::Host& host, PacketSink& sink) override;
    void Stop() override;
    void WantedChanged() override { Follow(); }
    void FiltersChanged() override { Follow(); }
    std::optional<bool> Locked(int64_t) const override { return m_Report && m_Report->lock; }
    bool LockGivenUp(int64_t nowMs) const override;
    // Kept as a NIT's word on the frequency (sr and mtype of its tuning).
    void ExpectDelivery(unsigned long frequencyKHz, uint32_t symbolRate, uint8_t modulation) override;
    // A sweep's step: the network's own symbol rates and constellations
    // first, then card.ini's, then the operators' list; the frequency is
    // given up on at the first report without a signal level.
    bool Probe(unsigned long frequencyKHz, int64_t nowMs) override;
    std::optional<Reception> LockedWith(int64_t nowMs) const override;

    // "HOST:PORT", as lines name the server.
    std::string ServerName() const;

private:
    // The session with the server, one state at a time (Become):
    //   Closed     --start-------------------> Connecting
    //   Connecting --connection stands-------> SettingUp
    //   SettingUp  --SETUP and PLAY answered-> Playing
    //   Playing    --nothing over UDP--------> SettingUp (interleaved)
    //   any        --an error----------------> Failed (one line said so)
    //   any        --stop--------------------> Closed (TEARDOWN sent)
    enum class Session { Closed, Connecting, SettingUp, Playing, Failed };
    // A sweep's step: off for a tuning the tables name; trying one guess
    // after the other; locked; given up (no carrier, or no guess locked).
    enum class Probing { Off, Trying, Locked, GaveUp };

    struct Request {
        std::string method, url, headers;
    };

    void Become(Session next);
    void Connect();
    void CheckConnected();
    void Send(const std::string& method, const std::string& url, const std::string& headers = {});
    void SendNext();
    void OnControl();
    void OnAnswer(const satip::RtspMessage& answer);
    // A sweep's guess the server will not tune: true when that is all it
    // is (the next guess goes out, or the frequency is given up).
    bool RefusedGuess(const std::string& method, int status);
    void OnRtp(int fd);
    void OnRtcp(int fd);
    void TakeRtp(const uint8_t* data, size_t size);
    void TakeRtcp(const uint8_t* data, size_t size);
    void Heard();
    // The tuning and PIDs wanted now differ from what was sent: PLAY them.
    void Follow();
    void Play();
    void Watchdog();
    void KeepAlive();
    void Teardown();
    void CloseAll();
    void Fail(const std::string& text);
    void Report(const std::string& text);
    void OnSection(uint16_t pid, const uint8_t* data, size_t size) override;
    // SatIpBackendProbe.cpp: the guesses of a sweep's step, and what the
    // tuner's reports say of the one tried now.
    void Retarget(unsigned long frequencyKHz, int64_t nowMs);
    void ProbeAttempts();
    void ProbeCheck();
    void NextAttempt();
    bool Retunes(const satip::Tuning& sent, const satip::Tuning& wanted) const;

    satip::Tuning WantedTuning() const;
    // The PIDs the card's filters name; "all" (nothing) above the limit.
    std::optional<std::set<uint16_t>> WantedPids() const;
    std::string PidQuery(const std::optional<std::set<uint16_t>>& pids) const;
    std::string BaseUrl() const;
    fw::TaskId Later(int64_t delayMs, void (SatIpBackend::*what)());

    SatIpSettings m_Settings;
    std::shared_ptr<SatIpNet> m_Net;
    fw::Host* m_Host = nullptr;
    PacketSink* m_Sink = nullptr;
    Session m_Session = Session::Closed;
    bool m_Interleaved = false;
    unsigned long m_Wanted = 0;
    int64_t m_TunedAtMs = 0;
    int m_Control = -1, m_Rtp = -1, m_Rtcp = -1;
    uint16_t m_RtpPort = 0;
    std::optional<fw::TaskId> m_ControlWatch, m_RtpWatch, m_RtcpWatch;
    std::optional<fw::TaskId> m_Timer, m_KeepAlive;
    int64_t m_ConnectBeganMs = 0;
    std::string m_Buffer;  // what the RTSP connection has delivered, not yet cut
    std::deque<Request> m_Queue;
    std::optional<Request> m_Awaiting;
    int64_t m_AwaitingSinceMs = 0;
    int m_CSeq = 0, m_AwaitingCSeq = 0;
    std::string m_SessionId, m_StreamId;
    int m_TimeoutS = 60;
    // What the server was last asked to tune and send.
    std::optional<satip::Tuning> m_SentTuning;
    std::optional<std::set<uint16_t>> m_SentPids;
    // Packets count only after the server answered the PLAY of the tuning.
    bool m_Streaming = false;
    bool m_HeardSincePlay = false;
    int64_t m_PlayedAtMs = 0, m_HeardAtMs = 0;
    std::optional<satip::TunerReport> m_Report;  // of the tuning wanted now
    int64_t m_ReportAtMs = 0;
    bool m_SignalSaid = false;
    // What the network's NIT said of its transports (kHz).
    struct Delivery {
        uint32_t symbolRate = 0;
        unsigned modulation = 0;
    };
    std::map<unsigned long, Delivery> m_Deliveries;
    Probing m_Probe = Probing::Off;
    Delivery m_Attempt;  // the guess tried now
    std::deque<Delivery> m_Attempts;
    TsDemux m_NitDemux{*this};
    std::set<std::string> m_Reported;
};

}  // namespace cardlib
