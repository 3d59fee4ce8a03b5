#pragma once

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
    virtual void RequestPmt(int pid) = 0;
    virtual void RequestSdt() = 0;
    virtual int IsNitDone() = 0;
    virtual int IsPatDone() = 0;
    virtual int IsPmtDone() = 0;
    virtual int IsSdtDone() = 0;
    virtual int Tune(unsigned long frequency) = 0;
    virtual fw::ListView& ProgramList() = 0;
};
