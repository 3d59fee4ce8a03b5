#include "scan/NetworksOnAir.h"

#include <algorithm>

void NetworksOnAir::See(uint16_t id, bool actual, const std::string& name, uint8_t sectionNumber,
                        uint8_t lastSectionNumber, size_t transports) {
    Seen& seen = m_Seen[id];
    // A section beyond the table's last one is not of this table.
    if (sectionNumber > lastSectionNumber) return;
    // Another last_section_number: a new version of the table, counted anew.
    if (seen.lastSectionNumber != lastSectionNumber) seen.transportsBySection.clear();
    seen.lastSectionNumber = lastSectionNumber;
    seen.actual = seen.actual || actual;
    if (seen.name.empty()) seen.name = name;
    seen.transportsBySection[sectionNumber] = transports;
}

std::vector<NetworkOnAir> NetworksOnAir::List() const {
    std::vector<NetworkOnAir> list;
    for (const auto& [id, seen] : m_Seen) {
        if (seen.transportsBySection.empty()) continue;
        NetworkOnAir network{id, seen.name, seen.actual, 0};
        for (const auto& [section, transports] : seen.transportsBySection) network.transports += transports;
        list.push_back(network);
    }
    std::stable_partition(list.begin(), list.end(), [](const NetworkOnAir& n) { return n.actual; });
    return list;
}

uint16_t NetworksOnAir::ActualId() const {
    for (const NetworkOnAir& network : List())
        if (network.actual) return network.id;
    return 0;
}

std::string NetworksOnAir::Describe(const NetworkOnAir& network) {
    std::string text = std::to_string(network.id);
    if (!network.name.empty()) text += " \"" + network.name + "\"";
    text += network.actual ? " (NIT actual, " : " (NIT other, ";
    text += std::to_string(network.transports) + (network.transports == 1 ? " transport)" : " transports)");
    return text;
}

std::string NetworksOnAir::Line(const std::vector<NetworkOnAir>& networks, uint16_t scanning) {
    if (networks.size() < 2) return std::string();
    std::string line = "Networks on this cable: ";
    for (size_t i = 0; i < networks.size(); ++i) line += (i == 0 ? "" : ", ") + Describe(networks[i]);
    return line + "; scanning " + std::to_string(scanning) + ", set NetworkId for another";
}
