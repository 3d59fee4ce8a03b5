// The operator's next line-up of the default network: what a list made by a
// scan of the first meets when the operator re-shuffles.
#include <algorithm>

#include "simnet/SimNetwork.h"

namespace cardlib {

namespace {

SimTransport& TransportWithId(SimNetwork& n, uint16_t transportStreamId) {
    return *std::find_if(n.transports.begin(), n.transports.end(), [&](const SimTransport& t) {
        return t.transportStreamId == transportStreamId && t.originalNetworkId == n.networkId;
    });
}

// The service leaves `from` and goes on air on `to` under a PMT PID free
// there; its streams keep their distances from the PMT.
void MoveService(SimTransport& from, SimTransport& to, uint16_t serviceId) {
    const auto it = std::find_if(from.services.begin(), from.services.end(),
                                 [&](const SimService& s) { return s.serviceId == serviceId; });
    SimService service = *it;
    from.services.erase(it);
    uint16_t pmtPid = 0;
    for (const SimService& s : to.services) pmtPid = std::max(pmtPid, s.pmtPid);
    pmtPid = static_cast<uint16_t>(pmtPid + 0x10);
    const auto shift = [&](uint16_t pid) { return static_cast<uint16_t>(pid - service.pmtPid + pmtPid); };
    for (SimStream& stream : service.streams) stream.pid = shift(stream.pid);
    if (service.pcrPid != 0x1FFF) service.pcrPid = shift(service.pcrPid);
    service.pmtPid = pmtPid;
    to.services.push_back(service);
}

SimNetwork BuildDefaultNetworkNext() {
    SimNetwork n = DefaultNetwork();
    ++n.nitVersion;
    SimTransport& at346 = TransportWithId(n, 1);
    SimTransport& at354 = TransportWithId(n, 2);
    // "Sternenpfad" closes; "Hafenblick Zwei" moves from 354 to 346 MHz.
    at354.services.erase(std::find_if(at354.services.begin(), at354.services.end(),
                                      [](const SimService& s) { return s.serviceId == 204; }));
    MoveService(at354, at346, 202);
    // New tables on both: 354 MHz still gets its update, one version on.
    ++at346.sdtVersion;
    ++at346.patVersion;
    at354.sdtVersion = static_cast<uint8_t>(at354.sdtVersion + 2);
    ++at354.patVersion;
    // 386 MHz is off the air tonight: still listed, but nothing to lock on.
    TransportWithId(n, 6).locks = false;
    return n;
}

}  // namespace

const SimNetwork& DefaultNetworkNext() {
    static const SimNetwork network = BuildDefaultNetworkNext();
    return network;
}

}  // namespace cardlib
