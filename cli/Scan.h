#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "scan/ScanOwner.h"

namespace fw {
class HeadlessHost;
}

namespace cli {

class Board;

// The program list window's Search, without a screen: the window is built on
// a headless host that keeps real time, loads the board database, runs the
// scan window with the card configured from card.ini, and saves the merged
// list (with `dryRun`, prints it instead). Status lines go to `status` as the
// scan writes them, the card's own (the tuner, the search for the network)
// among them. `guiSettings` is the GUI's settings file: the scan reads
// "Update Program Names" from a copy of it, so the GUI's own stays untouched.
// Returns false with `error` set when the board database fails.
// A scan on the command line ends by itself: on a device error, or when no
// network has answered within the NIT limit. Then `error` is the one line to
// show, `failure` says ScanFailure::Card, and nothing is saved.
struct ScanLimits {
    int64_t nitTimeoutMs = 60000;  // 0: no limit
    int tickMs = 100;              // the scan's pace ("TickMs")
    // A transport the tuner gave up on ends its request at once ("SkipUnlocked").
    bool skipUnlocked = true;
    // >= 0: the network whose NIT the scan takes ("NetworkId").
    int networkId = -1;
    // The status stream is a terminal: the progress is one line, rewritten.
    bool progressOnOneLine = false;
    // While this answers true (the card is looking for the network), the
    // limit waits: that search ends by itself once it has tried everywhere.
    std::function<bool()> cardSearching;
    bool waitForSearch = true;  // RunScan: false when the limit was given
    // Only this transport, without a NIT (scan --frequency).
    std::optional<TransportOnDemand> oneTransport;
};
enum class ScanFailure { None, Board, Card };

bool RunScan(Board& board, const std::string& guiSettings, bool dryRun, const ScanLimits& limits, std::ostream& out,
             std::ostream& status, std::string& error, ScanFailure& failure);

// The part of RunScan after the host and the card are made, on a host that
// has its settings and an attached card, with the board installed. The
// clock is the host's: tests run it on a virtual one.
bool ScanInWindow(fw::HeadlessHost& host, bool dryRun, std::ostream& out, std::ostream& status, std::string& error,
                  const ScanLimits& limits = {}, ScanFailure* failure = nullptr);

}  // namespace cli
