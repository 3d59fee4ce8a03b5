// An emulated Linux DVB core behind the system-call seam: one adapter with a
// DVB-C frontend and a demux, fed with the sections of a simulated network.
// It answers as the kernel's dvb_frontend and dmxdev do (property checks,
// lock after a delay, status bits, section filters with value/mask/mode over
// byte 0 and bytes 3 to 17, one section per read, EAGAIN when empty,
// EOVERFLOW once after an overrun), and its descriptors are real ones (event
// descriptors), so a host's poll or socket notifier sees them become ready.
// The tuned transport sends by the simulated network's own schedule.
// Its calls may come from several threads (the frontend's worker and the
// host's loop); one lock keeps them apart.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "simnet/BroadcastSchedule.h"
#include "linuxdvb/LinuxDvbSystem.h"
#include "simnet/SimNetwork.h"
#include "framework/Host.h"

namespace cardlib {

class EmulatedDvb final : public DvbSystem {
public:
    // What the emulated hardware is and how it is set up on the machine.
    struct Setup {
        unsigned adapter = 0, frontend = 0, demux = 0;
        bool present = true;            // false: no /dev/dvb at all
        bool permitted = true;          // false: the nodes are not the user's (EACCES)
        bool frontendBusy = false;      // another program has the frontend open for writing
        std::vector<uint32_t> deliverySystems;  // DTV_ENUM_DELSYS; empty: DVB-C annex A only
        bool canQamAuto = false;        // FE_CAN_QAM_AUTO
        bool reportsStats = true;       // DTV_STAT_SIGNAL_STRENGTH and DTV_STAT_CNR
        // How the driver gives the signal strength: FE_SCALE_DECIBEL,
        // FE_SCALE_RELATIVE, or FE_SCALE_NOT_AVAILABLE for none (len 0).
        uint8_t strengthScale = 1;      // FE_SCALE_DECIBEL
        bool reportsCnr = true;
        // DVBv3 FE_READ_SIGNAL_STRENGTH; false: the driver lacks it (the kernel's ENOTSUPP, 524).
        bool readsStrengthV3 = true;
        // For this long before the lock the status shows FE_HAS_SYNC
        // without FE_HAS_LOCK, as some demodulators do.
        int64_t syncBeforeLockMs = 0;
        // The frontend stands locked on the network's home transport, tuned
        // long before, as the simulated backend's front end does.
        bool standsOnHome = false;
        // DTV_TUNE only wakes the frontend's thread: for this long the old
        // transport's packets still reach the demux and FE_READ_STATUS reads 0.
        int64_t retuneMs = 0;
        // The bridge's buffers still hand over the old transport's packets
        // after that, until the demodulator has locked on the new one (with
        // syncBeforeLockMs, while the status shows FE_HAS_SYNC).
        bool oldUntilLock = false;
        std::string name = "Emulated DVB-C frontend";
        // dmxdev's filternum: demux opens beyond it give EMFILE.
        size_t demuxFilters = 32;
        // A slow driver: after a tuning, every frontend call waits this
        // long in real time (dvb-core's frontend thread holds them while
        // the tuner settles, even on a non-blocking descriptor). 0: none.
        int64_t frontendHoldMs = 0;
    };
    // The parameters of one DTV_TUNE, as the frontend got them.
    struct Tuning {
        uint32_t deliverySystem = 0, frequencyHz = 0, symbolRate = 0, modulation = 0, innerFec = 0, inversion = 0;
    };

    EmulatedDvb(fw::Host& host, SimNetwork network, Setup setup);
    EmulatedDvb(fw::Host& host, SimNetwork network) : EmulatedDvb(host, std::move(network), Setup{}) {}
    ~EmulatedDvb() override;
    EmulatedDvb(const EmulatedDvb&) = delete;
    EmulatedDvb& operator=(const EmulatedDvb&) = delete;

    int Open(const std::string& path, int flags) override;
    int Ioctl(int fd, unsigned long request, void* arg) override;
    long Read(int fd, uint8_t* buffer, size_t size) override;
    int Poll(pollfd* fds, size_t count, int timeoutMs) override;
    int Close(int fd) override;

    // The device leaves (a USB stick pulled out): open descriptors report
    // ENODEV and poll as errors, the nodes are gone.
    void Unplug();
    // The next read of each demux descriptor filtering `pid` fails with `error`
    // (ETIMEDOUT also stops the filter, as a section time-out does).
    void FailNextRead(uint16_t pid, int error);

    // Read it while no other thread calls in.
    const std::vector<Tuning>& Tunings() const { return m_Tunings; }
    // Demux descriptors open now.
    size_t OpenDemuxes() const;
    size_t OpenDescriptors() const;
    // The longest a frontend call waited for a tuning to settle (real ms).
    int64_t LongestHoldMs() const;
    // When the last tuning began to hold the frontend; epoch: none yet.
    std::chrono::steady_clock::time_point HoldBegan() const;

private:
    struct File {
        bool frontend = false;
        bool writer = false;
        // demux
        bool filterSet = false, started = false;
        uint16_t pid = 0;
        uint8_t value[16] = {}, mask[16] = {}, mode[16] = {};
        size_t bufferSize = 8192;  // dmxdev's default
        size_t buffered = 0;
        std::deque<std::vector<uint8_t>> sections;
        size_t readOffset = 0;  // into the front section, after a short read
        int error = 0;          // reported by the next read, which empties the buffer
        bool oneShot = false;   // DMX_ONESHOT: stops after one section
        int64_t timeoutMs = 0;
        int64_t deadlineMs = 0; // the section time-out, until the first section; 0: none
        bool signalled = false;
    };
    bool Matches(const File& file, const std::vector<uint8_t>& section) const;
    void UpdateReadiness(int fd, File& file);
    int FrontendIoctl(File& file, unsigned long request, void* arg);
    int DemuxIoctl(int fd, File& file, unsigned long request, void* arg);
    int SetProperties(void* arg);
    // DTV_TUNE (or FE_SET_FRONTEND) with what the property cache holds.
    int TuneCache();
    int GetProperties(void* arg);
    bool Locked() const;
    bool Retuning() const;
    // The transport tuned before still reaches the demux.
    bool OldArrives() const;
    uint32_t Status() const;
    // dvb_frontend.c, dvb_frontend_add_event: a status change for FE_GET_EVENT.
    void AddEvent(uint32_t status);
    void WatchStatus(int64_t delayMs);
    bool Wanted(uint16_t pid) const;
    void Schedule();
    void Emit();
    // Waits while a tuning holds the frontend, as its driver would.
    void WaitForFrontend(int fd);

    mutable std::recursive_mutex m_Mutex;
    std::chrono::steady_clock::time_point m_HoldBegan{}, m_HeldUntil{};
    int64_t m_LongestHoldMs = 0;
    uint64_t m_EmitSerial = 0;  // a cancel from another thread may come late
    fw::Host& m_Host;
    SimNetwork m_Network;
    Setup m_Setup;
    bool m_Gone = false;
    std::map<int, File> m_Files;
    Tuning m_Cache;  // the property cache DTV_TUNE reads
    std::vector<Tuning> m_Tunings;
    BroadcastSchedule m_Schedule;  // what the last tuning locks on sends
    BroadcastSchedule m_Old;       // what the transport tuned before still sends
    int64_t m_RetuneUntilMs = 0;   // m_Old sends, and the status reads 0, until here (and on: oldUntilLock)
    fw::TaskId m_Pending = 0;
    bool m_HasPending = false;
    // The frontend's event queue (8 deep, as dvb-core's) and the status its
    // last event told.
    std::deque<uint32_t> m_Events;
    bool m_EventsOverflowed = false;
    uint32_t m_EventStatus = 0;
    std::vector<fw::TaskId> m_StatusWatches;
};

}  // namespace cardlib

namespace cardlib {

// Several emulated adapters behind one seam: each path goes to the adapter
// it names, each descriptor to the adapter that opened it.
class EmulatedDvbAdapters final : public DvbSystem {
public:
    void Add(std::shared_ptr<EmulatedDvb> adapter, unsigned number);
    int Open(const std::string& path, int flags) override;
    int Ioctl(int fd, unsigned long request, void* arg) override;
    long Read(int fd, uint8_t* buffer, size_t size) override;
    int Poll(pollfd* fds, size_t count, int timeoutMs) override;
    int Close(int fd) override;

private:
    DvbSystem* Owner(int fd) const;
    mutable std::mutex m_Mutex;
    std::map<unsigned, std::shared_ptr<EmulatedDvb>> m_Adapters;
    std::map<int, DvbSystem*> m_Descriptors;
};

}  // namespace cardlib
