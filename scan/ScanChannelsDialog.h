#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "framework/Dialog.h"
#include "si/ScanRowWriter.h"

#include "scan/ScanCoverage.h"
#include "scan/NetworksOnAir.h"
#include "scan/ScanOwner.h"

// The "Scan Channels" window: a status log and four result lists that the
// table decoders fill while the timer-driven scan walks the network. The lists
// are the scan's only working memory: the sequence and the merge read their
// cells and item data back.
class ScanChannelsDialog : public fw::Dialog, public ScanRowWriter {
public:
    enum ScanState {
        StateRequestNit = 1,
        StateWaitNit = 2,
        StateNextTransport = 3,
        StateWaitSdt = 4,
        StateRequestPat = 5,
        StateWaitPat = 6,
        StateNextService = 7,
        StateWaitPmt = 8,
        // With "Sweep": after the NIT's transports, the raster's other frequencies.
        StateSweepTune = 9,
        StateSweepWaitSdt = 10,
        // Done before every network could have sent its NIT once: the rest
        // of that time on the last transport.
        StateListenNetworks = 11,
    };
    static constexpr unsigned kScanTimerId = 1025;
    static constexpr unsigned kScanTimerPeriodMs = 500;  // unless "TickMs" in "ScanNetwork" says otherwise
    static constexpr int kMinTickMs = 20, kMaxTickMs = 10000;
    static constexpr int kRetries = 3;
    // With "ChainSteps": the most steps one tick runs.
    static constexpr int kMaxChainedSteps = 8;

    ScanChannelsDialog(fw::Host& host, ScanOwner* owner, int updateNames);

    bool OnInitDialog() override;
    void DestroyWindow() override;
    // Enter neither closes the window nor stops the scan.
    void OnOK() override {}
    void OnSize(int cx, int cy) override;
    void OnTimer(unsigned id) override;

    // Row writers.
    void AddTransport(uint32_t transportStreamId, uint32_t originalNetworkId, uint32_t frequency, uint32_t symbolRate,
                      uint32_t modulation, uint32_t fecInner) override;
    void SetTransportSdtVersion(uint32_t transportStreamId, uint32_t originalNetworkId,
                                uint32_t versionNumber) override;
    void AddServiceDetails(uint32_t transportStreamId, uint32_t originalNetworkId, uint32_t serviceId,
                           uint32_t serviceType, const std::string& serviceName, const std::string& providerName,
                           const std::vector<uint16_t>& caSystemIds, uint32_t nvodReferenceServiceId) override;
    void SetServiceNvodReference(uint32_t transportStreamId, uint32_t originalNetworkId, uint32_t serviceId,
                                 uint32_t referenceServiceId) override;
    void AddPatEntry(int transportStreamId, int programNumber, int pid) override;
    void AddPmtStream(int programNumber, int pcrPid, int elementaryPid, unsigned char streamType,
                      unsigned char componentTag, si::StreamKind kind) override;
    void SetPmtStreamAudioDescriptor(int programNumber, int elementaryPid, unsigned char descriptorTag) override;
    void SetServiceChannelNumber(uint32_t originalNetworkId, uint32_t transportStreamId, uint32_t serviceId,
                                 uint32_t channelNumber) override;

    // Lookups.
    int AddService(uint32_t transportStreamId, uint32_t originalNetworkId, uint32_t serviceId);
    int AddServiceWithType(uint32_t transportStreamId, uint32_t originalNetworkId, uint32_t serviceId,
                           uint32_t serviceType);
    int FindService(uint32_t transportStreamId, uint32_t programNumber);
    std::string GetServiceName(uint32_t transportStreamId, uint32_t programNumber);
    void AddStatusLine(const std::string& text);

    // The scan sequence.
    void StartScan();
    void TuneTransportForSdt(int transportRow);
    void TuneServiceTransportForPat();
    int RequestServicePmt(int serviceRow);

    // The merge into the program list: the current service, with its first
    // video, audio, teletext and subtitle stream, goes to the owner.
    struct StreamPids {
        uint16_t video = 0, audio = 0, text = 0, subtitle = 0;
        uint32_t audioType = 0;  // as ProgramBeside keeps it
    };
    StreamPids FindStreamPids();
    ScannedService DescribeCurrentService(const StreamPids& pids);
    void MergeService();
    // Points the merge at a service, its transport and its PAT row, as the
    // sequence does before it merges.
    void SetCurrentRows(int serviceRow, int transportRow, int patRow) {
        m_CurrentServiceRow = serviceRow;
        m_CurrentTransportRow = transportRow;
        m_CurrentPatRow = patRow;
    }

    void LayoutLists(int cx, int cy);

    // How far the scan has got (ScanProgress.cpp): its phase, how many of how
    // many, and the frequency tuned; shown below the lists at every tick.
    struct Progress {
        enum Phase { Network, Transports, Services, Done, Sweep, Listen };
        Phase phase = Network;
        int done = 0;            // Network: the NIT request made (1 to 3)
        int total = 0;
        unsigned long frequency = 0;  // 10 Hz units; 0 when none is tuned
    };
    Progress ScanProgress();
    static std::string ProgressText(const Progress& progress);
    void ShowProgress();
    // Each transport that sent no SDT: "Freq" (MHz) and "TS", and whether
    // the tuner had locked on it when its requests ended (nothing where the
    // tuner cannot tell).
    struct SilentTransport {
        std::string transport;
        std::optional<bool> locked;
        bool operator==(const SilentTransport&) const = default;
    };
    std::vector<SilentTransport> SilentTransports();
    // After the scan's end: which transports it read whole, and what it
    // found on them.
    ScanCoverage Coverage();
    // What the sweep found: "2 transports found by the sweep, not in the
    // NIT: 370.0 MHz, 378.0 MHz"; empty when the scan did not sweep.
    std::string SweepSummary() const;
    // The frequencies (kHz) where the sweep found a transport the NIT does not list.
    const std::vector<unsigned long>& SweepFound() const { return m_SweepFound; }

    // The networks whose NIT the scan saw on the home transport
    // (ScanChannelsDialogNetworks.cpp), and the line that names them when
    // there is more than one; empty otherwise.
    void SeeNetwork(uint16_t networkId, bool actual, const std::string& name, uint8_t sectionNumber,
                    uint8_t lastSectionNumber, size_t transports) override;
    const NetworksOnAir& Networks() const { return m_Networks; }
    std::string NetworksLine();
    // No scan: the window listens to the home transport's NITs for as long
    // as a network may leave between two of its NIT's sections, then ends.
    static constexpr int64_t kNetworkListenMs = 11000;
    void ListNetworksOnly() { m_NetworksOnly = true; }

    // One transport on demand (ScanChannelsDialogTransport.cpp): set before
    // the window runs, the scan reads only that transport's SDT, PAT and
    // PMTs; no NIT is asked for.
    using OneTransport = TransportOnDemand;
    void ScanOneTransport(const OneTransport& transport) { m_OneTransport = transport; }
    static constexpr unsigned long kMinFrequencyKHz = 40000, kMaxFrequencyKHz = 1100000;
    static constexpr unsigned long kMinSymbolRate = 870, kMaxSymbolRate = 7200;
    // "KHZ [KSYM] [64|128|256|auto]", as the window asks and kelvane-cli's
    // options give it; nothing when a word is out of range or unknown.
    static std::optional<OneTransport> ReadOneTransport(const std::string& text);
    // What ReadOneTransport reads back: the symbol rate where known, the
    // modulation where both are.
    static std::string OneTransportText(const OneTransport& transport);
    // 64, 128 or 256 for a cable delivery modulation code; 0 for none.
    static unsigned QamOrder(unsigned modulation);

    fw::ListView& StreamList() { return List(kStreamListId); }
    fw::ListView& PatList() { return List(kPatListId); }
    fw::ListView& LogList() { return List(kLogListId); }
    fw::ListView& ServiceList() { return List(kServiceListId); }
    fw::ListView& TransportList() { return List(kTransportListId); }

    int ScanStateValue() const { return m_ScanState; }
    unsigned TimerId() const { return m_TimerId; }
    int RetryCounter() const { return m_RetryCounter; }
    // A NIT came whole but named no transport (a malformed loop, or a
    // network without cable delivery): not the same as no NIT at all.
    bool NitWithoutTransports() const { return m_NitWithoutTransports; }

    // Columns of the lists, by index.
    enum PatColumn { PatPmtPid = 0, PatProg = 1, PatName = 2 };
    enum StreamColumn { StreamPid = 0, StreamType = 1, StreamTag = 2, StreamDescription = 3 };
    enum TransportColumn { TsId = 0, TsNw = 1, TsFreq = 2, TsRate = 3, TsQam = 4, TsFec = 5, TsSdt = 6 };
    enum ServiceColumn {
        SvcProg = 0, SvcTs = 1, SvcNw = 2, SvcService = 3, SvcProvider = 4, SvcType = 5, SvcCaIds = 6, SvcNvod = 7,
        SvcLcn = 8
    };

    static std::string StreamKindSuffix(si::StreamKind kind);
    // What a stream list row's "Type" cell says the stream carries: its
    // number for video and audio types, its suffix for PES private data.
    // Other when the cell holds no number.
    static si::StreamKind StreamKindOfCell(const std::string& typeCell);
    static std::string StreamTypeDescription(unsigned streamType);

private:
    static constexpr int kPatListId = 1001;
    static constexpr int kStreamListId = 1002;
    static constexpr int kTransportListId = 1004;
    static constexpr int kServiceListId = 1060;
    static constexpr int kLogListId = 1114;

    void MakeColumns();
    void SelectRow(fw::ListView& list, int row);
    // Selects the transport row and tunes to its "Freq"; false when the cell
    // holds no number (nothing is tuned then).
    bool TuneTransport(int transportRow);
    // The transport list row of a service's "TS" and "NW" cells, or -1.
    int FindServiceTransportRow(int serviceRow);
    // A line in the log when a table request ended with part of its table.
    void LogIncompleteTable(const char* table, const TableProgress& progress);
    // Steps the current service row past the run of services of the
    // transport tuned last.
    void SkipTransportServices();
    void EndScan();
    // With "SkipUnlocked", a request on the transport tuned last ends, as by
    // its time-out, once the tuner has given up locking there.
    bool RequestEndedByNoLock();

    // One handler per scan state; RunStep only picks the handler.
    void RunStep();
    static bool IsWaitState(int state) {
        return state == StateWaitNit || state == StateWaitSdt || state == StateWaitPat || state == StateWaitPmt ||
               state == StateSweepWaitSdt || state == StateListenNetworks;
    }
    void OnRequestNit();
    void OnWaitNit();
    void OnNextTransport();
    void OnWaitSdt();
    void OnRequestPat();
    void OnWaitPat();
    void OnNextService();
    void OnWaitPmt();
    // The sweep (ScanChannelsDialogSweep.cpp).
    void BeginServices();
    void BeginSweep();
    void OnSweepTune();
    void OnSweepWaitSdt();
    void NextSweepFrequency();
    // At the end of the NIT wait: names the networks seen, lets the owner
    // choose one; true when the step is done with (another NIT asked for,
    // or the listening of ListNetworksOnly over).
    bool NetworksAtNitEnd();
    void EndScanOrListen();
    void OnListenNetworks();
    // Another network heard, or the last transport listened to as long as
    // a NIT may take.
    bool HeardOtherNetworksOrListened();
    void StartOneTransport();
    // The transport of a scan of one transport takes the ids its SDT gives.
    void AdoptOneTransport(uint32_t transportStreamId, uint32_t originalNetworkId);

    ScanOwner* m_Owner;
    int m_UpdateNames;
    int m_LayoutReady = 0;
    // Client height below the lists, kept as the template has it.
    int m_ProgressStrip = 0;

    int m_ScanState = 0;
    unsigned m_TimerId = 0;
    int m_RetryCounter = 0;
    bool m_NitWithoutTransports = false;
    bool m_SkipUnlocked = false;
    bool m_ChainSteps = false;
    // A tuning or a request was made in the step just run.
    bool m_Requested = false;
    int m_CurrentTransportRow = 0;
    // Per transport (its row's item data) that sent no SDT: the tuner's
    // lock when its last request ended.
    std::map<uint32_t, std::optional<bool>> m_SilentLock;
    // Per transport (its row's item data: a transport the sweep finds moves
    // the rows), how its last SDT and PAT requests ended, for Coverage.
    struct TransportRead {
        std::optional<bool> sdtLock, patLock;
        bool sdtWhole = false, patWhole = false;
        std::set<uint16_t> pat;
    };
    std::map<uint32_t, TransportRead> m_Reads;
    bool m_NitWhole = false;
    int m_CurrentServiceRow = 0;
    int m_CurrentPatRow = -1;
    int m_LastTransportId = -1;
    // The network id of the transport tuned last in the service phase: two
    // transports may share a transport stream id under different networks.
    int m_LastNetworkId = -1;
    // The transport stream id of the transport tuned last; -1 before the
    // first tuning. A PAT or SDT of another transport (the one tuned before,
    // still in the tuner's buffers) is not taken for it.
    int m_TunedTransportId = -1;
    bool FromTunedTransport(uint32_t transportStreamId) const {
        return m_TunedTransportId < 0 || (transportStreamId & 0xFFFF) == static_cast<uint32_t>(m_TunedTransportId);
    }
    // The service whose PMT was asked for last: other programs' PMTs that
    // share its PID fill no stream rows. -1 takes every program.
    int m_RequestedProgram = -1;
    // The operator's channel numbers from the NIT, by (original network id,
    // transport stream id, service id): they arrive before the services' rows.
    std::map<std::tuple<uint16_t, uint16_t, uint16_t>, uint32_t> m_ChannelNumbers;
    // The sweep: whether "Sweep" asks for it, the frequencies (kHz) still to
    // try, where it stands, what it found, and whether the card could not.
    bool m_Sweep = false, m_Swept = false, m_CannotSweep = false;
    std::vector<unsigned long> m_SweepFrequencies, m_SweepFound;
    size_t m_SweepAt = 0;
    int64_t m_SweepTunedAtMs = 0;
    int m_SweepServicesBefore = 0;
    // The version of the SDT that came last, for a transport the NIT did not list.
    int m_LastSdtVersion = -1;
    NetworksOnAir m_Networks;
    bool m_NetworksOnly = false;
    bool m_NetworkChosen = false;
    bool m_ListeningForNetworks = false;
    int64_t m_LastTunedAtMs = 0;
    int64_t m_NetworksSinceMs = -1;
    std::optional<OneTransport> m_OneTransport;
    // Of the requested program's PES private data that carries sound, the
    // descriptor that says what it is, by PID; cleared with the stream list.
    std::map<uint16_t, uint8_t> m_AudioDescriptors;
};
