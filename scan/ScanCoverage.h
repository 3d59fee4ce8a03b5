#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

// What a finished scan can say of the network it read: for each transport its
// NIT listed, whether the scan read it whole (it locked, its SDT actual and
// its PAT came whole) and the services it found there. A program on a
// transport read whole whose service is not among them, or on one the whole
// NIT no longer lists, has gone from the network; of any other program of the
// network the scan cannot tell.
struct ScanCoverage {
    struct Transport {
        uint16_t transportStreamId = 0;
        uint16_t originalNetworkId = 0;
        // Empty when the transport was read whole; else why not, as the
        // summary says it: "no lock on 450.0 MHz".
        std::string unread;
        // In its SDT actual or in its PAT.
        std::set<uint16_t> services;
    };
    std::vector<Transport> transports;
    // Every section of the NIT came: a transport it does not list is gone.
    bool nitWhole = false;
};
