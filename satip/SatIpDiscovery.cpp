#include "satip/SatIpDiscovery.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <set>

#include "framework/AsciiCase.h"

namespace cardlib::satip {

namespace {

// UPnP answers fit one datagram; descriptions are a few kB.
constexpr size_t kMaxDatagram = 4096;
constexpr size_t kMaxDescription = 65536;
constexpr size_t kMaxName = 128;
constexpr int64_t kFetchMs = 1000;

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The text of the first element whose name ends in `name` (a namespace
// prefix goes), entities of the five XML ones read; nothing when absent.
std::optional<std::string> Element(const std::string& xml, const std::string& name) {
    for (size_t at = xml.find(name); at != std::string::npos; at = xml.find(name, at + 1)) {
        if (at == 0 || (xml[at - 1] != '<' && xml[at - 1] != ':')) continue;
        const size_t after = at + name.size();
        if (after >= xml.size() || (xml[after] != '>' && xml[after] != ' ')) continue;
        const size_t open = xml.find('>', after);
        const size_t close = open == std::string::npos ? open : xml.find('<', open);
        if (close == std::string::npos) return std::nullopt;
        std::string text;
        for (size_t i = open + 1; i < close; ++i) {
            const char c = xml[i];
            if (c == '&') {
                static const std::pair<const char*, char> kEntities[] = {
                    {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
                bool known = false;
                for (const auto& [entity, value] : kEntities) {
                    if (xml.compare(i, std::char_traits<char>::length(entity), entity) == 0) {
                        text += value;
                        i += std::char_traits<char>::length(entity) - 1;
                        known = true;
                        break;
                    }
                }
                if (!known) text += c;
            } else if (static_cast<unsigned char>(c) >= 0x20) {
                text += c;
            }
        }
        return Trimmed(text);
    }
    return std::nullopt;
}

std::optional<std::string> Fetch(SatIpNet& net, const HttpUrl& url, int64_t untilMs) {
    const int fd = net.Connect(url.host, url.port);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> body;
    int state = 0;
    while ((state = net.Connected(fd)) == 0 && net.NowMs() < untilMs) net.WaitReadable(fd, 10);
    const std::string request = "GET " + url.path + " HTTP/1.0\r\nHost: " + url.host + ":" +
                                std::to_string(url.port) + "\r\nConnection: close\r\n\r\n";
    if (state == 1 && net.Send(fd, request.data(), request.size()) == static_cast<long>(request.size())) {
        std::string answer;
        char buffer[4096];
        for (;;) {
            const int64_t left = untilMs - net.NowMs();
            if (left <= 0 || net.WaitReadable(fd, left) <= 0) break;
            const long got = net.Receive(fd, buffer, sizeof buffer);
            if (got == -EAGAIN) continue;
            if (got <= 0) {
                // The server closed: the answer is whole.
                const size_t end = answer.find("\r\n\r\n");
                const size_t space = answer.find(' ');
                if (got == 0 && end != std::string::npos && answer.rfind("HTTP/1.", 0) == 0 &&
                    space != std::string::npos && answer.compare(space + 1, 3, "200") == 0)
                    body = answer.substr(end + 4);
                break;
            }
            answer.append(buffer, static_cast<size_t>(got));
            if (answer.size() > kMaxDescription) break;
        }
    }
    net.Close(fd);
    return body;
}

}  // namespace

std::string MSearch() {
    return std::string("M-SEARCH * HTTP/1.1\r\nHOST: ") + kSsdpAddress + ":" + std::to_string(kSsdpPort) +
           "\r\nMAN: \"ssdp:discover\"\r\nMX: 2\r\nST: " + kServerType + "\r\n\r\n";
}

std::optional<std::string> ReadSsdpAnswer(const std::string& datagram) {
    if (datagram.size() > kMaxDatagram) return std::nullopt;
    const bool answer = datagram.rfind("HTTP/1.1 200", 0) == 0 || datagram.rfind("NOTIFY * HTTP/1.1", 0) == 0;
    if (!answer) return std::nullopt;
    std::string location;
    bool satip = false;
    for (size_t at = datagram.find("\r\n"); at != std::string::npos;) {
        const size_t next = datagram.find("\r\n", at + 2);
        const std::string line = datagram.substr(at + 2, next == std::string::npos ? std::string::npos : next - at - 2);
        at = next;
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string name = fw::AsciiLower(Trimmed(line.substr(0, colon)));
        const std::string value = Trimmed(line.substr(colon + 1));
        if (name == "location") location = value;
        if ((name == "st" || name == "nt") && value == kServerType) satip = true;
    }
    if (!satip || !ReadHttpUrl(location)) return std::nullopt;
    return location;
}

std::optional<HttpUrl> ReadHttpUrl(const std::string& url) {
    constexpr std::string_view kScheme = "http://";
    if (url.size() > 512 || fw::AsciiLower(url.substr(0, kScheme.size())) != kScheme) return std::nullopt;
    HttpUrl out;
    const size_t slash = url.find('/', kScheme.size());
    const std::string authority = url.substr(kScheme.size(), slash == std::string::npos ? slash : slash - kScheme.size());
    out.path = slash == std::string::npos ? "/" : url.substr(slash);
    const size_t colon = authority.find(':');
    out.host = authority.substr(0, colon);
    if (out.host.empty() || out.host.find_first_of(" @[]") != std::string::npos) return std::nullopt;
    if (colon != std::string::npos) {
        const std::string port = authority.substr(colon + 1);
        char* end = nullptr;
        const unsigned long number = std::strtoul(port.c_str(), &end, 10);
        if (port.empty() || *end || number == 0 || number > 65535) return std::nullopt;
        out.port = static_cast<uint16_t>(number);
    }
    return out;
}

std::optional<DeviceDescription> ReadDeviceDescription(const std::string& xml) {
    if (xml.size() > kMaxDescription) return std::nullopt;
    const auto type = Element(xml, "deviceType");
    if (!type || *type != kServerType) return std::nullopt;
    DeviceDescription out;
    out.name = Element(xml, "friendlyName").value_or("").substr(0, kMaxName);
    // "DVBS2-2,DVBT-2,DVBC-4": the count after each system.
    const std::string caps = Element(xml, "X_SATIPCAP").value_or("");
    size_t start = 0;
    while (start <= caps.size()) {
        const size_t comma = std::min(caps.find(',', start), caps.size());
        const std::string item = Trimmed(caps.substr(start, comma - start));
        if (item.rfind("DVBC-", 0) == 0) {
            char* end = nullptr;
            const unsigned long count = std::strtoul(item.c_str() + 5, &end, 10);
            if (*end == '\0' && item.size() > 5 && count <= 64) out.dvbcTuners += static_cast<unsigned>(count);
        }
        start = comma + 1;
    }
    return out;
}

std::vector<FoundServer> Discover(SatIpNet& net, int64_t waitMs, const std::string& target, uint16_t targetPort) {
    std::vector<FoundServer> found;
    const int fd = net.OpenDatagram();
    if (fd < 0) return found;
    const std::string search = MSearch();
    const int64_t until = net.NowMs() + waitMs;
    // Datagrams get lost: the search goes out twice.
    bool again = true;
    net.SendTo(fd, target, targetPort, search.data(), search.size());
    std::set<std::string> seen;
    for (int64_t left = waitMs; left > 0; left = until - net.NowMs()) {
        if (net.WaitReadable(fd, again ? std::min<int64_t>(left, 500) : left) <= 0) {
            if (again) net.SendTo(fd, target, targetPort, search.data(), search.size());
            again = false;
            continue;
        }
        char buffer[kMaxDatagram + 1];
        std::string from;
        const long got = net.ReceiveFrom(fd, buffer, sizeof buffer, from);
        if (got <= 0) continue;
        const auto location = ReadSsdpAnswer(std::string(buffer, static_cast<size_t>(got)));
        if (!location || !seen.insert(*location).second) continue;
        const auto body = Fetch(net, *ReadHttpUrl(*location), std::min(until, net.NowMs() + kFetchMs));
        const auto description = body ? ReadDeviceDescription(*body) : std::nullopt;
        if (description) found.push_back({from, description->name, description->dvbcTuners});
    }
    net.Close(fd);
    return found;
}

}  // namespace cardlib::satip
