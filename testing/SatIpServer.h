// An emulated SAT>IP server with DVB-C tuners, on loopback: RTSP on an
// ephemeral port, the simulated network's transports sent by the broadcast
// schedule over RTP (UDP or interleaved on the RTSP connection), RTCP's
// SES1 reports of the tuner (a signal level only where the network has a
// transport, a lock only with its symbol rate and constellation, or with
// no mtype), a lock time, a limited number of tuners and
// PIDs, sessions that time out, and the failures a client must survive.
// It runs on a host's loop, so a test drives client and server on one
// virtual clock.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "satip/SatIpProtocol.h"
#include "simnet/BroadcastSchedule.h"
#include "simnet/SimNetwork.h"
#include "simnet/TsPacketizer.h"
#include "framework/Host.h"

namespace cardlib {

struct SatIpServerOptions {
    unsigned tuners = 2;
    unsigned maxPids = 32;
    int sessionTimeoutS = 60;
    int64_t rtcpIntervalMs = 200;
    // Failures: every SETUP answered with this status (404, 503) instead of 200;
    bool sendUdp = true;  // false: datagrams never arrive (a firewall between)
    int setupStatus = 200;
    // this long after the first PLAY, the session is forgotten (454 from then on),
    int64_t dropSessionAfterMs = -1;
    // or its RTP and RTCP stop while the session lives on.
    int64_t stopStreamAfterMs = -1;
    // A constellation (mtype, 16 to 256) its tuners cannot take: a SETUP or
    // PLAY naming it is answered 400, as boxes answer what they cannot tune.
    unsigned refusedModulation = 0;
    // Its tuners' lowest frequency (kHz): below it, likewise 400.
    unsigned long lowestFrequencyKHz = 0;
};

class SatIpServer {
public:
    SatIpServer(fw::Host& host, SimNetwork network, SatIpServerOptions options = {});
    ~SatIpServer();
    SatIpServer(const SatIpServer&) = delete;
    SatIpServer& operator=(const SatIpServer&) = delete;

    // Listens on 127.0.0.1 at an ephemeral port; false when it cannot.
    bool Listen();
    uint16_t Port() const { return m_Port; }
    // Where it answers an SSDP M-SEARCH sent to it alone (its device
    // description is served over HTTP on Port()).
    uint16_t DiscoveryPort() const { return m_UdpPort; }
    // The first line of every request, in order.
    const std::vector<std::string>& Requests() const { return m_Requests; }
    size_t Sessions() const { return m_Sessions.size(); }
    SatIpServerOptions& Options() { return m_Options; }

private:
    struct Connection {
        int fd = -1;
        fw::TaskId watch = 0;
        std::string in, out;
    };
    struct Tuner {
        explicit Tuner(const SimNetwork& network) : schedule(network) {}
        BroadcastSchedule schedule;
        std::optional<satip::Tuning> tuning;
        // A transport at the frequency tuned: its level shows whatever the
        // symbol rate and constellation, its lock only with the right ones.
        bool carrier = false;
        bool busy = false;
    };
    struct Session {
        std::string id;
        unsigned streamId = 0;
        size_t tuner = 0;
        std::optional<std::set<uint16_t>> pids;  // nothing: all
        int connection = -1;                     // interleaved on this connection; -1: UDP
        uint16_t clientPort = 0;
        bool playing = false;
        int64_t seenMs = 0, playedAtMs = -1;
        TsPacketizer packetizer;
        uint16_t sequence = 0;
        std::optional<fw::TaskId> emission, report;
        // SatIpServerPes.cpp: when picture and sound last went out, and
        // the continuity counter of each of their PIDs.
        int64_t pesAtMs = -1;
        std::map<uint16_t, uint8_t> pesCounters;
    };
    using Headers = std::string;

    void Accept();
    void OnSearch();
    std::string Description() const;
    void OnReadable(int fd);
    void Handle(Connection& connection, const satip::RtspMessage& request);
    void Answer(Connection& connection, const satip::RtspMessage& request, int status, const std::string& reason,
                const Headers& headers = {}, const std::string& body = {});
    void Write(int fd, const std::string& bytes);
    void CloseConnection(int fd);
    // SETUP, PLAY: the tuning and PIDs of the URL on the session. An error
    // status, or 0.
    int Apply(Session& session, const std::map<std::string, std::string>& query);
    void Retune(Session& session, const satip::Tuning& tuning);
    Session* Find(const satip::RtspMessage& request);
    void Remove(const std::string& id);
    void Expire();

    // SatIpServerStream.cpp: the transport stream and the reports.
    void ScheduleEmission(const std::string& id);
    void Emit(const std::string& id);
    void SendReport(const std::string& id);
    bool Streaming(const Session& session, int64_t now) const;
    void SendRtp(Session& session, const std::vector<uint8_t>& packets);
    void AddPes(Session& session, int64_t nowMs, std::vector<uint8_t>& packets);
    void SendDatagram(Session& session, int channel, const std::vector<uint8_t>& bytes);
    std::string TunerText(const Session& session) const;
    std::string Sdp(const std::string& control, const Session* session) const;

    fw::Host& m_Host;
    std::unique_ptr<SimNetwork> m_Network;
    SatIpServerOptions m_Options;
    int m_Listen = -1, m_Udp = -1;
    uint16_t m_Port = 0, m_UdpPort = 0;
    fw::TaskId m_ListenWatch = 0, m_UdpWatch = 0;
    std::optional<fw::TaskId> m_Expiry;
    std::map<int, Connection> m_Connections;
    std::vector<std::unique_ptr<Tuner>> m_Tuners;
    std::map<std::string, std::unique_ptr<Session>> m_Sessions;
    std::vector<std::string> m_Requests;
    unsigned m_NextSession = 0x2a5f3c01;
    unsigned m_NextStream = 1;
};

}  // namespace cardlib
