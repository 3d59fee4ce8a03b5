// What a SAT>IP client and server say to each other: the tuning as URL
// query parameters, RTSP messages cut from a TCP stream (with RTP and RTCP
// interleaved on it), the TS packets of an RTP packet and the tuner report
// of RTCP's APP packet "SES1". Plain functions, no sockets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace cardlib::satip {

constexpr uint16_t kRtspPort = 554;
// ISO/IEC 13818-1 packets in one RTP packet, as every SAT>IP server sends.
constexpr size_t kPacketsPerRtp = 7;
constexpr uint8_t kRtpPayloadMp2t = 33;  // RFC 3551
constexpr uint8_t kRtcpSenderReport = 200, kRtcpApp = 204;  // RFC 3550

// A DVB-C tuning as SAT>IP writes it: freq in MHz, sr in ksym/s, mtype.
struct Tuning {
    unsigned long frequencyKHz = 0;
    uint32_t symbolRate = 0;  // symbols/s
    unsigned modulation = 0;  // QAM order 16 to 256; 0: the server finds it
};
// "freq=346&msys=dvbc&sr=6900&mtype=64qam" (mtype only where known).
std::string TuningQuery(const Tuning& tuning);
// "0,16,17", ascending; "none" for no PID.
std::string PidText(const std::set<uint16_t>& pids);
// "346", "346.5": MHz without trailing zeros.
std::string MegahertzText(unsigned long kHz);

// The query parameters of a URL ("rtsp://host/?a=1&b=2" or "?a=1"); the
// last of a repeated name counts.
std::map<std::string, std::string> QueryOf(const std::string& url);
// A tuning from query parameters; nothing unless freq and sr are numbers
// and msys is dvbc (or absent) and mtype, if given, a QAM order.
std::optional<Tuning> TuningOf(const std::map<std::string, std::string>& query);
// A PID list ("0,16,17"; "none" is empty); nothing for "all" or a bad list.
std::optional<std::set<uint16_t>> PidsOf(const std::string& text);

struct RtspMessage {
    std::string firstLine;  // "RTSP/1.0 200 OK" or "SETUP rtsp://... RTSP/1.0"
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // The answer's status code; 0 for a request or a bad status line.
    int Status() const;
    // A request's method and URL.
    std::string Method() const;
    std::string Url() const;
    // The header's value (names without regard to case); empty when absent.
    std::string Header(const std::string& name) const;
};

// What the front of a TCP stream holds.
struct StreamItem {
    enum class Kind { Incomplete, Message, Interleaved, Garbage } kind = Kind::Incomplete;
    RtspMessage message;    // Message
    uint8_t channel = 0;    // Interleaved: RFC 2326 10.12 "$", channel, length
    std::string payload;
};
// Takes the first whole message or interleaved frame off `buffer`. A head
// longer than `maxHead` without its end, or a body over `maxBody`, is
// Garbage (the buffer is then cleared).
StreamItem CutStream(std::string& buffer, size_t maxHead = 16384, size_t maxBody = 65536);
// The "Session: 1234;timeout=60" header's id and timeout (s; 60 when absent).
std::pair<std::string, int> SessionOf(const std::string& header);

// The TS bytes of an RTP packet (RFC 3550 5.1: header, CSRCs, extension,
// padding); nothing for what is not RTP version 2 of MP2T.
std::optional<std::pair<size_t, size_t>> RtpPayload(const uint8_t* data, size_t size);
void WriteRtpHeader(std::vector<uint8_t>& out, uint16_t sequence, uint32_t timestamp, uint32_t ssrc);

// The tuner of a SES1 report: "ver=1.0;src=1;tuner=1,200,1,15,346.00,8,dvbc,...;pids=0,16".
struct TunerReport {
    unsigned level = 0;    // 0 to 255
    bool lock = false;
    unsigned quality = 0;  // 0 to 15
    unsigned long frequencyKHz = 0;
};
std::optional<TunerReport> ReadTunerText(const std::string& text);
// The SES1 APP packet of an RTCP compound packet, read within its bytes.
std::optional<std::string> FindSes1(const uint8_t* data, size_t size);
// A sender report and the SES1 APP packet carrying `text`.
std::vector<uint8_t> WriteSes1(uint32_t ssrc, const std::string& text);

}  // namespace cardlib::satip
