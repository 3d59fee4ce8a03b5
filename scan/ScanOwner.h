#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/TableSections.h"
#include "scan/NetworksOnAir.h"

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

// One transport asked for by the user: the frequency, the symbol rate in
// 1000 symbols/s and the modulation as the cable delivery descriptor codes it
// (0: not known). A symbol rate not given is 6900 in the rows, and the tuner
// tries its own.
struct TransportOnDemand {
    unsigned long frequencyKHz = 0;
    unsigned long symbolRate = 6900;
    unsigned modulation = 0;
    bool symbolRateGiven = false;
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
    // Nothing where the owner cannot tell: a PAT that came is taken as whole.
    virtual TableProgress PatProgress() { return {}; }
    virtual int Tune(unsigned long frequency) = 0;
    // Whether the tuner locked on the frequency tuned last; nothing where it
    // cannot tell.
    virtual std::optional<bool> TunerLocked() { return std::nullopt; }
    // Whether the tuner has given up locking on the frequency tuned last, so
    // that nothing asked for there will come; false where it cannot tell.
    virtual bool TunerGaveUp() { return false; }
    // Ends every table request still waiting, as its time-out would.
    virtual void EndRequests() {}
    // While the scan reads its transports, the other networks' NITs there
    // are heard (SeeNetwork) until `listen` is false. False: the owner
    // cannot listen beside its requests.
    virtual bool ListenForNetworks(bool listen) {
        (void)listen;
        return false;
    }
    // A step of the sweep: tunes to a frequency (kHz) that no table names;
    // the tuner tries symbol rates there and gives up soon without a
    // carrier (TunerGaveUp). False: the card cannot sweep.
    virtual bool Probe(unsigned long frequency) {
        (void)frequency;
        return false;
    }
    // How the user says a frequency (kHz) is tuned, before the scan tunes
    // it: symbol rate in symbols/s and the EN 300 468 modulation code, each
    // 0 where not known (the tuner's own guesses).
    virtual void ExpectDelivery(unsigned long frequency, unsigned long symbolRate, int modulation) {
        (void)frequency, (void)symbolRate, (void)modulation;
    }
    // What the tuner locked with, for a transport no NIT describes: symbol
    // rate in symbols/s and the EN 300 468 modulation code; nothing where it
    // cannot tell.
    struct Reception {
        unsigned long symbolRate = 0;
        int modulation = 0;
    };
    virtual std::optional<Reception> TunerReception() { return std::nullopt; }
    // The merge: the rows of the program list that describe the service (its
    // network id and program id) take its fields, the name only when
    // `updateNames` is set; without such a row it becomes a new one.
    virtual void MergeService(const ScannedService& service, int updateNames) = 0;
    // More than one network's NIT on the home transport and no NetworkId
    // set: the network to scan instead of `scanning` (the NIT actual's); 0
    // keeps it.
    // How long a scan without NetworkId stays on the home transport to hear
    // every network's NIT there (0: it goes on as soon as its NIT is whole).
    virtual int64_t NetworkListenMs() { return 0; }
    virtual uint16_t ChooseNetwork(const std::vector<NetworkOnAir>& networks, uint16_t scanning) {
        (void)networks, (void)scanning;
        return 0;
    }
};
