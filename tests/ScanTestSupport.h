#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "framework/ListView.h"
#include "framework/Profile.h"
#include "framework/headless/HeadlessHost.h"
#include "programs/ProgramListMerge.h"
#include "scan/ScanChannelsDialog.h"
#include "scan/ScanOwner.h"

namespace scantest {

// One service as a scripted network carries it.
struct Stream {
    int pid;
    int type;
    int tag = 0;
    // What the PMT decoder would say of it; type 6 is teletext unless told.
    si::StreamKind kind = si::StreamKind::Other;
};
struct Service {
    uint32_t id;
    std::string name;
    uint32_t type = 1;
    uint32_t pmtPid;
    std::vector<Stream> streams;
    uint32_t nvodReference = 0;  // time-shifted copy of this service id
    bool inPat = true;
    std::string provider = "Provider";
    std::vector<uint16_t> caIds = {};
};
struct Transport {
    uint32_t tsId;
    uint32_t nwId;
    uint32_t frequency;  // 10 Hz units
    uint32_t symbolRate = 6900;
    uint32_t modulation = 3;
    bool answers = true;  // false: tuning never locks, no table arrives
    std::vector<Service> services;
    bool patAnswers = true;
    // The transport_stream_id its SDT and PAT carry; 0: its own (another:
    // the previous transport's tables, still in the tuner's buffers).
    uint32_t sdtTsId = 0, patTsId = 0;
};

// An owner whose tables come from a scripted network: a request is answered
// 100 ms later through the scan window's row writers, or, for a transport that
// does not answer, ends by the 15-second time-out the request set has.
class ScriptedOwner : public ScanOwner {
public:
    ScriptedOwner(fw::HeadlessHost& host, std::vector<Transport> network);

    void SetResultWindowForAll(ScanRowWriter* window) override { m_Window = window; }
    void RequestNit(int networkId) override;
    void RequestPat() override;
    void RequestPmt(int pid, int programNumber) override;
    void RequestSdt() override;
    int IsNitDone() override { return Done(m_Nit); }
    int IsPatDone() override { return Done(m_Pat); }
    int IsPmtDone() override { return Done(m_Pmt); }
    int IsSdtDone() override { return Done(m_Sdt); }
    TableProgress NitProgress() override { return nitAnswers ? nitProgress : TableProgress{}; }
    TableProgress SdtProgress() override { return sdtProgress; }
    int Tune(unsigned long frequency) override;
    std::optional<bool> TunerLocked() override { return Tuned() != nullptr; }
    void MergeService(const ScannedService& service, int updateNames) override {
        MergeScannedService(m_Programs, service, updateNames);
    }
    fw::ListView& ProgramList() { return m_Programs; }

    // Appends a program list row with the given cells (column 0 first).
    int AddProgramRow(const std::vector<std::string>& cells);
    std::vector<std::string> Row(int row) const;

    bool nitAnswers = true;
    // What each NIT or SDT request takes of its table; a part of it arrives
    // with the rows, and the request then ends by its time-out.
    TableProgress nitProgress{1, 1}, sdtProgress{1, 1};
    std::vector<std::string> requests;       // "NIT", "SDT@34600000", ...
    std::vector<unsigned long> tunes;        // kHz
    std::vector<Transport> network;
    // Runs after the NIT rows were written (lets a test spoil a cell).
    std::function<void(ScanChannelsDialog&)> afterNit;

private:
    struct Request {
        bool pending = false;
        int64_t startSeconds = 0;
        uint64_t generation = 0;
    };
    void Start(Request& request, const std::string& name, std::function<void()> deliver, bool ends = true);
    int Done(Request& request);
    const Transport* Tuned() const;

    fw::HeadlessHost& m_Host;
    ScanRowWriter* m_Window = nullptr;
    fw::ListView m_Programs;
    unsigned long m_TunedKHz = 0;
    Request m_Nit, m_Pat, m_Pmt, m_Sdt;
};

}  // namespace scantest
