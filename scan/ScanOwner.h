#pragma once

#include <optional>
#include <string>

#include "acquisition/TableSections.h"

class ScanRowWriter;

// One service the scan found, as the scan lists describe it, in the cell
// texts of the program list (symbol rate in symbols/s). An empty name: the
// service has none, not even through its reference service.
struct ScannedService {
    std::string name;
    std::string frequency;
    std::string programId;
    std::string videoPid;
    std::string audioPid;
    std::string pmtPid;
    std::string textPid;
    std::string subtitlePid;
    std::string transportStreamId;
    std::string networkId;
    std::string modulation;
    std::string symbolRate;
    std::string serviceType;
    // The operator's number for the service ("LCN"); empty: the network gives none.
    std::string channelNumber;
    // The CA systems the SDT names, as the scan window's "CA-ID's" shows them.
    std::string caSystemIds;
    // The audio PID's stream type as ProgramBeside keeps it (0: no audio).
    uint32_t audioStreamType = 0;
};

// What the scan window needs from the window that opens it: the request set
// of table filters with their polls, the tuner, and the program list that
// takes what the scan found. The program list window is the one owner in the
// program; the scan knows nothing else of it.
class ScanOwner {
public:
    virtual ~ScanOwner() = default;
    virtual void SetResultWindowForAll(ScanRowWriter* window) = 0;
    // The NIT actual; with `networkId` not 0, that network's NIT, actual or other.
    virtual void RequestNit(int networkId) = 0;
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
    // Whether the tuner locked on the frequency tuned last; nothing where it
    // cannot tell.
    virtual std::optional<bool> TunerLocked() { return std::nullopt; }
    // Whether the tuner has given up locking on the frequency tuned last, so
    // that nothing asked for there will come; false where it cannot tell.
    virtual bool TunerGaveUp() { return false; }
    // Ends every table request still waiting, as its time-out would.
    virtual void EndRequests() {}
    // The merge: the rows of the program list that describe the service (its
    // network id and program id) take its fields, the name only when
    // `updateNames` is set; without such a row it becomes a new one.
    virtual void MergeService(const ScannedService& service, int updateNames) = 0;
};
