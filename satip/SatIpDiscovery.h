// Finding SAT>IP servers on the local network (SAT>IP 1.2 section 3.3,
// UPnP device architecture 1.1): an SSDP M-SEARCH for
// urn:ses-com:device:SatIPServer:1, each answer's LOCATION fetched over
// HTTP, and its device description's friendlyName and satip:X_SATIPCAP
// ("DVBS2-2,DVBC-4": the tuners of each system) read. What answers is
// bounded and checked; anything else is dropped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "satip/SatIpNet.h"

namespace cardlib::satip {

constexpr const char* kSsdpAddress = "239.255.255.250";
constexpr uint16_t kSsdpPort = 1900;
constexpr const char* kServerType = "urn:ses-com:device:SatIPServer:1";
// What a server must answer within.
constexpr int64_t kDiscoveryMs = 3000;

std::string MSearch();

// An answer to the M-SEARCH (or a NOTIFY) of a SAT>IP server: its LOCATION.
std::optional<std::string> ReadSsdpAnswer(const std::string& datagram);

struct HttpUrl {
    std::string host;
    uint16_t port = 80;
    std::string path;
};
// "http://HOST[:PORT]/PATH"; nothing for another scheme or a bad port.
std::optional<HttpUrl> ReadHttpUrl(const std::string& url);

struct DeviceDescription {
    std::string name;         // friendlyName
    unsigned dvbcTuners = 0;  // DVBC-n of X_SATIPCAP
};
// Nothing unless the XML is a SAT>IP server's description.
std::optional<DeviceDescription> ReadDeviceDescription(const std::string& xml);

struct FoundServer {
    std::string address;  // where the answer came from: the RTSP host
    std::string name;
    unsigned dvbcTuners = 0;
};
// Every server that answers within `waitMs`, in the order they answered,
// each once. `target` is where the M-SEARCH goes (the multicast group, or
// one server's address and port).
std::vector<FoundServer> Discover(SatIpNet& net, int64_t waitMs = kDiscoveryMs, const std::string& target = kSsdpAddress,
                                  uint16_t targetPort = kSsdpPort);

}  // namespace cardlib::satip
