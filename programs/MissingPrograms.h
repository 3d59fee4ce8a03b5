// After a scan: the rows of the networks it read that it did not find.
#pragma once

#include <string>
#include <vector>

#include "scan/ScanCoverage.h"

namespace fw {
class ListView;
}

namespace programs {

// The rows of a scanned network the scan could not check, and why.
struct NotChecked {
    int programs = 0;
    std::vector<std::string> reasons;  // "no lock on 450.0 MHz", each once
};

// Every row the scan left unmarked whose "NW-ID" is a network it read gets
// "missing" where the scan can know: its transport was read whole and the
// service ("Prog-ID") is in neither its SDT nor its PAT, or the whole NIT no
// longer lists its transport ("TS-ID"). The others of those networks are
// counted, with the reason.
NotChecked MarkMissing(fw::ListView& programs, const ScanCoverage& coverage);
// "3 programs not checked: no lock on 450.0 MHz"; empty when none.
std::string NotCheckedText(const NotChecked& notChecked);

}  // namespace programs
