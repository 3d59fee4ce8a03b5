#include "testing/SatIpServerNetworks.h"

namespace cardlib {

std::optional<SimNetwork> SatIpServerNetwork(const std::string& name) {
    if (name == "default") return DefaultNetwork();
    if (name == "large") return LargeNetwork();
    if (name == "operator") return OperatorNetwork();
    if (name != "quick") return std::nullopt;
    SimNetwork network = DefaultNetwork();
    std::vector<SimTransport> kept(network.transports.begin(), network.transports.begin() + 2);
    for (SimTransport& t : kept)
        if (t.services.size() > 3) t.services.resize(3);
    network.transports = std::move(kept);
    network.homeTransport = 0;
    network.nitTransports.clear();
    network.bouquets.clear();
    network.timing.sdtIntervalMs = 500;
    network.timing.nitIntervalMs = 1000;
    return network;
}

}  // namespace cardlib
