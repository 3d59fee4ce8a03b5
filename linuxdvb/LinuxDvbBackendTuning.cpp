// The Linux DVB backend's tuning: DVBv5 properties from the NIT or card.ini,
// the constellation fallback, the lock and its signal figures.
#include "linuxdvb/LinuxDvbBackend.h"

#include <fcntl.h>
#include <linux/dvb/dmx.h>
#include <sys/ioctl.h>
#include <linux/dvb/frontend.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "broadcast/CableRaster.h"
#include "linuxdvb/LinuxDvbCalls.h"
#include "linuxdvb/LinuxDvbCodes.h"
#include "framework/Clock.h"

namespace cardlib {

using linuxdvb::ErrorText;
using linuxdvb::Property;

namespace {

double Mhz(unsigned long kHz) { return static_cast<double>(kHz) / 1000.0; }

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

void LinuxDvbBackend::Become(TunerState next) {
    m_Tuner = next;
    switch (next) {
        case TunerState::Idle:
        case TunerState::Pending:
        case TunerState::Sending:
            CancelLockPoll();
            break;
        case TunerState::Tuning:
            PollLock(kLockPollMs);
            break;
        case TunerState::Confirming:
            // Requests may come and go faster than the polling interval.
            PollLock(0);
            break;
        case TunerState::Locked:
            CancelLockPoll();
            // What a sweep found is tuned the same way when the scan comes back.
            if (m_Probing && !m_Deliveries.count(m_Wanted)) m_Deliveries[m_Wanted] = m_Tuning;
            StartFilters();
            ReportSignal();
            if (LookingForNetwork()) ArmNitWait();
            break;
        case TunerState::NoLock:
            // A frequency that does not lock simply delivers nothing.
            StartFilters();
            break;
        case TunerState::Lost:
            CloseAllFilters();
            CloseFrontend();
            break;
    }
}

void LinuxDvbBackend::Tune(unsigned long frequencyKHz, int64_t) { TuneTo(frequencyKHz, false); }

bool LinuxDvbBackend::Probe(unsigned long frequencyKHz, int64_t) {
    TuneTo(frequencyKHz, true);
    return true;
}

void LinuxDvbBackend::TuneTo(unsigned long frequencyKHz, bool probing) {
    m_Probing = probing;
    // The card's own tuning ends a search for the network.
    if (m_Search == Search::Walking) {
        m_Search = Search::AtHome;
        CancelNitWait();
        m_NitDeadlineMs = 0;
    }
    m_Wanted = frequencyKHz;
    TuneWanted();
}

void LinuxDvbBackend::TuneWanted() {
    if (m_Host) return TuneNow();
    // Stopped: the tuning goes out with the start. A tuner that went stays
    // gone until then, so its one message stays the only one.
    if (m_Tuner != TunerState::Lost) Become(TunerState::Pending);
}

void LinuxDvbBackend::CancelLockPoll() {
    if (m_LockPoll && m_Host) m_Host->Cancel(*m_LockPoll);
    m_LockPoll.reset();
}

void LinuxDvbBackend::TuneNow() {
    CancelLockPoll();
    if (m_Wanted == 0) {
        if (m_Tuner != TunerState::Lost) Become(TunerState::Idle);
        return;
    }
    // A frontend that went may be back; asking it what it is may take as
    // long as a tuning.
    if (m_Frontend < 0) return ReopenThenTune();
    WatchFrontend();
    // The NIT this backend delivered knows the transport; while looking
    // for the network, the preset or the raster; else card.ini guesses.
    auto known = m_Deliveries.find(m_Wanted);
    DvbDelivery guess;
    guess.innerFec = FEC_AUTO;
    if (m_Search == Search::Walking) {
        guess.symbolRate = m_Candidate.symbolRate;
        guess.modulation = m_Candidate.modulation;
        guess.innerFec = m_Candidate.innerFec;
    }
    const DvbDelivery& from = known != m_Deliveries.end() ? known->second : guess;
    DvbDelivery d;
    d.symbolRate = from.symbolRate;
    d.modulation = from.modulation ? from.modulation : ModulationFromSetting(m_Settings.modulation);
    d.innerFec = from.innerFec;
    // What neither the NIT nor card.ini says is tried: the symbol rates
    // cable operators use, 6900 and 6875 ksym/s first, and without the
    // frontend's own search the constellations cable networks use, most
    // common first.
    std::vector<uint32_t> rates{d.symbolRate};
    if (d.symbolRate == 0) rates = m_Settings.symbolRates;
    if (rates.empty()) rates = broadcast::ExtendedSymbolRates();
    std::vector<uint32_t> modulations{d.modulation};
    if (d.modulation == QAM_AUTO && !m_CanQamAuto) modulations = {QAM_256, QAM_64, QAM_128};
    m_Attempts.clear();
    if (m_Probing && known == m_Deliveries.end()) {
        ProbeAttempts(d.modulation);
    } else {
        for (uint32_t rate : rates)
            for (uint32_t modulation : modulations) m_Attempts.push_back({rate, modulation});
    }
    PutTypedFirst(modulations);
    m_Tuning = d;
    // A frontend locked on this very transport keeps its lock: a DTV_TUNE
    // would drop it for the time the demodulator takes.
    DvbDelivery standing = d;
    if (modulations.size() > 1) standing.modulation = QAM_AUTO;
    // What the frontend said of an earlier tuning is old news from here.
    ++m_FrontendSerial;
    Become(TunerState::Sending);
    auto stands = std::make_shared<bool>(false);
    OnFrontend([stands, standing, kHz = m_Wanted](DvbSystem& system,
                                                  int fd) { *stands = StandsOn(system, fd, standing, kHz); },
               [this, stands] { TuneFrom(*stands); });
}

void LinuxDvbBackend::TuneFrom(bool standing) {
    if (standing) {
        m_Attempts.clear();
        if (m_Host) m_TunedAtMs = m_TuneBeganMs = m_Host->GetClock().NowMs();
        return Become(TunerState::Confirming);
    }
    // DTV_TUNE only wakes the frontend's thread: until it reads a lock, the
    // demux may still get the old transport. The filters stop (which empties
    // their buffers) and start again only once this tuning has locked.
    for (DemuxFilter& f : m_Filters)
        if (f.fd >= 0) m_System->Ioctl(f.fd, DMX_STOP, nullptr);
    if (m_Host) m_TuneBeganMs = m_Host->GetClock().NowMs();
    NextAttempt();
}

void LinuxDvbBackend::ProbeAttempts(uint32_t settingsModulation) {
    const auto add = [this](uint32_t rate, uint32_t modulation) {
        for (const Attempt& a : m_Attempts)
            if (a.symbolRate == rate && a.modulation == modulation) return;
        m_Attempts.push_back({rate, modulation});
    };
    // An operator keeps its transports alike: what the NIT says of the
    // others is the likeliest.
    for (const auto& [kHz, known] : m_Deliveries)
        if (known.symbolRate) add(known.symbolRate, known.modulation ? known.modulation : settingsModulation);
    std::vector<uint32_t> modulations{settingsModulation};
    if (settingsModulation == QAM_AUTO && !m_CanQamAuto) modulations = {QAM_256, QAM_64, QAM_128};
    std::vector<uint32_t> rates = m_Settings.symbolRates;
    for (uint32_t rate : broadcast::ExtendedSymbolRates()) rates.push_back(rate);
    for (uint32_t rate : rates)
        for (uint32_t modulation : modulations) add(rate, modulation);
}

void LinuxDvbBackend::ExpectDelivery(unsigned long frequencyKHz, uint32_t symbolRate, uint8_t modulation) {
    const uint32_t kernel = KernelModulation(modulation);
    if (frequencyKHz == 0 || (symbolRate == 0 && kernel == QAM_AUTO)) return;
    // Kept apart from the NIT's word: a typing error must not become the only
    // guess there for the rest of the session (a sweep tries a known
    // frequency only as it is known).
    DvbDelivery& given = m_Expected[frequencyKHz];
    given.symbolRate = symbolRate;
    given.modulation = kernel;
    // A tuning that is still guessing there starts again with it; the card
    // does not tune a frequency it stands on.
    if (m_Wanted == frequencyKHz && m_Search != Search::Walking && m_Tuner != TunerState::Lost && !LockSeen())
        TuneTo(frequencyKHz, false);
}

void LinuxDvbBackend::PutTypedFirst(const std::vector<uint32_t>& modulations) {
    const auto typed = m_Expected.find(m_Wanted);
    if (typed == m_Expected.end()) return;
    const DvbDelivery& t = typed->second;
    std::vector<Attempt> first;
    if (t.symbolRate == 0) {
        // Only the constellation: every guess with it comes first.
        for (const Attempt& a : m_Attempts)
            if (a.modulation == t.modulation || a.modulation == QAM_AUTO) first.push_back({a.symbolRate, t.modulation});
    } else if (t.modulation != QAM_AUTO) {
        first.push_back({t.symbolRate, t.modulation});
    } else {
        for (uint32_t modulation : modulations) first.push_back({t.symbolRate, modulation});
    }
    // Then the guesses without it, should it be wrong.
    for (const Attempt& a : m_Attempts)
        if (std::none_of(first.begin(), first.end(), [&](const Attempt& f) {
                return f.symbolRate == a.symbolRate && f.modulation == a.modulation;
            }))
            first.push_back(a);
    m_Attempts = std::move(first);
}

std::optional<Reception> LinuxDvbBackend::LockedWith(int64_t) const {
    if (m_Frontend < 0 || !LockSeen() || m_Tuning.symbolRate == 0) return std::nullopt;
    Reception reception{m_Tuning.symbolRate, 0};
    // EN 300 468 table 38 defines the codes 1 to 5.
    for (uint8_t code = 1; code <= 5; ++code)
        if (KernelModulation(code) == m_Tuning.modulation) reception.modulation = code;
    return reception;
}

void LinuxDvbBackend::NextAttempt() {
    const Attempt next = m_Attempts.front();
    m_Attempts.erase(m_Attempts.begin());
    m_Tuning.symbolRate = next.symbolRate;
    SendTuning(next.modulation);
}

bool LinuxDvbBackend::StandsOn(DvbSystem& system, int fd, const DvbDelivery& d, unsigned long kHz) {
    fe_status status{};
    if (system.Ioctl(fd, FE_READ_STATUS, &status) < 0 || !(status & FE_HAS_LOCK)) return false;
    dtv_property props[] = {Property(DTV_DELIVERY_SYSTEM), Property(DTV_FREQUENCY), Property(DTV_SYMBOL_RATE),
                            Property(DTV_MODULATION)};
    dtv_properties ps{static_cast<uint32_t>(std::size(props)), props};
    if (system.Ioctl(fd, FE_GET_PROPERTY, &ps) < 0) return false;
    return props[0].u.data == SYS_DVBC_ANNEX_A && props[1].u.data == kHz * 1000 &&
           (d.symbolRate == 0 || props[2].u.data == d.symbolRate) &&
           (d.modulation == QAM_AUTO || props[3].u.data == d.modulation);
}

void LinuxDvbBackend::StartFilters() {
    for (DemuxFilter& f : m_Filters) {
        if (f.fd < 0) continue;
        const int result = m_System->Ioctl(f.fd, DMX_START, nullptr);
        if (result == -ENODEV) return DeviceLost(m_DemuxPath, ENODEV);
    }
}

void LinuxDvbBackend::SendTuning(uint32_t modulation) {
    m_Tuning.modulation = modulation;
    Become(TunerState::Sending);
    auto result = std::make_shared<int>(0);
    OnFrontend(
        [result, tuning = m_Tuning, kHz = m_Wanted](DvbSystem& system, int fd) {
            dtv_property props[] = {
                Property(DTV_CLEAR),
                Property(DTV_DELIVERY_SYSTEM, SYS_DVBC_ANNEX_A),
                Property(DTV_FREQUENCY, static_cast<uint32_t>(kHz * 1000)),
                Property(DTV_SYMBOL_RATE, tuning.symbolRate),
                Property(DTV_MODULATION, tuning.modulation),
                Property(DTV_INNER_FEC, tuning.innerFec),
                Property(DTV_INVERSION, INVERSION_AUTO),
                Property(DTV_TUNE),
            };
            dtv_properties ps{static_cast<uint32_t>(std::size(props)), props};
            *result = system.Ioctl(fd, FE_SET_PROPERTY, &ps);
        },
        [this, result] { TuningSent(*result); });
}

void LinuxDvbBackend::TuningSent(int result) {
    if (result < 0) {
        if (-result == ENODEV) {
            DeviceLost(m_FrontendPath, -result);
        } else {
            char mhz[32];
            std::snprintf(mhz, sizeof mhz, "%.1f MHz", Mhz(m_Wanted));
            Report(m_FrontendPath + " refused to tune to " + mhz + ": " + ErrorText(-result) + ".");
            Become(TunerState::Idle);
        }
        return;
    }
    if (m_Host) m_TunedAtMs = m_Host->GetClock().NowMs();
    Become(TunerState::Tuning);
}

void LinuxDvbBackend::PollLock(int64_t delayMs) {
    CancelLockPoll();
    if (m_Host) m_LockPoll = m_Host->Post([this] { CheckLock(); }, delayMs);
}

void LinuxDvbBackend::CheckLock() {
    m_LockPoll.reset();
    if (!m_Host || m_Frontend < 0) return;
    struct Read {
        int result = 0;
        fe_status status{};
    };
    auto read = std::make_shared<Read>();
    OnFrontend([read](DvbSystem& system, int fd) { read->result = system.Ioctl(fd, FE_READ_STATUS, &read->status); },
               [this, read] { LockRead(read->result, read->status); });
}

void LinuxDvbBackend::LockRead(int result, uint32_t status) {
    // Stopped, or settled by another read meanwhile.
    if (!m_Host || m_Frontend < 0 || !AwaitingLock()) return;
    if (result == -ENODEV) return DeviceLost(m_FrontendPath, -result);
    // Some demodulators answer EAGAIN for a moment while they wake
    // (si2168, mn88472): read again at the next poll, as without a lock.
    if (result < 0) status = 0;
    if (status & FE_HAS_LOCK) return Become(TunerState::Locked);
    const int64_t waited = m_Host->GetClock().NowMs() - m_TunedAtMs;
    // Without a carrier, no other symbol rate finds anything there either.
    if (m_Probing && waited >= kProbeNoSignalMs && !(status & (FE_HAS_SIGNAL | FE_HAS_CARRIER))) {
        m_Attempts.clear();
        return Become(TunerState::NoLock);
    }
    if (LookingForNetwork() && waited >= kNoSignalMs && !(status & (FE_HAS_SIGNAL | FE_HAS_CARRIER)))
        return NoNetworkHere(true);
    if (!m_Attempts.empty() && waited >= kFallbackMs) return NextAttempt();
    const int64_t sinceFirst = m_Host->GetClock().NowMs() - m_TuneBeganMs;
    if (m_Attempts.empty() && waited >= kFallbackMs && sinceFirst >= kLockGiveUpMs) {
        if (LookingForNetwork()) return NoNetworkHere(false);
        return Become(TunerState::NoLock);
    }
    PollLock(kLockPollMs);
}

void LinuxDvbBackend::ReportSignal() {
    struct Figures {
        int result = 0;
        dtv_property props[2];
        bool v3 = false;
        uint16_t v3Strength = 0;
    };
    auto figures = std::make_shared<Figures>();
    OnFrontend(
        [figures](DvbSystem& system, int fd) {
            Figures& f = *figures;
            f.props[0] = Property(DTV_STAT_SIGNAL_STRENGTH);
            f.props[1] = Property(DTV_STAT_CNR);
            dtv_properties ps{2, f.props};
            f.result = system.Ioctl(fd, FE_GET_PROPERTY, &ps);
            // A driver without the DVBv5 statistic may still have the DVBv3
            // call, whose strength is relative, 0 to 65535.
            if (f.result >= 0 && f.props[0].u.st.len == 0)
                f.v3 = system.Ioctl(fd, FE_READ_SIGNAL_STRENGTH, &f.v3Strength) >= 0;
        },
        [this, figures, kHz = m_Wanted] {
            const Figures& f = *figures;
            if (f.result < 0 || !m_Sink) return;
            std::string strength = StatText(f.props[0], "dBm");
            if (f.v3) {
                char text[16];
                std::snprintf(text, sizeof text, "%u %%", static_cast<unsigned>(f.v3Strength) * 100 / 65535);
                strength = text;
            }
            const std::string cnr = StatText(f.props[1], "dB");
            if (strength.empty() && cnr.empty()) return;
            char mhz[32];
            std::snprintf(mhz, sizeof mhz, "%.1f MHz", Mhz(kHz));
            std::string text = std::string("Signal at ") + mhz + ":";
            if (!strength.empty()) text += " strength " + strength;
            if (!cnr.empty()) text += std::string(strength.empty() ? "" : ",") + " C/N " + cnr;
            m_Sink->OnStatusLine(text);
        });
}

}  // namespace cardlib
