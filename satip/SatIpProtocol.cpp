#include "satip/SatIpProtocol.h"

#include <algorithm>
#include <cstdio>
#include <span>

#include "broadcast/SectionReader.h"
#include "framework/AsciiCase.h"

namespace cardlib::satip {

namespace {

// A decimal number, digits only, no larger than `max`.
std::optional<unsigned long> Decimal(const std::string& text, unsigned long max) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    unsigned long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value > max) return std::nullopt;
    return value;
}

// "346", "346.5", "346.000": a frequency in MHz to kHz.
std::optional<unsigned long> Megahertz(const std::string& text) {
    const size_t dot = text.find('.');
    const auto whole = Decimal(text.substr(0, dot), 100000);
    if (!whole) return std::nullopt;
    unsigned long kHz = *whole * 1000;
    if (dot != std::string::npos) {
        std::string fraction = text.substr(dot + 1);
        if (fraction.empty() || fraction.size() > 6) return std::nullopt;
        fraction = (fraction + "000").substr(0, 3);
        const auto part = Decimal(fraction, 999);
        if (!part || !Decimal(text.substr(dot + 1), 999999)) return std::nullopt;
        kHz += *part;
    }
    return kHz;
}

std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

std::vector<std::string> Split(const std::string& text, char by) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        const size_t at = text.find(by, from);
        parts.push_back(text.substr(from, at - from));
        if (at == std::string::npos) return parts;
        from = at + 1;
    }
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

}  // namespace

std::string MegahertzText(unsigned long kHz) {
    std::string text = std::to_string(kHz / 1000);
    if (kHz % 1000) {
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, ".%03lu", kHz % 1000);
        std::string f = fraction;
        while (f.back() == '0') f.pop_back();
        text += f;
    }
    return text;
}

std::string TuningQuery(const Tuning& tuning) {
    std::string query = "freq=" + MegahertzText(tuning.frequencyKHz) + "&msys=dvbc&sr=" +
                        std::to_string((tuning.symbolRate + 500) / 1000);
    if (tuning.modulation) query += "&mtype=" + std::to_string(tuning.modulation) + "qam";
    return query;
}

std::string PidText(const std::set<uint16_t>& pids) {
    if (pids.empty()) return "none";
    std::string text;
    for (uint16_t pid : pids) text += (text.empty() ? "" : ",") + std::to_string(pid);
    return text;
}

std::map<std::string, std::string> QueryOf(const std::string& url) {
    std::map<std::string, std::string> query;
    const size_t mark = url.find('?');
    if (mark == std::string::npos) return query;
    for (const std::string& pair : Split(url.substr(mark + 1), '&')) {
        const size_t eq = pair.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        query[fw::AsciiLower(pair.substr(0, eq))] = pair.substr(eq + 1);
    }
    return query;
}

std::optional<Tuning> TuningOf(const std::map<std::string, std::string>& query) {
    const auto freq = query.find("freq"), sr = query.find("sr"), msys = query.find("msys"),
               mtype = query.find("mtype");
    if (freq == query.end() || sr == query.end()) return std::nullopt;
    if (msys != query.end() && fw::AsciiLower(msys->second) != "dvbc") return std::nullopt;
    Tuning tuning;
    const auto kHz = Megahertz(freq->second);
    const auto ksym = Decimal(sr->second, 100000);
    if (!kHz || !ksym || *kHz == 0) return std::nullopt;
    tuning.frequencyKHz = *kHz;
    tuning.symbolRate = static_cast<uint32_t>(*ksym * 1000);
    if (mtype != query.end()) {
        const std::string m = fw::AsciiLower(mtype->second);
        const auto order = m.size() > 3 && m.ends_with("qam") ? Decimal(m.substr(0, m.size() - 3), 256) : std::nullopt;
        if (!order || (*order != 16 && *order != 32 && *order != 64 && *order != 128 && *order != 256))
            return std::nullopt;
        tuning.modulation = static_cast<unsigned>(*order);
    }
    return tuning;
}

std::optional<std::set<uint16_t>> PidsOf(const std::string& text) {
    std::set<uint16_t> pids;
    if (text == "none") return pids;
    for (const std::string& part : Split(text, ',')) {
        const auto pid = Decimal(part, 8191);
        if (!pid) return std::nullopt;
        pids.insert(static_cast<uint16_t>(*pid));
    }
    return pids;
}

int RtspMessage::Status() const {
    if (firstLine.rfind("RTSP/1.0 ", 0) != 0 || firstLine.size() < 12) return 0;
    return static_cast<int>(Decimal(firstLine.substr(9, 3), 999).value_or(0));
}

std::string RtspMessage::Method() const { return firstLine.substr(0, firstLine.find(' ')); }

std::string RtspMessage::Url() const {
    const size_t a = firstLine.find(' ');
    if (a == std::string::npos) return {};
    return firstLine.substr(a + 1, firstLine.find(' ', a + 1) - a - 1);
}

std::string RtspMessage::Header(const std::string& name) const {
    for (const auto& [n, v] : headers)
        if (fw::AsciiLower(n) == fw::AsciiLower(name)) return v;
    return {};
}

StreamItem CutStream(std::string& buffer, size_t maxHead, size_t maxBody) {
    StreamItem item;
    if (buffer.empty()) return item;
    if (buffer[0] == '$') {
        if (buffer.size() < 4) return item;
        const size_t length = static_cast<uint8_t>(buffer[2]) << 8 | static_cast<uint8_t>(buffer[3]);
        if (buffer.size() - 4 < length) return item;
        item.kind = StreamItem::Kind::Interleaved;
        item.channel = static_cast<uint8_t>(buffer[1]);
        item.payload = buffer.substr(4, length);
        buffer.erase(0, 4 + length);
        return item;
    }
    const size_t end = buffer.find("\r\n\r\n");
    if (end == std::string::npos) {
        if (buffer.size() > maxHead) item.kind = StreamItem::Kind::Garbage, buffer.clear();
        return item;
    }
    std::vector<std::string> lines = Split(buffer.substr(0, end), '\n');
    for (std::string& line : lines)
        if (!line.empty() && line.back() == '\r') line.pop_back();
    item.message.firstLine = lines.front();
    for (size_t i = 1; i < lines.size(); ++i) {
        const size_t colon = lines[i].find(':');
        if (colon == std::string::npos) continue;
        item.message.headers.emplace_back(Trim(lines[i].substr(0, colon)), Trim(lines[i].substr(colon + 1)));
    }
    const std::string lengthText = item.message.Header("Content-Length");
    const auto length = lengthText.empty() ? std::optional<unsigned long>(0) : Decimal(lengthText, maxBody);
    if (!length) {
        item.kind = StreamItem::Kind::Garbage;
        buffer.clear();
        return item;
    }
    if (buffer.size() - end - 4 < *length) return StreamItem{};
    item.message.body = buffer.substr(end + 4, *length);
    buffer.erase(0, end + 4 + *length);
    item.kind = StreamItem::Kind::Message;
    return item;
}

std::pair<std::string, int> SessionOf(const std::string& header) {
    const std::vector<std::string> parts = Split(header, ';');
    int timeout = 60;
    for (size_t i = 1; i < parts.size(); ++i) {
        const std::string p = Trim(parts[i]);
        if (fw::AsciiLower(p).rfind("timeout=", 0) == 0) {
            const auto s = Decimal(p.substr(8), 86400);
            if (s && *s > 0) timeout = static_cast<int>(*s);
        }
    }
    return {Trim(parts.front()), timeout};
}

std::optional<std::pair<size_t, size_t>> RtpPayload(const uint8_t* data, size_t size) {
    si::SectionReader r(std::span<const uint8_t>(data, size));
    const uint8_t first = r.U8();
    const uint8_t type = r.U8() & 0x7F;
    if (r.Error() || first >> 6 != 2 || type != kRtpPayloadMp2t) return std::nullopt;
    // Sequence number, timestamp, SSRC, then the CSRCs.
    r.Skip(10 + 4 * static_cast<size_t>(first & 0x0F));
    if (first & 0x10) {
        r.Skip(2);
        r.Skip(4 * static_cast<size_t>(r.U16()));
    }
    size_t end = size;
    if (first & 0x20) {
        const uint8_t padding = size ? data[size - 1] : 0;
        if (padding > size - r.Position()) return std::nullopt;
        end -= padding;
    }
    if (r.Error() || r.Position() > end) return std::nullopt;
    return std::make_pair(r.Position(), end - r.Position());
}

void WriteRtpHeader(std::vector<uint8_t>& out, uint16_t sequence, uint32_t timestamp, uint32_t ssrc) {
    out.push_back(0x80);
    out.push_back(kRtpPayloadMp2t);
    out.push_back(static_cast<uint8_t>(sequence >> 8));
    out.push_back(static_cast<uint8_t>(sequence));
    Put32(out, timestamp);
    Put32(out, ssrc);
}

std::optional<TunerReport> ReadTunerText(const std::string& text) {
    for (const std::string& field : Split(text, ';')) {
        if (field.rfind("tuner=", 0) != 0) continue;
        const std::vector<std::string> v = Split(field.substr(6), ',');
        if (v.size() < 5) return std::nullopt;
        const auto level = Decimal(v[1], 255), lock = Decimal(v[2], 1), quality = Decimal(v[3], 15);
        const auto kHz = Megahertz(v[4]);
        if (!level || !lock || !quality || !kHz) return std::nullopt;
        return TunerReport{static_cast<unsigned>(*level), *lock == 1, static_cast<unsigned>(*quality), *kHz};
    }
    return std::nullopt;
}

std::optional<std::string> FindSes1(const uint8_t* data, size_t size) {
    si::SectionReader r(std::span<const uint8_t>(data, size));
    // RFC 3550 6.1: packets of a compound follow each other, each as long as
    // its length field says (in 32-bit words, less one).
    while (!r.AtEnd() && !r.Error()) {
        const uint8_t first = r.U8();
        const uint8_t type = r.U8();
        const size_t length = 4 * static_cast<size_t>(r.U16());
        si::SectionReader packet = r.Sub(length);
        if (r.Error() || first >> 6 != 2) return std::nullopt;
        if (type != kRtcpApp) continue;
        packet.Skip(4);  // SSRC
        const auto name = packet.Bytes(4);
        if (packet.Error() || std::string(name.begin(), name.end()) != "SES1") continue;
        packet.Skip(2);  // identifier
        const uint16_t stringLength = packet.U16();
        const auto text = packet.Bytes(stringLength);
        if (packet.Error()) return std::nullopt;
        return std::string(text.begin(), text.end());
    }
    return std::nullopt;
}

std::vector<uint8_t> WriteSes1(uint32_t ssrc, const std::string& text) {
    std::vector<uint8_t> out;
    // An empty sender report first, as RFC 3550 6.1 wants a compound to begin.
    out.insert(out.end(), {0x80, kRtcpSenderReport, 0, 6});
    Put32(out, ssrc);
    for (int i = 0; i < 5; ++i) Put32(out, 0);
    const size_t padded = (text.size() + 3) / 4 * 4;
    const size_t words = (4 + 4 + 4 + padded) / 4;
    out.insert(out.end(), {0x80, kRtcpApp, static_cast<uint8_t>(words >> 8), static_cast<uint8_t>(words)});
    Put32(out, ssrc);
    out.insert(out.end(), {'S', 'E', 'S', '1', 0, 0, static_cast<uint8_t>(text.size() >> 8),
                           static_cast<uint8_t>(text.size())});
    out.insert(out.end(), text.begin(), text.end());
    out.resize(out.size() + padded - text.size(), 0);
    return out;
}

}  // namespace cardlib::satip
