#pragma once

#include "acquisition/TableSections.h"

class ScanRowWriter;

namespace fw {
class ListView;
}

// What the scan window needs from the window that opens it: the request set
// of table filters with their polls, the tuner, and the program list that the
// merge writes into. The program list window is the one owner in the program.
class ScanOwner {
public:
    virtual ~ScanOwner() = default;
    virtual void SetResultWindowForAll(ScanRowWriter* window) = 0;
    virtual void RequestNit() = 0;
    virtual void RequestPat() = 0;
    // The PMT of the service `programNumber` on `pid`.
    virtual void RequestPmt(int pid, int programNumber) = 0;
    virtual void RequestSdt() = 0;
    virtual int IsNitDone() = 0;
    virtual int IsPatDone() = 0;
    virtual int IsPmtDone() = 0;
    virtual int IsSdtDone() = 0;
    // What the last NIT or SDT request took of its table, read once it is done.
    virtual TableProgress NitProgress() = 0;
    virtual TableProgress SdtProgress() = 0;
    virtual int Tune(unsigned long frequency) = 0;
    virtual fw::ListView& ProgramList() = 0;
};
