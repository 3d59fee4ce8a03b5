// A real tuner through the Linux DVB API: the frontend tunes DVB-C with the
// DVBv5 properties, the demux device filters the sections. Every system call
// goes through a DvbSystem, so tests put an emulated kernel behind it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cardlib/Backend.h"
#include "cardlib/CablePresets.h"
#include "linuxdvb/LinuxDvbNit.h"
#include "linuxdvb/LinuxDvbSystem.h"
#include "framework/Host.h"
#include "framework/Worker.h"

struct dvb_frontend_info;

namespace cardlib {

struct DvbSettings {
    unsigned adapter = 0, frontend = 0, demux = 0;
    // No Adapter in card.ini: the first adapter whose frontend offers DVB-C.
    bool findAdapter = false;
    // Symbols/s where the NIT does not say, tried in order; none: the
    // operators' rates (broadcast::ExtendedSymbolRates, 6900 and 6875 ksym/s first).
    std::vector<uint32_t> symbolRates;
    unsigned modulation = 0;        // QAM order (16 to 256), where the NIT does not say; 0: auto
    unsigned long homeFrequencyKHz = 0;  // 0: wherever the frontend stands
    // Where the network is looked for when no NIT comes home: these first
    // (an operator's preset, named `presetName`), then the cable raster.
    std::vector<CableChannel> preset;
    std::string presetName;
    bool search = true;
    // Told where the network was found by looking for it, to keep it;
    // returns a line for the log (where it was kept, or why it was not).
    std::function<std::string(unsigned long kHz)> homeFound;
};

class LinuxDvbBackend final : public Backend {
public:
    // How often the lock is read after tuning, how long one guess of symbol
    // rate and constellation is given (a slow demodulator, drxk or
    // tda10023, takes up to 2 s), and when the frontend is left to itself.
    static constexpr int64_t kLockPollMs = 100;
    static constexpr int64_t kFallbackMs = 2500;
    static constexpr int64_t kLockGiveUpMs = 10000;
    // The kernel's buffer per filter: a burst of the longest sections.
    static constexpr unsigned long kDemuxBufferBytes = 256 * 1024;
    static constexpr unsigned kAdaptersProbed = 16;
    // Looking for the network: a frequency without a carrier by then holds
    // nothing; a network sends its NIT at least every 10 s.
    static constexpr int64_t kNoSignalMs = 1000;
    // A sweep's step: a demodulator reports a carrier well within this, so
    // a frequency without one is left then.
    static constexpr int64_t kProbeNoSignalMs = 300;
    static constexpr int64_t kNitWaitMs = 12000;

    LinuxDvbBackend(DvbSettings settings, std::shared_ptr<DvbSystem> system);
    ~LinuxDvbBackend() override;
    LinuxDvbBackend(const LinuxDvbBackend&) = delete;
    LinuxDvbBackend& operator=(const LinuxDvbBackend&) = delete;

    // What stood in the way when the frontend was opened; empty when nothing did.
    const std::string& Problem() const { return m_Problem; }
    // Whether that was the device itself (missing, not permitted, busy, not
    // DVB-C), so nothing can be received at all.
    bool DeviceFault() const { return !FrontendWasThere() && !m_Problem.empty(); }

    unsigned long HomeFrequency() const override { return m_Home; }
    void Tune(unsigned long frequencyKHz, int64_t nowMs) override;
    void Start(fw::Host& host, PacketSink& sink) override;
    void Stop() override;
    void FiltersChanged() override;

    // Whether the backend is walking the presets and the raster now.
    bool Searching() const override { return m_Search == Search::Walking; }
    std::optional<bool> Locked(int64_t) const override { return m_Frontend >= 0 && LockSeen(); }
    // The lock was awaited and did not come.
    bool LockGivenUp(int64_t) const override { return m_Frontend >= 0 && m_Tuner == TunerState::NoLock; }
    // A sweep's step: the network's own symbol rates and constellations
    // first, then card.ini's and the operators' others; without a carrier
    // the frequency is given up on after kProbeNoSignalMs.
    bool Probe(unsigned long frequencyKHz, int64_t nowMs) override;
    std::optional<Reception> LockedWith(int64_t nowMs) const override;
    // Kept as a NIT's word on the frequency; what is not given stays as the
    // NIT or card.ini has it.
    void ExpectDelivery(unsigned long frequencyKHz, uint32_t symbolRate, uint8_t modulation) override;

    // Sections the kernel reported lost (buffer overruns), for tests.
    unsigned Overflows() const { return m_Overflows; }

private:
    struct DemuxFilter {
        PacketSink::Filter spec;
        int fd = -1;
        fw::TaskId watch = 0;
    };

    // The tuner, one state at a time. Every change goes through Become,
    // which starts what the new state needs:
    //   Pending    --start-------------------------------> Sending | Idle
    //   Sending    --the frontend took the tuning--------> Tuning | Confirming | Idle
    //   Tuning     --FE_HAS_LOCK read--------------------> Locked
    //   Tuning     --every guess given its time----------> NoLock
    //   Confirming --FE_HAS_LOCK read again--------------> Locked
    //   any        --the card tunes (started)------------> Sending | Idle
    //   any        --the card tunes (stopped)------------> Pending (Lost stays Lost)
    //   any        --ENODEV------------------------------> Lost
    //   Lost       --the frontend opens again------------> Idle
    enum class TunerState {
        Idle,        // nothing tuned, or the tuning could not be sent
        Pending,     // a tuning waits for the backend to start
        Sending,     // a tuning is with the frontend's worker, its answer still to come
        Tuning,      // DTV_TUNE sent: neither a lock read nor given up on
        Confirming,  // already locked on this very transport: the lock is read once more
        Locked,      // FE_HAS_LOCK read since the tuning; the filters run
        NoLock,      // no lock in time: the filters run on whatever comes
        Lost,        // the device went away; one message said so
    };
    // Looking for the network: at the home frequency until a NIT actual
    // comes, walking the presets and the raster, or found.
    enum class Search { AtHome, Walking, Found };

    void Become(TunerState next);
    bool AwaitingLock() const {
        return m_Tuner == TunerState::Sending || m_Tuner == TunerState::Tuning || m_Tuner == TunerState::Confirming;
    }
    bool LockSeen() const { return m_Tuner == TunerState::Confirming || m_Tuner == TunerState::Locked; }
    // A frontend that never opened has not gone: it was never there.
    bool FrontendWasThere() const { return m_Frontend >= 0 || m_Tuner == TunerState::Lost; }

    // What opening the frontend found (LinuxDvbBackend.cpp); it may be
    // made on the worker, and closes a descriptor nobody took.
    struct FrontendProbe;
    static std::shared_ptr<FrontendProbe> OpenAndProbe(const std::shared_ptr<DvbSystem>& system, const std::string& path);
    bool Adopt(FrontendProbe& probe);
    bool OpenFrontend();
    // Opens it on the worker, then tunes.
    void ReopenThenTune();
    void FindCableAdapter();
    static bool OffersCable(DvbSystem& system, int fd, const dvb_frontend_info& info, std::string& offers);
    void CloseFrontend();
    void TuneTo(unsigned long frequencyKHz, bool probing);
    // The guesses of symbol rate and constellation for a sweep's step.
    void ProbeAttempts(uint32_t settingsModulation);
    // What the user typed for the wanted frequency goes before the guesses.
    void PutTypedFirst(const std::vector<uint32_t>& modulations);
    // Every call of the frontend runs on the worker (a driver holds them
    // while it tunes); `then` runs on the host's loop, unless the frontend
    // was closed or tuned anew meanwhile. Without a worker yet, in place.
    void OnFrontend(std::function<void(DvbSystem&, int fd)> call, std::function<void()> then);
    void RunOnWorker(std::function<void()> work, std::function<void()> done);
    // Sends the tuning asked for now, or with the start.
    void TuneWanted();
    void TuneNow();
    void TuneFrom(bool standing);
    void SendTuning(uint32_t modulation);
    void TuningSent(int result);
    void NextAttempt();
    // Whether the frontend is locked on `kHz` with these parameters already
    // (modulation QAM_AUTO: any constellation).
    static bool StandsOn(DvbSystem& system, int fd, const DvbDelivery& d, unsigned long kHz);
    void StartFilters();
    void PollLock(int64_t delayMs);
    void CheckLock();
    void LockRead(int result, uint32_t status);
    void ReportSignal();
    void OpenFilter(const PacketSink::Filter& spec);
    void CloseFilter(DemuxFilter& filter);
    void CloseAllFilters();
    void OnReadable(unsigned short handle);
    void DeviceLost(const std::string& path, int error);
    void Report(const std::string& text);
    void CancelLockPoll();
    // The frontend's events tell a lock as it comes, between the reads.
    void WatchFrontend();
    void UnwatchFrontend();
    void OnFrontendEvents();
    // Looking for the network (LinuxDvbBackendSearch.cpp).
    void BeginWalk();
    void TryCandidate();
    void NoNetworkHere(bool noSignal);
    void NetworkFound();
    void ArmNitWait();
    void CancelNitWait();
    bool LookingForNetwork() const { return m_Settings.search && m_Search != Search::Found; }
    void StatusLine(const std::string& text);

    DvbSettings m_Settings;
    std::shared_ptr<DvbSystem> m_System;
    std::string m_FrontendPath, m_DemuxPath;
    std::string m_Chosen;  // the adapter found, for the first status line
    int m_Frontend = -1;
    // The frontend's calls run here, one after another; made with the host.
    std::unique_ptr<fw::Worker> m_Worker;
    fw::Host* m_WorkerHost = nullptr;
    // Counts the tunings and closes: an answer for an older one is old news.
    uint64_t m_FrontendSerial = 0;
    bool m_EventsInFlight = false;  // unwatched until the read returns
    bool m_Reopening = false;       // a reopening is with the worker
    bool m_CanQamAuto = false;
    unsigned long m_Home = 0;
    unsigned long m_Wanted = 0;  // kHz the card asked for
    bool m_Probing = false;      // ... as a step of a sweep
    TunerState m_Tuner = TunerState::Pending;
    std::map<unsigned long, DvbDelivery> m_Deliveries;  // kHz -> what the NIT said
    std::map<unsigned long, DvbDelivery> m_Expected;    // kHz -> what the user typed, tried first
    DvbDelivery m_Tuning;                               // what was last sent
    struct Attempt {
        uint32_t symbolRate, modulation;
    };
    std::vector<Attempt> m_Attempts;  // guesses still to try for this tuning
    int64_t m_TuneBeganMs = 0;        // the first guess went out
    int64_t m_TunedAtMs = 0;
    fw::Host* m_Host = nullptr;
    PacketSink* m_Sink = nullptr;
    // What is posted or watched on the host now.
    std::optional<fw::TaskId> m_LockPoll, m_FrontendWatch, m_NitWait;
    std::vector<DemuxFilter> m_Filters;
    unsigned m_Overflows = 0;
    std::string m_Problem;
    std::set<std::string> m_Reported;
    Search m_Search = Search::AtHome;
    std::vector<CableChannel> m_Walk;  // the preset, then the raster
    size_t m_WalkAt = 0;
    CableChannel m_Candidate;
    int64_t m_NitDeadlineMs = 0;  // 0: no NIT awaited
};

}  // namespace cardlib
