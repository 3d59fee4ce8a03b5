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
class Console;

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
// show, `failure` says ScanFailure::Card, and nothing is saved. Ctrl+C on
// the limits' console ends it too (ScanFailure::Interrupted), unsaved.
// Without `verbose` the status stream gets the progress and the summary only.
struct ScanLimits {
    int64_t nitTimeoutMs = 60000;  // 0: no limit
    int tickMs = 100;              // the scan's pace ("TickMs")
    // A transport the tuner gave up on ends its request at once ("SkipUnlocked").
    bool skipUnlocked = true;
    // >= 0: the network whose NIT the scan takes ("NetworkId").
    int networkId = -1;
    // After the NIT's transports, the raster's other frequencies ("Sweep").
    bool sweep = false;
    // The status stream is a terminal: the progress is one line, rewritten.
    bool progressOnOneLine = false;
    // The scan's log lines (the card's among them) go to the status stream too.
    bool verbose = false;
    // Asked whether the user pressed Ctrl+C; none: nobody can.
    Console* console = nullptr;
    // While this answers true (the card is looking for the network), the
    // limit waits: that search ends by itself once it has tried everywhere.
    std::function<bool()> cardSearching;
    bool waitForSearch = true;  // RunScan: false when the limit was given
    // The programs the scan marks missing go before the list is saved or printed.
    bool removeMissing = false;
    // Only this transport, without a NIT (scan --frequency).
    std::optional<TransportOnDemand> oneTransport;
};
enum class ScanFailure { None, Board, Card, Interrupted };

bool RunScan(Board& board, const std::string& guiSettings, bool dryRun, const ScanLimits& limits, std::ostream& out,
             std::ostream& status, std::string& error, ScanFailure& failure);

// The part of RunScan after the host and the card are made, on a host that
// has its settings and an attached card, with the board installed. The
// clock is the host's: tests run it on a virtual one.
bool ScanInWindow(fw::HeadlessHost& host, bool dryRun, std::ostream& out, std::ostream& status, std::string& error,
                  const ScanLimits& limits = {}, ScanFailure* failure = nullptr);

}  // namespace cli
