// What a scan did to the program list, in the words both the window and
// kelvane-cli use: "Scan: 7 added, 1 updated, 58 actual, 1 missing; every
// transport locked", or the transports that sent no SDT, by what the tuner
// said; then how many programs of the network it could not check, and why.
#pragma once

#include <string>
#include <vector>

#include "framework/ListView.h"
#include "programs/MissingPrograms.h"
#include "scan/ScanChannelsDialog.h"

namespace programs {

// A scan that ran to its end: the rows it marked, its silent transports, what
// its sweep found (ScanChannelsDialog::SweepSummary; empty: no sweep) and the
// programs it could not check.
std::string ScanSummary(fw::ListView& programs, const std::vector<ScanChannelsDialog::SilentTransport>& silent,
                        const NotChecked& notChecked = {}, const std::string& sweep = {});
// A scan closed before its end: what it merged stays in the list.
std::string StoppedScanSummary(fw::ListView& programs);

}  // namespace programs
