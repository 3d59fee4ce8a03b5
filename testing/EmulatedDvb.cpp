#include "testing/EmulatedDvb.h"

#include <fcntl.h>
#include <linux/dvb/dmx.h>
#include <sys/ioctl.h>
#include <linux/dvb/frontend.h>
#include <linux/dvb/version.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "framework/Clock.h"
#include "linuxdvb/LinuxDvbCodes.h"

namespace cardlib {

namespace {

// The band and symbol rates of a DVB-C frontend, as drivers report them.
constexpr uint32_t kMinFrequencyHz = 47000000, kMaxFrequencyHz = 862000000;
constexpr uint32_t kMinSymbolRate = 870000, kMaxSymbolRate = 7200000;

// include/linux/errno.h: ENOTSUPP, which dvb-core gives for an operation the
// driver lacks; user space's headers do not name it.
constexpr int kKernelENotSupp = 524;

constexpr uint32_t kStatusLocked = FE_HAS_SIGNAL | FE_HAS_CARRIER | FE_HAS_VITERBI | FE_HAS_SYNC | FE_HAS_LOCK;

// EN 300 468 table 38 to the kernel's enum fe_modulation.
uint32_t KernelModulation(Modulation modulation) { return cardlib::KernelModulation(static_cast<uint8_t>(modulation)); }

}  // namespace

EmulatedDvb::EmulatedDvb(fw::Host& host, SimNetwork network, Setup setup)
    : m_Host(host), m_Network(std::move(network)), m_Setup(std::move(setup)), m_Schedule(m_Network), m_Old(m_Network) {
    if (m_Setup.deliverySystems.empty()) m_Setup.deliverySystems = {SYS_DVBC_ANNEX_A};
    // dvb_frontend.c, dvb_register_frontend: the cache starts on delsys[0].
    m_Cache.deliverySystem = m_Setup.deliverySystems.front();
    m_Cache.modulation = QAM_AUTO;
    m_Cache.innerFec = FEC_AUTO;
    m_Cache.inversion = INVERSION_AUTO;
    if (m_Setup.standsOnHome && m_Network.homeTransport < m_Network.transports.size()) {
        const SimTransport& home = m_Network.transports[m_Network.homeTransport];
        m_Cache.deliverySystem = SYS_DVBC_ANNEX_A;
        m_Cache.frequencyHz = home.frequencyKHz * 1000;
        m_Cache.symbolRate = home.symbolRate;
        m_Cache.modulation = KernelModulation(home.modulation);
        m_Cache.innerFec = cardlib::KernelFec(home.fecInner);
        if (home.locks) m_Schedule.StandOn(home);
        // Nothing is owed for the time before the emulation began.
        m_Schedule.Resume(m_Host.GetClock().NowMs());
    }
}

EmulatedDvb::~EmulatedDvb() {
    std::lock_guard lock(m_Mutex);
    if (m_HasPending) m_Host.Cancel(m_Pending);
    for (fw::TaskId id : m_StatusWatches) m_Host.Cancel(id);
    for (const auto& [fd, file] : m_Files) ::close(fd);
}

size_t EmulatedDvb::OpenDescriptors() const {
    std::lock_guard lock(m_Mutex);
    return m_Files.size();
}

int64_t EmulatedDvb::LongestHoldMs() const {
    std::lock_guard lock(m_Mutex);
    return m_LongestHoldMs;
}

std::chrono::steady_clock::time_point EmulatedDvb::HoldBegan() const {
    std::lock_guard lock(m_Mutex);
    return m_HoldBegan;
}

void EmulatedDvb::WaitForFrontend(int fd) {
    std::chrono::steady_clock::time_point until;
    {
        std::lock_guard lock(m_Mutex);
        auto it = m_Files.find(fd);
        if (it == m_Files.end() || !it->second.frontend) return;
        until = m_HeldUntil;
    }
    const auto began = std::chrono::steady_clock::now();
    if (until <= began) return;
    // Outside the lock: the demux goes on meanwhile.
    std::this_thread::sleep_until(until);
    const int64_t waited =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began).count();
    std::lock_guard lock(m_Mutex);
    m_LongestHoldMs = std::max(m_LongestHoldMs, waited);
}

size_t EmulatedDvb::OpenDemuxes() const {
    std::lock_guard lock(m_Mutex);
    return static_cast<size_t>(
        std::count_if(m_Files.begin(), m_Files.end(), [](const auto& entry) { return !entry.second.frontend; }));
}

int EmulatedDvb::Open(const std::string& path, int flags) {
    std::lock_guard lock(m_Mutex);
    const bool frontend = path == DvbDevicePath(m_Setup.adapter, "frontend", m_Setup.frontend);
    const bool demux = path == DvbDevicePath(m_Setup.adapter, "demux", m_Setup.demux);
    if (!m_Setup.present || m_Gone || (!frontend && !demux)) return -ENOENT;
    if (!m_Setup.permitted) return -EACCES;
    // dmxdev.c, dvb_demux_open: one filter per open, filternum of them.
    if (demux && OpenDemuxes() >= m_Setup.demuxFilters) return -EMFILE;
    File file;
    file.frontend = frontend;
    // dvb_frontend lets one program at a time open the frontend for writing.
    if (frontend && (flags & O_ACCMODE) != O_RDONLY) {
        const bool taken = m_Setup.frontendBusy || std::any_of(m_Files.begin(), m_Files.end(), [](const auto& e) {
                               return e.second.frontend && e.second.writer;
                           });
        if (taken) return -EBUSY;
        file.writer = true;
    }
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) return -errno;
    m_Files.emplace(fd, std::move(file));
    return fd;
}

int EmulatedDvb::Close(int fd) {
    std::lock_guard lock(m_Mutex);
    auto it = m_Files.find(fd);
    if (it == m_Files.end()) return -EBADF;
    m_Files.erase(it);
    ::close(fd);
    Schedule();
    return 0;
}

int EmulatedDvb::Ioctl(int fd, unsigned long request, void* arg) {
    WaitForFrontend(fd);
    std::lock_guard lock(m_Mutex);
    auto it = m_Files.find(fd);
    if (it == m_Files.end()) return -EBADF;
    if (m_Gone) return -ENODEV;
    return it->second.frontend ? FrontendIoctl(it->second, request, arg) : DemuxIoctl(fd, it->second, request, arg);
}

uint32_t EmulatedDvb::Status() const {
    // dvb_frontend.c, FE_READ_STATUS: "if retune was requested but hasn't
    // occurred yet, prevent that user get signal state from previous tuning".
    if (Retuning()) return 0;
    if (Locked()) return kStatusLocked;
    if (m_Setup.syncBeforeLockMs > 0 && m_Schedule.LockedAt(m_Host.GetClock().NowMs() + m_Setup.syncBeforeLockMs))
        return kStatusLocked & ~static_cast<uint32_t>(FE_HAS_LOCK);
    if (!m_Tunings.empty() && m_Network.FindTransport(m_Tunings.back().frequencyHz / 1000))
        return FE_HAS_SIGNAL | FE_HAS_CARRIER;
    return 0;
}

void EmulatedDvb::AddEvent(uint32_t status) {
    m_EventStatus = status;
    if (m_Events.size() == 8) {
        m_Events.pop_front();
        m_EventsOverflowed = true;
    }
    m_Events.push_back(status);
    for (auto& [fd, f] : m_Files) UpdateReadiness(fd, f);
}

void EmulatedDvb::WatchStatus(int64_t delayMs) {
    m_StatusWatches.push_back(m_Host.Post(
        [this] {
            std::lock_guard lock(m_Mutex);
            if (!m_Gone && Status() != m_EventStatus) AddEvent(Status());
        },
        delayMs));
}

bool EmulatedDvb::Retuning() const { return m_Host.GetClock().NowMs() < m_RetuneUntilMs; }
bool EmulatedDvb::OldArrives() const {
    if (Retuning()) return true;
    return m_Setup.oldUntilLock && m_RetuneUntilMs > 0 && m_Schedule.Transport() &&
           !m_Schedule.LockedAt(m_Host.GetClock().NowMs());
}
bool EmulatedDvb::Locked() const { return !Retuning() && m_Schedule.LockedAt(m_Host.GetClock().NowMs()); }

int EmulatedDvb::FrontendIoctl(File& file, unsigned long request, void* arg) {
    switch (request) {
        case FE_GET_INFO: {
            dvb_frontend_info info{};
            std::strncpy(info.name, m_Setup.name.c_str(), sizeof info.name - 1);
            switch (m_Setup.deliverySystems.front()) {
                case SYS_DVBC_ANNEX_A: case SYS_DVBC_ANNEX_C: info.type = FE_QAM; break;
                case SYS_DVBS: case SYS_DVBS2: info.type = FE_QPSK; break;
                case SYS_ATSC: info.type = FE_ATSC; break;
                default: info.type = FE_OFDM; break;
            }
            info.frequency_min = kMinFrequencyHz;
            info.frequency_max = kMaxFrequencyHz;
            info.frequency_stepsize = 62500;
            info.symbol_rate_min = kMinSymbolRate;
            info.symbol_rate_max = kMaxSymbolRate;
            unsigned caps = FE_CAN_QAM_16 | FE_CAN_QAM_32 | FE_CAN_QAM_64 | FE_CAN_QAM_128 | FE_CAN_QAM_256 |
                            FE_CAN_FEC_AUTO | FE_CAN_INVERSION_AUTO;
            if (m_Setup.canQamAuto) caps |= FE_CAN_QAM_AUTO;
            info.caps = static_cast<fe_caps>(caps);
            std::memcpy(arg, &info, sizeof info);
            return 0;
        }
        case FE_READ_STATUS: {
            const fe_status value = static_cast<fe_status>(Status());
            std::memcpy(arg, &value, sizeof value);
            return 0;
        }
        case FE_GET_EVENT: {
            // dvb_frontend.c, dvb_frontend_get_event: EOVERFLOW once after
            // lost events, EWOULDBLOCK on a non-blocking descriptor with none.
            if (m_EventsOverflowed) {
                m_EventsOverflowed = false;
                return -EOVERFLOW;
            }
            if (m_Events.empty()) return -EWOULDBLOCK;
            dvb_frontend_event event{};
            event.status = static_cast<fe_status>(m_Events.front());
            event.parameters.frequency = m_Cache.frequencyHz;
            m_Events.pop_front();
            std::memcpy(arg, &event, sizeof event);
            for (auto& [fd, f] : m_Files) UpdateReadiness(fd, f);
            return 0;
        }
        // dvb_frontend.c, dvb_frontend_handle_ioctl: the DVBv3 calls,
        // through the same property cache.
        case FE_SET_FRONTEND: {
            if (!file.writer) return -EPERM;
            dvb_frontend_parameters p;
            std::memcpy(&p, arg, sizeof p);
            m_Cache.frequencyHz = p.frequency;
            m_Cache.inversion = p.inversion;
            m_Cache.symbolRate = p.u.qam.symbol_rate;
            m_Cache.innerFec = p.u.qam.fec_inner;
            m_Cache.modulation = p.u.qam.modulation;
            return TuneCache();
        }
        case FE_GET_FRONTEND: {
            dvb_frontend_parameters p{};
            p.frequency = m_Cache.frequencyHz;
            p.inversion = static_cast<fe_spectral_inversion>(m_Cache.inversion);
            p.u.qam.symbol_rate = m_Cache.symbolRate;
            p.u.qam.fec_inner = static_cast<fe_code_rate>(m_Cache.innerFec);
            p.u.qam.modulation = static_cast<fe_modulation>(m_Cache.modulation);
            std::memcpy(arg, &p, sizeof p);
            return 0;
        }
        case FE_READ_SIGNAL_STRENGTH:
        case FE_READ_SNR: {
            // dvb_frontend.c, dvb_frontend_handle_ioctl: -ENOTSUPP, the
            // kernel's own 524 that user space has no name for, where the
            // driver has no such operation (vidtv lacks read_snr).
            if (request == FE_READ_SIGNAL_STRENGTH && !m_Setup.readsStrengthV3) return -kKernelENotSupp;
            // Relative, 0 to 0xFFFF, as most DVBv3 drivers scale it.
            const uint16_t value = Locked() ? (request == FE_READ_SNR ? 0xB000 : 0xC000) : 0;
            std::memcpy(arg, &value, sizeof value);
            return 0;
        }
        case FE_READ_BER:
        case FE_READ_UNCORRECTED_BLOCKS: {
            const uint32_t value = 0;
            std::memcpy(arg, &value, sizeof value);
            return 0;
        }
        case FE_SET_PROPERTY:
            // Only the program that opened it for writing may tune.
            if (!file.writer) return -EPERM;
            return SetProperties(arg);
        case FE_GET_PROPERTY:
            return GetProperties(arg);
        default:
            return -ENOTTY;
    }
}

int EmulatedDvb::SetProperties(void* arg) {
    dtv_properties properties;
    std::memcpy(&properties, arg, sizeof properties);
    if (properties.num == 0 || properties.num > DTV_IOCTL_MAX_MSGS || !properties.props) return -EINVAL;
    for (uint32_t i = 0; i < properties.num; ++i) {
        const uint32_t cmd = properties.props[i].cmd;
        const uint32_t data = properties.props[i].u.data;
        switch (cmd) {
            case DTV_CLEAR: {
                // dvb_frontend.c, dvb_frontend_clear_cache: the delivery
                // system stays, the rest goes to "auto".
                const uint32_t system = m_Cache.deliverySystem;
                m_Cache = Tuning{};
                m_Cache.deliverySystem = system;
                m_Cache.modulation = QAM_AUTO;
                m_Cache.innerFec = FEC_AUTO;
                m_Cache.inversion = INVERSION_AUTO;
                break;
            }
            case DTV_DELIVERY_SYSTEM:
                // A delivery system the frontend lacks is refused.
                if (std::find(m_Setup.deliverySystems.begin(), m_Setup.deliverySystems.end(), data) ==
                    m_Setup.deliverySystems.end())
                    return -EINVAL;
                m_Cache.deliverySystem = data;
                break;
            case DTV_FREQUENCY: m_Cache.frequencyHz = data; break;
            case DTV_SYMBOL_RATE: m_Cache.symbolRate = data; break;
            case DTV_MODULATION: m_Cache.modulation = data; break;
            case DTV_INNER_FEC: m_Cache.innerFec = data; break;
            case DTV_INVERSION: m_Cache.inversion = data; break;
            case DTV_TUNE: {
                const int result = TuneCache();
                if (result < 0) return result;
                break;
            }
            default:
                return -EINVAL;
        }
    }
    return 0;
}

int EmulatedDvb::TuneCache() {
    if (m_Cache.deliverySystem != SYS_DVBC_ANNEX_A) return -EINVAL;
    if (m_Cache.frequencyHz < kMinFrequencyHz || m_Cache.frequencyHz > kMaxFrequencyHz) return -EINVAL;
    if (m_Cache.symbolRate < kMinSymbolRate || m_Cache.symbolRate > kMaxSymbolRate) return -EINVAL;
    m_Tunings.push_back(m_Cache);
    if (m_Setup.frontendHoldMs > 0) {
        m_HoldBegan = std::chrono::steady_clock::now();
        m_HeldUntil = m_HoldBegan + std::chrono::milliseconds(m_Setup.frontendHoldMs);
    }
    const SimTransport* t = m_Network.FindTransport(m_Cache.frequencyHz / 1000);
    // The demodulator locks only on the transport's own symbol rate
    // and constellation (or finds the constellation itself).
    const bool fits = t && t->locks && t->symbolRate == m_Cache.symbolRate &&
                      (m_Cache.modulation == KernelModulation(t->modulation) ||
                       (m_Cache.modulation == QAM_AUTO && m_Setup.canQamAuto));
    // Told the transport it is locked on once more, the
    // demodulator stays on the carrier.
    if (!fits || !Locked() || m_Schedule.Transport() != t) {
        const int64_t now = m_Host.GetClock().NowMs();
        if (m_Setup.retuneMs > 0) {
            if (!OldArrives()) m_Old = m_Schedule;
            m_RetuneUntilMs = now + m_Setup.retuneMs;
        }
        m_Schedule.Tune(fits ? t : nullptr, now);
        // dvb_frontend.c, dtv_set_frontend: the queue is cleared
        // and one event with status 0 goes in; the thread adds one
        // at each change.
        for (fw::TaskId id : m_StatusWatches) m_Host.Cancel(id);
        m_StatusWatches.clear();
        m_Events.clear();
        m_EventsOverflowed = false;
        AddEvent(0);
        WatchStatus(m_Setup.retuneMs);
        if (fits) WatchStatus(std::max(m_Setup.retuneMs, LockDelayMs(m_Network, *t)));
    }
    Schedule();
    return 0;
}

int EmulatedDvb::GetProperties(void* arg) {
    dtv_properties properties;
    std::memcpy(&properties, arg, sizeof properties);
    if (properties.num == 0 || properties.num > DTV_IOCTL_MAX_MSGS || !properties.props) return -EINVAL;
    for (uint32_t i = 0; i < properties.num; ++i) {
        dtv_property& p = properties.props[i];
        switch (p.cmd) {
            case DTV_ENUM_DELSYS: {
                const size_t n = std::min(m_Setup.deliverySystems.size(), sizeof p.u.buffer.data);
                for (size_t k = 0; k < n; ++k) p.u.buffer.data[k] = static_cast<uint8_t>(m_Setup.deliverySystems[k]);
                p.u.buffer.len = static_cast<uint32_t>(n);
                break;
            }
            // dvb_frontend.c, dtv_property_process_get: the property cache,
            // which a tuning leaves holding what was tuned.
            case DTV_API_VERSION: p.u.data = (DVB_API_VERSION << 8) | DVB_API_VERSION_MINOR; break;
            case DTV_DELIVERY_SYSTEM: p.u.data = m_Cache.deliverySystem; break;
            case DTV_FREQUENCY: p.u.data = m_Cache.frequencyHz; break;
            case DTV_SYMBOL_RATE: p.u.data = m_Cache.symbolRate; break;
            case DTV_MODULATION: p.u.data = m_Cache.modulation; break;
            case DTV_INNER_FEC: p.u.data = m_Cache.innerFec; break;
            case DTV_INVERSION: p.u.data = m_Cache.inversion; break;
            case DTV_STAT_SIGNAL_STRENGTH:
            case DTV_STAT_CNR: {
                const bool cnr = p.cmd == DTV_STAT_CNR;
                // A statistic the driver does not have: len 0.
                p.u.st.len = (cnr ? m_Setup.reportsCnr : m_Setup.strengthScale != FE_SCALE_NOT_AVAILABLE) ? 1 : 0;
                if (m_Setup.reportsStats && Locked()) {
                    p.u.st.stat[0].scale = cnr ? static_cast<uint8_t>(FE_SCALE_DECIBEL) : m_Setup.strengthScale;
                    // 0.001 dBm and 0.001 dB, or 0 to 65535: a healthy cable outlet.
                    if (!cnr && m_Setup.strengthScale == FE_SCALE_RELATIVE) p.u.st.stat[0].uvalue = 0xC000;
                    else p.u.st.stat[0].svalue = cnr ? 34500 : -38300;
                } else {
                    p.u.st.stat[0].scale = FE_SCALE_NOT_AVAILABLE;
                    p.u.st.stat[0].svalue = 0;
                }
                break;
            }
            // What the driver does not measure comes back with len 0.
            case DTV_STAT_PRE_ERROR_BIT_COUNT: case DTV_STAT_PRE_TOTAL_BIT_COUNT:
            case DTV_STAT_POST_ERROR_BIT_COUNT: case DTV_STAT_POST_TOTAL_BIT_COUNT:
            case DTV_STAT_ERROR_BLOCK_COUNT: case DTV_STAT_TOTAL_BLOCK_COUNT:
                p.u.st.len = 0;
                break;
            default:
                return -EINVAL;
        }
    }
    return 0;
}

}  // namespace cardlib
