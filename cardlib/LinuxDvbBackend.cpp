#include "cardlib/LinuxDvbBackend.h"

#include <fcntl.h>
#include <linux/dvb/dmx.h>
#include <sys/ioctl.h>
#include <linux/dvb/frontend.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cardlib/SiWriter.h"
#include "framework/Clock.h"
#include "si/SiTags.h"

namespace cardlib {

namespace {

// ISO/IEC 13818-1: a private section is at most 4096 bytes.
constexpr size_t kMaxSection = 4096;
// Sections taken from one descriptor per wake-up; more wake it again.
constexpr int kReadsPerWake = 64;

std::string ErrorText(int error) { return std::strerror(error); }

double Mhz(unsigned long kHz) { return static_cast<double>(kHz) / 1000.0; }

// EN 300 468 table 38 to the kernel's enum fe_modulation; 0 where undefined.
uint32_t ModulationFromNit(uint8_t value) {
    switch (value) {
        case 1: return QAM_16;
        case 2: return QAM_32;
        case 3: return QAM_64;
        case 4: return QAM_128;
        case 5: return QAM_256;
        default: return 0;
    }
}

// EN 300 468 table 35 to the kernel's enum fe_code_rate.
uint32_t FecFromNit(uint8_t value) {
    switch (value) {
        case 1: return FEC_1_2;
        case 2: return FEC_2_3;
        case 3: return FEC_3_4;
        case 4: return FEC_5_6;
        case 5: return FEC_7_8;
        case 6: return FEC_8_9;
        case 7: return FEC_3_5;
        case 8: return FEC_4_5;
        case 9: return FEC_9_10;
        case 0xF: return FEC_NONE;
        default: return FEC_AUTO;
    }
}

uint32_t ModulationFromSetting(unsigned order) {
    switch (order) {
        case 16: return QAM_16;
        case 32: return QAM_32;
        case 64: return QAM_64;
        case 128: return QAM_128;
        case 256: return QAM_256;
        default: return QAM_AUTO;
    }
}

// `digits` BCD digits from `data`, most significant first; false on a nibble above 9.
bool Bcd(const uint8_t* data, unsigned digits, uint32_t& value) {
    value = 0;
    for (unsigned i = 0; i < digits; ++i) {
        const unsigned nibble = (i % 2 == 0) ? data[i / 2] >> 4 : data[i / 2] & 0x0F;
        if (nibble > 9) return false;
        value = value * 10 + nibble;
    }
    return true;
}

dtv_property Property(uint32_t cmd, uint32_t data = 0) {
    dtv_property p;
    std::memset(&p, 0, sizeof p);
    p.cmd = cmd;
    p.u.data = data;
    return p;
}

// One statistic as the user reads it: dB(m) with one decimal, or per cent.
std::string StatText(const dtv_property& p, const char* decibelUnit) {
    if (p.u.st.len == 0) return {};
    const uint8_t scale = p.u.st.stat[0].scale;
    char text[48];
    if (scale == FE_SCALE_DECIBEL) {
        const int64_t value = p.u.st.stat[0].svalue;
        std::snprintf(text, sizeof text, "%.1f %s", static_cast<double>(value) / 1000.0, decibelUnit);
    } else if (scale == FE_SCALE_RELATIVE) {
        const uint64_t value = p.u.st.stat[0].uvalue;
        std::snprintf(text, sizeof text, "%u %%", static_cast<unsigned>(std::min<uint64_t>(value, 65535) * 100 / 65535));
    } else {
        return {};
    }
    return text;
}

}  // namespace

LinuxDvbBackend::LinuxDvbBackend(DvbSettings settings, std::shared_ptr<DvbSystem> system)
    : m_Settings(settings),
      m_System(std::move(system)),
      m_FrontendPath(DvbDevicePath(settings.adapter, "frontend", settings.frontend)),
      m_DemuxPath(DvbDevicePath(settings.adapter, "demux", settings.demux)) {
    m_Home = settings.homeFrequencyKHz;
    if (OpenFrontend() && m_Home == 0) {
        // Where another program left the tuner, the network may well be.
        dtv_property p = Property(DTV_FREQUENCY);
        dtv_properties ps{1, &p};
        if (m_System->Ioctl(m_Frontend, FE_GET_PROPERTY, &ps) == 0) m_Home = p.u.data / 1000;
        if (m_Home == 0)
            Report("The tuner " + m_FrontendPath +
                   " stands on no frequency: set HomeFrequency in card.ini to a frequency (kHz) of your cable "
                   "network, where the scan reads the network's table.");
    }
    m_Wanted = m_Home;
}

LinuxDvbBackend::~LinuxDvbBackend() {
    Stop();
    CloseFrontend();
}

bool LinuxDvbBackend::OpenFrontend() {
    if (m_Frontend >= 0) return true;
    const int fd = m_System->Open(m_FrontendPath, O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        const int error = -fd;
        if (error == ENOENT || error == ENODEV || error == ENXIO)
            Report("No DVB adapter: " + m_FrontendPath + " does not exist (" + ErrorText(error) +
                   "). Plug in the tuner, or set Adapter and Frontend in card.ini.");
        else if (error == EACCES || error == EPERM)
            Report("Permission denied on " + m_FrontendPath +
                   ": the DVB devices belong to the group \"video\". Add your user to it "
                   "(sudo usermod -aG video $USER) and log in again.");
        else if (error == EBUSY)
            Report(m_FrontendPath + " is busy (" + ErrorText(error) +
                   "): another program, perhaps a TV viewer, is using the tuner. Close it, then search again.");
        else
            Report("Cannot open " + m_FrontendPath + ": " + ErrorText(error) + ".");
        return false;
    }
    dvb_frontend_info info;
    std::memset(&info, 0, sizeof info);
    int result = m_System->Ioctl(fd, FE_GET_INFO, &info);
    if (result < 0) {
        Report("Cannot ask " + m_FrontendPath + " what it is (FE_GET_INFO): " + ErrorText(-result) + ".");
        m_System->Close(fd);
        return false;
    }
    info.name[sizeof info.name - 1] = '\0';
    // A frontend for several standards names them all here; FE_GET_INFO's
    // type tells only one of them.
    bool cable = info.type == FE_QAM;
    std::string offers;
    dtv_property p = Property(DTV_ENUM_DELSYS);
    dtv_properties ps{1, &p};
    if (m_System->Ioctl(fd, FE_GET_PROPERTY, &ps) == 0) {
        cable = false;
        static const std::map<uint32_t, const char*> kNames = {
            {SYS_DVBC_ANNEX_A, "DVB-C"}, {SYS_DVBC_ANNEX_B, "DVB-C annex B"}, {SYS_DVBC_ANNEX_C, "DVB-C annex C"},
            {SYS_DVBT, "DVB-T"},         {SYS_DVBT2, "DVB-T2"},               {SYS_DVBS, "DVB-S"},
            {SYS_DVBS2, "DVB-S2"},       {SYS_ATSC, "ATSC"},                  {SYS_ISDBT, "ISDB-T"},
            {SYS_DTMB, "DTMB"}};
        const uint32_t count = std::min<uint32_t>(p.u.buffer.len, sizeof p.u.buffer.data);
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t system = p.u.buffer.data[i];
            cable = cable || system == SYS_DVBC_ANNEX_A;
            auto name = kNames.find(system);
            offers += (offers.empty() ? "" : ", ") + std::string(name != kNames.end() ? name->second : "other");
        }
    }
    if (!cable) {
        Report(m_FrontendPath + " (\"" + info.name + "\") is not a DVB-C frontend" +
               (offers.empty() ? std::string() : ": it receives " + offers) +
               ". Kelvane scans cable networks (DVB-C, ITU-T J.83 annex A); set Adapter and Frontend in card.ini "
               "to a cable tuner.");
        m_System->Close(fd);
        return false;
    }
    m_CanQamAuto = (info.caps & FE_CAN_QAM_AUTO) != 0;
    m_Frontend = fd;
    m_Reported.clear();
    m_Lost = false;
    return true;
}

void LinuxDvbBackend::CloseFrontend() {
    CancelLockPoll();
    if (m_Frontend >= 0) m_System->Close(m_Frontend);
    m_Frontend = -1;
}

void LinuxDvbBackend::Tune(unsigned long frequencyKHz, int64_t) {
    m_Wanted = frequencyKHz;
    m_TunePending = true;
    if (m_Host) TuneNow();
}

void LinuxDvbBackend::Start(fw::Host& host, PacketSink& sink) {
    m_Host = &host;
    m_Sink = &sink;
    if (m_TunePending) {
        TuneNow();
    } else if (m_AwaitingLock) {
        // Stopped between two requests while the tuner was still locking:
        // the lock (and its signal line) is still to be seen. Look at once,
        // as requests may come and go faster than the polling interval.
        PollLock(0);
    }
    FiltersChanged();
}

void LinuxDvbBackend::Stop() {
    CancelLockPoll();
    CloseAllFilters();
    m_Host = nullptr;
    m_Sink = nullptr;
}

void LinuxDvbBackend::CancelLockPoll() {
    if (m_LockPolling && m_Host) m_Host->Cancel(m_LockPoll);
    m_LockPolling = false;
}

void LinuxDvbBackend::TuneNow() {
    m_TunePending = false;
    m_AwaitingLock = false;
    CancelLockPoll();
    if (m_Wanted == 0 || !OpenFrontend()) return;
    // The NIT this backend delivered knows the transport; card.ini guesses.
    auto known = m_Deliveries.find(m_Wanted);
    Delivery d;
    d.symbolRate = known != m_Deliveries.end() && known->second.symbolRate ? known->second.symbolRate
                                                                            : m_Settings.symbolRate;
    d.modulation = known != m_Deliveries.end() && known->second.modulation ? known->second.modulation
                                                                            : ModulationFromSetting(m_Settings.modulation);
    d.innerFec = known != m_Deliveries.end() ? known->second.innerFec : static_cast<uint32_t>(FEC_AUTO);
    m_MayFallBack = false;
    if (d.modulation == QAM_AUTO && !m_CanQamAuto) {
        // Without the frontend's own search: 256-QAM, then 64-QAM, the two
        // constellations cable networks use.
        d.modulation = QAM_256;
        m_MayFallBack = true;
    }
    m_Tuning = d;
    if (!SendTuning(d.modulation)) return;
    // The old transport's sections still in the kernel's buffers go.
    for (DemuxFilter& f : m_Filters) {
        if (f.fd < 0) continue;
        m_System->Ioctl(f.fd, DMX_STOP, nullptr);
        m_System->Ioctl(f.fd, DMX_START, nullptr);
    }
}

bool LinuxDvbBackend::SendTuning(uint32_t modulation) {
    m_Tuning.modulation = modulation;
    dtv_property props[] = {
        Property(DTV_CLEAR),
        Property(DTV_DELIVERY_SYSTEM, SYS_DVBC_ANNEX_A),
        Property(DTV_FREQUENCY, static_cast<uint32_t>(m_Wanted * 1000)),
        Property(DTV_SYMBOL_RATE, m_Tuning.symbolRate),
        Property(DTV_MODULATION, modulation),
        Property(DTV_INNER_FEC, m_Tuning.innerFec),
        Property(DTV_INVERSION, INVERSION_AUTO),
        Property(DTV_TUNE),
    };
    dtv_properties ps{static_cast<uint32_t>(std::size(props)), props};
    const int result = m_System->Ioctl(m_Frontend, FE_SET_PROPERTY, &ps);
    if (result < 0) {
        if (-result == ENODEV) {
            DeviceLost(m_FrontendPath, -result);
        } else {
            char mhz[32];
            std::snprintf(mhz, sizeof mhz, "%.1f MHz", Mhz(m_Wanted));
            Report(m_FrontendPath + " refused to tune to " + mhz + ": " + ErrorText(-result) + ".");
        }
        return false;
    }
    if (!m_Host) return true;
    m_TunedAtMs = m_Host->GetClock().NowMs();
    m_AwaitingLock = true;
    PollLock(kLockPollMs);
    return true;
}

void LinuxDvbBackend::PollLock(int64_t delayMs) {
    CancelLockPoll();
    m_LockPolling = true;
    m_LockPoll = m_Host->Post([this] { CheckLock(); }, delayMs);
}

void LinuxDvbBackend::CheckLock() {
    m_LockPolling = false;
    if (!m_Host || m_Frontend < 0) return;
    fe_status status{};
    const int result = m_System->Ioctl(m_Frontend, FE_READ_STATUS, &status);
    if (result < 0) {
        if (-result == ENODEV) DeviceLost(m_FrontendPath, -result);
        return;
    }
    if (status & FE_HAS_LOCK) {
        m_AwaitingLock = false;
        ReportSignal();
        return;
    }
    const int64_t waited = m_Host->GetClock().NowMs() - m_TunedAtMs;
    if (m_MayFallBack && waited >= kFallbackMs) {
        m_MayFallBack = false;
        SendTuning(QAM_64);
        return;
    }
    // A frequency that does not lock simply delivers nothing.
    if (waited >= kLockGiveUpMs) {
        m_AwaitingLock = false;
        return;
    }
    PollLock(kLockPollMs);
}

void LinuxDvbBackend::ReportSignal() {
    dtv_property props[] = {Property(DTV_STAT_SIGNAL_STRENGTH), Property(DTV_STAT_CNR)};
    dtv_properties ps{2, props};
    if (m_System->Ioctl(m_Frontend, FE_GET_PROPERTY, &ps) < 0 || !m_Sink) return;
    const std::string strength = StatText(props[0], "dBm");
    const std::string cnr = StatText(props[1], "dB");
    if (strength.empty() && cnr.empty()) return;
    char mhz[32];
    std::snprintf(mhz, sizeof mhz, "%.1f MHz", Mhz(m_Wanted));
    std::string text = std::string("Signal at ") + mhz + ":";
    if (!strength.empty()) text += " strength " + strength;
    if (!cnr.empty()) text += std::string(strength.empty() ? "" : ",") + " C/N " + cnr;
    m_Sink->OnStatusLine(text);
}

void LinuxDvbBackend::FiltersChanged() {
    if (!m_Sink || !m_Host) return;
    const std::vector<PacketSink::Filter> wanted = m_Sink->SetFilters();
    auto same = [](const PacketSink::Filter& a, const PacketSink::Filter& b) {
        return a.handle == b.handle && a.pid == b.pid && a.value == b.value && a.mask == b.mask;
    };
    // Filters that went or changed are closed; the rest keep their descriptor.
    for (DemuxFilter& f : m_Filters) {
        const bool kept = std::any_of(wanted.begin(), wanted.end(), [&](const auto& w) { return same(w, f.spec); });
        if (!kept) CloseFilter(f);
    }
    m_Filters.erase(std::remove_if(m_Filters.begin(), m_Filters.end(), [](const DemuxFilter& f) { return f.fd < 0; }),
                    m_Filters.end());
    for (const PacketSink::Filter& w : wanted) {
        const bool open = std::any_of(m_Filters.begin(), m_Filters.end(), [&](const auto& f) { return same(w, f.spec); });
        if (!open) OpenFilter(w);
    }
}

void LinuxDvbBackend::OpenFilter(const PacketSink::Filter& spec) {
    const int fd = m_System->Open(m_DemuxPath, O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        const int error = -fd;
        if (error == ENOENT || error == ENODEV)
            DeviceLost(m_DemuxPath, error);
        else if (error == EACCES || error == EPERM)
            Report("Permission denied on " + m_DemuxPath +
                   ": the DVB devices belong to the group \"video\". Add your user to it "
                   "(sudo usermod -aG video $USER) and log in again.");
        else
            Report("Cannot open " + m_DemuxPath + ": " + ErrorText(error) + ".");
        return;
    }
    dmx_sct_filter_params params;
    std::memset(&params, 0, sizeof params);
    params.pid = spec.pid;
    // The kernel's filter skips the two section_length bytes: its byte 0 is
    // the table id, its byte n the section's byte n + 2. The card checks
    // the skipped bytes itself when the section comes back.
    for (size_t i = 0; i < spec.value.size() && i < spec.mask.size(); ++i) {
        if (i == 1 || i == 2) continue;
        const size_t at = i == 0 ? 0 : i - 2;
        if (at >= DMX_FILTER_SIZE) break;
        params.filter.filter[at] = spec.value[i];
        params.filter.mask[at] = spec.mask[i];
    }
    // No section time-out, and no CRC check: the dispatcher must see every section.
    params.timeout = 0;
    params.flags = DMX_IMMEDIATE_START;
    int result = m_System->Ioctl(fd, DMX_SET_BUFFER_SIZE, reinterpret_cast<void*>(kDemuxBufferBytes));
    if (result >= 0) result = m_System->Ioctl(fd, DMX_SET_FILTER, &params);
    if (result < 0) {
        m_System->Close(fd);
        if (-result == ENODEV)
            DeviceLost(m_DemuxPath, -result);
        else
            Report("Cannot set a section filter on " + m_DemuxPath + ": " + ErrorText(-result) + ".");
        return;
    }
    DemuxFilter filter;
    filter.spec = spec;
    filter.fd = fd;
    const unsigned short handle = spec.handle;
    filter.watch = m_Host->Watch(fd, [this, handle] { OnReadable(handle); });
    m_Filters.push_back(std::move(filter));
}

void LinuxDvbBackend::CloseFilter(DemuxFilter& filter) {
    if (filter.fd < 0) return;
    if (m_Host) m_Host->Unwatch(filter.watch);
    m_System->Close(filter.fd);
    filter.fd = -1;
}

void LinuxDvbBackend::CloseAllFilters() {
    for (DemuxFilter& f : m_Filters) CloseFilter(f);
    m_Filters.clear();
}

void LinuxDvbBackend::OnReadable(unsigned short handle) {
    auto it = std::find_if(m_Filters.begin(), m_Filters.end(),
                           [&](const DemuxFilter& f) { return f.spec.handle == handle && f.fd >= 0; });
    if (it == m_Filters.end() || !m_Sink) return;
    const int fd = it->fd;
    const uint16_t pid = it->spec.pid;
    uint8_t section[kMaxSection];
    for (int i = 0; i < kReadsPerWake; ++i) {
        const long n = m_System->Read(fd, section, sizeof section);
        if (n == -EAGAIN || n == 0) return;
        if (n == -EOVERFLOW) {
            // The kernel dropped what it held; the filter goes on.
            ++m_Overflows;
            continue;
        }
        if (n == -ETIMEDOUT) {
            // A section time-out stops the kernel's filter: start it again.
            if (m_System->Ioctl(fd, DMX_START, nullptr) == -ENODEV) return DeviceLost(m_DemuxPath, ENODEV);
            continue;
        }
        if (n < 0) {
            if (-n == ENODEV || -n == EIO) return DeviceLost(m_DemuxPath, static_cast<int>(-n));
            Report("Reading " + m_DemuxPath + " failed: " + ErrorText(static_cast<int>(-n)) + ".");
            return;
        }
        const size_t size = static_cast<size_t>(n);
        if (pid == si::pid::kNit) LearnFromNit(section, size);
        // The handler only queues, so the filters stay as they are here.
        m_Sink->OnFilterSection(handle, section, size);
    }
}

// EN 300 468 5.2.1 and 6.2.13.1: the transport loop of a NIT section and the
// cable delivery system descriptors in it. Only the own network's NIT: a
// neighbour's (NIT other) may describe the same frequency differently.
void LinuxDvbBackend::LearnFromNit(const uint8_t* s, size_t size) {
    if (size < 16 || s[0] != si::table::kNitActual) return;
    const size_t total = 3 + (((s[1] & 0x0F) << 8) | s[2]);
    // Only what arrived whole and unspoilt tunes the frontend.
    if (total > size || total < 16 || Crc32Mpeg2(s, total) != 0) return;
    const size_t end = total - 4;
    size_t at = 8;
    const size_t networkDescriptorsLength = ((s[at] & 0x0F) << 8) | s[at + 1];
    at += 2;
    if (end - at < networkDescriptorsLength + 2) return;
    at += networkDescriptorsLength;
    const size_t loopLength = ((s[at] & 0x0F) << 8) | s[at + 1];
    at += 2;
    const size_t loopEnd = std::min(end, at + loopLength);
    while (loopEnd - at >= 6) {
        const size_t descriptorsLength = ((s[at + 4] & 0x0F) << 8) | s[at + 5];
        at += 6;
        const size_t descriptorsEnd = loopEnd - at < descriptorsLength ? loopEnd : at + descriptorsLength;
        while (descriptorsEnd - at >= 2) {
            const uint8_t tag = s[at];
            const size_t length = s[at + 1];
            at += 2;
            if (descriptorsEnd - at < length) {
                at = descriptorsEnd;
                break;
            }
            uint32_t frequency = 0, rate = 0;
            // frequency: 8 BCD digits in 100 Hz; symbol_rate: 7 BCD digits in 100 symbols/s.
            if (tag == si::descriptor::kCableDeliverySystem && length >= 11 && Bcd(s + at, 8, frequency) && Bcd(s + at + 7, 7, rate) &&
                frequency != 0) {
                Delivery d;
                d.modulation = ModulationFromNit(s[at + 6]);
                d.symbolRate = rate * 100;
                d.innerFec = FecFromNit(s[at + 10] & 0x0F);
                m_Deliveries[frequency / 10] = d;
            }
            at += length;
        }
        at = descriptorsEnd;
    }
}

void LinuxDvbBackend::DeviceLost(const std::string& path, int error) {
    CloseAllFilters();
    CloseFrontend();
    Report(path.substr(0, path.rfind('/')) + " has gone (" + ErrorText(error) +
           "): the tuner was unplugged or its driver failed. The scan's requests end by time-out; the program list "
           "is kept.");
    // Every later call would fail the same way: one message says it all
    // until the tuner is back.
    m_Lost = true;
}

void LinuxDvbBackend::Report(const std::string& text) {
    // One message for one trouble, however many calls run into it, until
    // the tuner works again.
    if (m_Lost || !m_Reported.insert(text).second) return;
    if (!m_Host) {
        m_Problem = text;
        return;
    }
    // A message box has a loop of its own; it must not run inside a card call.
    fw::Host* host = m_Host;
    host->Post([host, text] { host->ShowMessage(nullptr, text); });
}

}  // namespace cardlib
