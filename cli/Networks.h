// kelvane-cli networks: the networks whose NIT is on the home transport.
#pragma once

#include <string>
#include <vector>

#include "scan/NetworksOnAir.h"

namespace fw {
class HeadlessHost;
}

namespace cli {

// Listens, through the scan window on a headless host with an attached card,
// to the home transport's NITs (ScanChannelsDialog::ListNetworksOnly). False
// with `error`, one line, when no NIT came or the card failed.
bool ListNetworks(fw::HeadlessHost& host, std::vector<NetworkOnAir>& networks, std::string& error);
// The same on a host in real time with the card of card.ini.
bool RunNetworks(std::vector<NetworkOnAir>& networks, std::string& error);
// One line a network: 12545 "Sonnental Frei" (NIT actual, 2 transports).
std::string NetworksTable(const std::vector<NetworkOnAir>& networks);

}  // namespace cli
