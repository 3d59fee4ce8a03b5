// The networks whose NIT, actual or other, the scan has seen on one
// transport: what a user needs to pick the network to scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct NetworkOnAir {
    uint16_t id = 0;
    std::string name;  // UTF-8; empty: the NIT names none
    bool actual = false;
    size_t transports = 0;
    bool operator==(const NetworkOnAir&) const = default;
};

class NetworksOnAir {
public:
    // One NIT section of network `id`; `name` already UTF-8.
    void See(uint16_t id, bool actual, const std::string& name, uint8_t sectionNumber, uint8_t lastSectionNumber,
             size_t transports);
    // The network of the NIT actual first, the others by id.
    std::vector<NetworkOnAir> List() const;
    bool Empty() const { return m_Seen.empty(); }
    // The NIT actual's network; 0 when none was seen.
    uint16_t ActualId() const;

    // 12545 "Sonnental Frei" (NIT actual, 2 transports)
    static std::string Describe(const NetworkOnAir& network);
    // "Networks on this cable: A, B; scanning 12545, set NetworkId for another";
    // empty unless more than one network is on air.
    static std::string Line(const std::vector<NetworkOnAir>& networks, uint16_t scanning);

private:
    struct Seen {
        std::string name;
        bool actual = false;
        uint8_t lastSectionNumber = 0;
        std::map<uint8_t, size_t> transportsBySection;
    };
    std::map<uint16_t, Seen> m_Seen;
};
