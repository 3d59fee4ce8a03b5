#pragma once

#include "scan/ScanOwner.h"

namespace fw {
class ListView;
}

// A scanned service into the program list: every row with its "NW-ID" and
// "Prog-ID" takes its fields (the name only with `updateNames`) and reads
// "updated" when a cell changed, "actual" when none did; without such a row,
// a new last row takes them all and reads "added". The fields a scan does
// not learn get the values a scan writes: "Standard" 8, "Extra-Info" 32,
// zero elsewhere. Each row it stores is selected and scrolled to.
void MergeScannedService(fw::ListView& programs, const ScannedService& service, int updateNames);
