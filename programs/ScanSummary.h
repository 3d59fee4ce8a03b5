// What a scan did to the program list, in the words both the window and
// kelvane-cli use: "Scan: 7 added, 1 updated, 58 actual; every transport
// locked", or the transports that sent no SDT, by what the tuner said.
#pragma once

#include <string>
#include <vector>

#include "framework/ListView.h"
#include "scan/ScanChannelsDialog.h"

namespace programs {

// A scan that ran to its end: the rows it marked, its silent transports, and
// what its sweep found (ScanChannelsDialog::SweepSummary; empty: no sweep).
std::string ScanSummary(fw::ListView& programs, const std::vector<ScanChannelsDialog::SilentTransport>& silent,
                        const std::string& sweep = {});
// A scan closed before its end: what it merged stays in the list.
std::string StoppedScanSummary(fw::ListView& programs);

}  // namespace programs
