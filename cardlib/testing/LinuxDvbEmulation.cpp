#include "cardlib/testing/LinuxDvbEmulation.h"

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

#include "framework/Clock.h"
#include "si/descriptors/CableDelivery.h"

namespace cardlib {

namespace {

// The band and symbol rates of a DVB-C frontend, as drivers report them.
constexpr uint32_t kMinFrequencyHz = 47000000, kMaxFrequencyHz = 862000000;
constexpr uint32_t kMinSymbolRate = 870000, kMaxSymbolRate = 7200000;

constexpr uint32_t kStatusLocked = FE_HAS_SIGNAL | FE_HAS_CARRIER | FE_HAS_VITERBI | FE_HAS_SYNC | FE_HAS_LOCK;

// EN 300 468 table 38 to the kernel's enum fe_modulation.
uint32_t KernelModulation(Modulation modulation) {
    const si::ModulationCode* code = si::FindModulation(static_cast<uint8_t>(modulation));
    return code ? code->kernel : static_cast<uint32_t>(QAM_AUTO);
}

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
        const si::FecCode* fec = si::FindFec(home.fecInner);
        m_Cache.innerFec = fec ? fec->kernel : static_cast<uint32_t>(FEC_AUTO);
        if (home.locks) m_Schedule.StandOn(home);
        // Nothing is owed for the time before the emulation began.
        m_Schedule.Resume(m_Host.GetClock().NowMs());
    }
}

EmulatedDvb::~EmulatedDvb() {
    if (m_HasPending) m_Host.Cancel(m_Pending);
    for (fw::TaskId id : m_StatusWatches) m_Host.Cancel(id);
    for (const auto& [fd, file] : m_Files) ::close(fd);
}

size_t EmulatedDvb::OpenDemuxes() const {
    return static_cast<size_t>(
        std::count_if(m_Files.begin(), m_Files.end(), [](const auto& entry) { return !entry.second.frontend; }));
}

int EmulatedDvb::Open(const std::string& path, int flags) {
    const bool frontend = path == DvbDevicePath(m_Setup.adapter, "frontend", 0);
    const bool demux = path == DvbDevicePath(m_Setup.adapter, "demux", 0);
    if (!m_Setup.present || m_Gone || (!frontend && !demux)) return -ENOENT;
    if (!m_Setup.permitted) return -EACCES;
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
    auto it = m_Files.find(fd);
    if (it == m_Files.end()) return -EBADF;
    m_Files.erase(it);
    ::close(fd);
    Schedule();
    return 0;
}

int EmulatedDvb::Ioctl(int fd, unsigned long request, void* arg) {
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
            if (!m_Gone && Status() != m_EventStatus) AddEvent(Status());
        },
        delayMs));
}

bool EmulatedDvb::Retuning() const { return m_Host.GetClock().NowMs() < m_RetuneUntilMs; }
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
                if (m_Cache.deliverySystem != SYS_DVBC_ANNEX_A) return -EINVAL;
                if (m_Cache.frequencyHz < kMinFrequencyHz || m_Cache.frequencyHz > kMaxFrequencyHz) return -EINVAL;
                if (m_Cache.symbolRate < kMinSymbolRate || m_Cache.symbolRate > kMaxSymbolRate) return -EINVAL;
                m_Tunings.push_back(m_Cache);
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
                        if (!Retuning()) m_Old = m_Schedule;
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
                break;
            }
            default:
                return -EINVAL;
        }
    }
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
                p.u.st.len = 1;
                if (m_Setup.reportsStats && Locked()) {
                    p.u.st.stat[0].scale = FE_SCALE_DECIBEL;
                    // 0.001 dBm and 0.001 dB: a healthy cable outlet.
                    p.u.st.stat[0].svalue = p.cmd == DTV_STAT_CNR ? 34500 : -38300;
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

int EmulatedDvb::DemuxIoctl(int fd, File& file, unsigned long request, void* arg) {
    switch (request) {
        case DMX_SET_BUFFER_SIZE:
            if (file.started) return -EBUSY;
            file.bufferSize = static_cast<size_t>(reinterpret_cast<uintptr_t>(arg));
            if (file.bufferSize == 0) return -EINVAL;
            return 0;
        case DMX_SET_FILTER: {
            dmx_sct_filter_params params;
            std::memcpy(&params, arg, sizeof params);
            if (params.pid > 0x1FFF) return -EINVAL;
            file.started = false;
            file.filterSet = true;
            file.pid = params.pid;
            std::memcpy(file.value, params.filter.filter, sizeof file.value);
            std::memcpy(file.mask, params.filter.mask, sizeof file.mask);
            std::memcpy(file.mode, params.filter.mode, sizeof file.mode);
            if (params.flags & DMX_IMMEDIATE_START) return DemuxIoctl(fd, file, DMX_START, nullptr);
            Schedule();
            return 0;
        }
        case DMX_START:
            if (!file.filterSet) return -EINVAL;
            // Starting empties the buffer and forgets an error.
            file.sections.clear();
            file.buffered = 0;
            file.readOffset = 0;
            file.error = 0;
            file.started = true;
            // Nothing is owed for the time nobody listened.
            if (!m_HasPending) {
                m_Schedule.Resume(m_Host.GetClock().NowMs());
                m_Old.Resume(m_Host.GetClock().NowMs());
            }
            UpdateReadiness(fd, file);
            Schedule();
            return 0;
        case DMX_STOP:
            // dmxdev.c, dvb_dmxdev_filter_stop: the buffer is flushed.
            file.started = false;
            file.sections.clear();
            file.buffered = 0;
            file.readOffset = 0;
            UpdateReadiness(fd, file);
            Schedule();
            return 0;
        default:
            return -ENOTTY;
    }
}

long EmulatedDvb::Read(int fd, uint8_t* buffer, size_t size) {
    auto it = m_Files.find(fd);
    if (it == m_Files.end()) return -EBADF;
    File& file = it->second;
    if (m_Gone) return -ENODEV;
    if (file.frontend) return -EINVAL;
    if (file.error != 0) {
        // dmxdev reports an error once and flushes what was buffered.
        const int error = file.error;
        file.error = 0;
        file.sections.clear();
        file.buffered = 0;
        file.readOffset = 0;
        UpdateReadiness(fd, file);
        return -error;
    }
    if (file.sections.empty()) return -EAGAIN;
    // One section per read: a read ends where its section ends.
    const std::vector<uint8_t>& front = file.sections.front();
    const size_t n = std::min(size, front.size() - file.readOffset);
    std::memcpy(buffer, front.data() + file.readOffset, n);
    file.readOffset += n;
    if (file.readOffset == front.size()) {
        file.buffered -= front.size();
        file.sections.pop_front();
        file.readOffset = 0;
    }
    UpdateReadiness(fd, file);
    return static_cast<long>(n);
}

int EmulatedDvb::Poll(pollfd* fds, size_t count, int) {
    int ready = 0;
    for (size_t i = 0; i < count; ++i) {
        fds[i].revents = 0;
        auto it = m_Files.find(fds[i].fd);
        if (it == m_Files.end()) {
            fds[i].revents = POLLNVAL;
        } else if (m_Gone) {
            fds[i].revents = POLLERR | POLLHUP;
        } else if (it->second.frontend) {
            if (!m_Events.empty() || m_EventsOverflowed)
                fds[i].revents = static_cast<short>(fds[i].events & (POLLIN | POLLRDNORM | POLLPRI));
        } else {
            if (it->second.error != 0) fds[i].revents |= POLLERR;
            if (!it->second.sections.empty()) fds[i].revents |= static_cast<short>(fds[i].events & (POLLIN | POLLRDNORM));
        }
        ready += fds[i].revents != 0;
    }
    return ready;
}

void EmulatedDvb::Unplug() {
    m_Gone = true;
    m_Schedule.Off();
    if (m_HasPending) m_Host.Cancel(m_Pending);
    m_HasPending = false;
    for (auto& [fd, file] : m_Files) UpdateReadiness(fd, file);
}

void EmulatedDvb::FailNextRead(uint16_t pid, int error) {
    for (auto& [fd, file] : m_Files) {
        if (file.frontend || !file.filterSet || file.pid != pid) continue;
        file.error = error;
        if (error == ETIMEDOUT) file.started = false;
        UpdateReadiness(fd, file);
    }
    Schedule();
}

// dvb_demux: byte 0 of the filter is the table id, bytes 1 to 15 are section
// bytes 3 to 17 (the section_length bytes are skipped). Mode bit 0 asks for
// equality; mode bit 1 asks that at least one such bit differs.
bool EmulatedDvb::Matches(const File& file, const std::vector<uint8_t>& section) const {
    bool anyNegative = false, differs = false;
    for (size_t i = 0; i < 16; ++i) {
        if (file.mask[i] == 0) continue;
        const size_t at = i == 0 ? 0 : i + 2;
        if (at >= section.size()) return false;
        const uint8_t x = static_cast<uint8_t>((section[at] ^ file.value[i]) & file.mask[i]);
        if (x & static_cast<uint8_t>(~file.mode[i])) return false;
        if (file.mask[i] & file.mode[i]) anyNegative = true;
        if (x & file.mode[i]) differs = true;
    }
    return !anyNegative || differs;
}

void EmulatedDvb::UpdateReadiness(int fd, File& file) {
    // dvb_frontend.c, dvb_frontend_poll: POLLIN | POLLPRI while events wait.
    const bool readable = m_Gone || (file.frontend ? !m_Events.empty() || m_EventsOverflowed
                                                   : file.error != 0 || !file.sections.empty());
    if (readable == file.signalled) return;
    uint64_t count = 1;
    const ssize_t done = readable ? ::write(fd, &count, sizeof count) : ::read(fd, &count, sizeof count);
    if (done == static_cast<ssize_t>(sizeof count)) file.signalled = readable;
}

bool EmulatedDvb::Wanted(uint16_t pid) const {
    return std::any_of(m_Files.begin(), m_Files.end(), [&](const auto& e) {
        return !e.second.frontend && e.second.started && e.second.pid == pid;
    });
}

void EmulatedDvb::Schedule() {
    if (m_HasPending) m_Host.Cancel(m_Pending);
    m_HasPending = false;
    if (m_Gone) return;
    auto wanted = [this](uint16_t pid) { return Wanted(pid); };
    int64_t next = m_Schedule.NextDueMs(wanted);
    if (Retuning()) next = std::min(next, m_Old.NextDueMs(wanted));
    if (next == SimTable::kNeverMs) return;
    const int64_t now = m_Host.GetClock().NowMs();
    m_HasPending = true;
    m_Pending = m_Host.Post([this] { Emit(); }, next > now ? next - now : 0);
}

void EmulatedDvb::Emit() {
    m_HasPending = false;
    auto deliver = [this](uint16_t pid, const std::vector<Section>& sections) {
        for (auto& [fd, file] : m_Files) {
            if (file.frontend || !file.started || file.pid != pid) continue;
            for (const Section& section : sections) {
                if (!Matches(file, section)) continue;
                // A full buffer loses the section and says so at the next read.
                if (file.bufferSize - file.buffered < section.size()) {
                    file.error = EOVERFLOW;
                    continue;
                }
                file.sections.push_back(section);
                file.buffered += section.size();
            }
            UpdateReadiness(fd, file);
        }
    };
    auto wanted = [this](uint16_t pid) { return Wanted(pid); };
    if (Retuning()) m_Old.SendDue(m_Host.GetClock().NowMs(), wanted, deliver);
    m_Schedule.SendDue(m_Host.GetClock().NowMs(), wanted, deliver);
    Schedule();
}

}  // namespace cardlib
