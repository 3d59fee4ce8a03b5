// The Linux DVB backend: the frontend's probing, start and stop, and what it
// tells the user. Tuning, filters and the NIT have files of their own.
#include "linuxdvb/LinuxDvbBackend.h"

#include <fcntl.h>
#include <linux/dvb/dmx.h>
#include <sys/ioctl.h>
#include <linux/dvb/frontend.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "linuxdvb/LinuxDvbCalls.h"

namespace cardlib {

using linuxdvb::ErrorText;
using linuxdvb::Property;

LinuxDvbBackend::LinuxDvbBackend(DvbSettings settings, std::shared_ptr<DvbSystem> system)
    : m_Settings(settings),
      m_System(std::move(system)),
      m_FrontendPath(DvbDevicePath(settings.adapter, "frontend", settings.frontend)),
      m_DemuxPath(DvbDevicePath(settings.adapter, "demux", settings.demux)) {
    m_Home = settings.homeFrequencyKHz;
    if (settings.findAdapter) FindCableAdapter();
    if (OpenFrontend() && m_Home == 0) {
        // Where another program left the tuner, the network may well be.
        dtv_property p = Property(DTV_FREQUENCY);
        dtv_properties ps{1, &p};
        if (m_System->Ioctl(m_Frontend, FE_GET_PROPERTY, &ps) == 0) m_Home = p.u.data / 1000;
        if (m_Home == 0 && !m_Settings.search)
            Report("The tuner " + m_FrontendPath +
                   " stands on no frequency: set HomeFrequency in card.ini to a frequency (kHz) of your cable "
                   "network, where the scan reads the network's table.");
    }
    m_Wanted = m_Home;
}

LinuxDvbBackend::~LinuxDvbBackend() {
    Stop();
    CloseFrontend();
    // Waits for the call in progress and the close queued behind it.
    m_Worker.reset();
}

bool LinuxDvbBackend::OffersCable(DvbSystem& system, int fd, const dvb_frontend_info& info, std::string& offers) {
    // A frontend for several standards names them all here; FE_GET_INFO's
    // type tells only one of them.
    bool cable = info.type == FE_QAM;
    dtv_property p = Property(DTV_ENUM_DELSYS);
    dtv_properties ps{1, &p};
    if (system.Ioctl(fd, FE_GET_PROPERTY, &ps) == 0) {
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
    return cable;
}

void LinuxDvbBackend::FindCableAdapter() {
    // The first adapter whose frontend receives cable: a DVB-T stick or a
    // satellite card may well be adapter 0.
    std::string skipped;
    for (unsigned adapter = 0; adapter < kAdaptersProbed; ++adapter) {
        const std::string path = DvbDevicePath(adapter, "frontend", m_Settings.frontend);
        const int fd = m_System->Open(path, O_RDONLY | O_NONBLOCK);
        if (fd < 0) continue;
        dvb_frontend_info info;
        std::memset(&info, 0, sizeof info);
        std::string offers;
        const bool known = m_System->Ioctl(fd, FE_GET_INFO, &info) == 0;
        info.name[sizeof info.name - 1] = '\0';
        const bool cable = known && OffersCable(*m_System, fd, info, offers);
        m_System->Close(fd);
        if (!cable) {
            skipped += (skipped.empty() ? "" : "; ") + path + (offers.empty() ? "" : " receives " + offers);
            continue;
        }
        m_Settings.adapter = adapter;
        m_FrontendPath = path;
        m_DemuxPath = DvbDevicePath(adapter, "demux", m_Settings.demux);
        m_Chosen = "Tuner: " + path + " (\"" + info.name + "\"), the first DVB-C frontend" +
                   (skipped.empty() ? std::string() : " (" + skipped + ")");
        return;
    }
}

struct LinuxDvbBackend::FrontendProbe {
    std::shared_ptr<DvbSystem> system;
    int fd = -1;  // a DVB-C frontend, until Adopt takes it
    int openError = 0, infoError = 0;
    bool cable = false;
    dvb_frontend_info info{};
    std::string offers;
    FrontendProbe() = default;
    FrontendProbe(const FrontendProbe&) = delete;
    FrontendProbe& operator=(const FrontendProbe&) = delete;
    ~FrontendProbe() {
        if (fd >= 0) system->Close(fd);
    }
};

std::shared_ptr<LinuxDvbBackend::FrontendProbe> LinuxDvbBackend::OpenAndProbe(const std::shared_ptr<DvbSystem>& system,
                                                                       const std::string& path) {
    auto probe = std::make_shared<FrontendProbe>();
    probe->system = system;
    const int fd = system->Open(path, O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        probe->openError = -fd;
        return probe;
    }
    probe->fd = fd;
    const int result = system->Ioctl(fd, FE_GET_INFO, &probe->info);
    if (result < 0) {
        probe->infoError = -result;
        return probe;
    }
    probe->info.name[sizeof probe->info.name - 1] = '\0';
    probe->cable = OffersCable(*system, fd, probe->info, probe->offers);
    return probe;
}

bool LinuxDvbBackend::OpenFrontend() {
    if (m_Frontend >= 0) return true;
    return Adopt(*OpenAndProbe(m_System, m_FrontendPath));
}

bool LinuxDvbBackend::Adopt(FrontendProbe& probe) {
    if (probe.openError != 0) {
        const int error = probe.openError;
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
    if (probe.infoError != 0) {
        Report("Cannot ask " + m_FrontendPath + " what it is (FE_GET_INFO): " + ErrorText(probe.infoError) + ".");
        return false;
    }
    if (!probe.cable) {
        Report(m_FrontendPath + " (\"" + probe.info.name + "\") is not a DVB-C frontend" +
               (probe.offers.empty() ? std::string() : ": it receives " + probe.offers) +
               ". Kelvane scans cable networks (DVB-C, ITU-T J.83 annex A); set Adapter and Frontend in card.ini "
               "to a cable tuner.");
        return false;
    }
    m_CanQamAuto = (probe.info.caps & FE_CAN_QAM_AUTO) != 0;
    m_Frontend = probe.fd;
    probe.fd = -1;
    // The tuner is back: its troubles may be told again.
    m_Reported.clear();
    if (m_Tuner == TunerState::Lost) Become(TunerState::Idle);
    return true;
}

void LinuxDvbBackend::ReopenThenTune() {
    // A probe on its way tunes to what is wanted when it returns.
    if (m_Reopening) return;
    m_Reopening = true;
    auto probe = std::make_shared<std::shared_ptr<FrontendProbe>>();
    RunOnWorker([probe, system = m_System, path = m_FrontendPath] { *probe = OpenAndProbe(system, path); },
                [this, probe] {
                    m_Reopening = false;
                    if (m_Frontend < 0 && !Adopt(**probe)) {
                        if (m_Tuner != TunerState::Lost) Become(TunerState::Idle);
                        return;
                    }
                    TuneNow();
                });
}

void LinuxDvbBackend::RunOnWorker(std::function<void()> work, std::function<void()> done) {
    if (m_Worker) return m_Worker->Submit(std::move(work), std::move(done));
    work();
    if (done) done();
}

void LinuxDvbBackend::OnFrontend(std::function<void(DvbSystem&, int fd)> call, std::function<void()> then) {
    const uint64_t serial = m_FrontendSerial;
    RunOnWorker([system = m_System, fd = m_Frontend, call = std::move(call)] { call(*system, fd); },
                [this, serial, then = std::move(then)] {
                    if (serial == m_FrontendSerial) then();
                });
}

void LinuxDvbBackend::CloseFrontend() {
    CancelLockPoll();
    UnwatchFrontend();
    ++m_FrontendSerial;
    // Behind the calls still queued for it, which need it open.
    if (m_Frontend >= 0) RunOnWorker([system = m_System, fd = m_Frontend] { system->Close(fd); }, nullptr);
    m_Frontend = -1;
}

void LinuxDvbBackend::Start(fw::Host& host, PacketSink& sink) {
    if (!m_Worker || m_WorkerHost != &host) {
        m_Worker = host.MakeWorker();
        m_WorkerHost = &host;
    }
    m_Host = &host;
    m_Sink = &sink;
    if (!m_Chosen.empty()) StatusLine(m_Chosen);
    m_Chosen.clear();
    WatchFrontend();
    // A device that went may be back: it is tried again.
    if (m_Tuner == TunerState::Pending || m_Tuner == TunerState::Lost) {
        TuneNow();
        // No home known: the network is looked for.
        if (m_Wanted == 0 && LookingForNetwork() && m_Search != Search::Walking && m_Frontend >= 0) BeginWalk();
    } else if (AwaitingLock()) {
        // Stopped between two requests while the tuner was still locking:
        // the lock (and its signal line) is still to be seen. Look at once,
        // as requests may come and go faster than the polling interval.
        PollLock(0);
    }
    if (m_NitDeadlineMs != 0) ArmNitWait();
    FiltersChanged();
}

void LinuxDvbBackend::Stop() {
    CancelLockPoll();
    CancelNitWait();
    UnwatchFrontend();
    CloseAllFilters();
    m_Host = nullptr;
    m_Sink = nullptr;
}


void LinuxDvbBackend::WatchFrontend() {
    if (m_FrontendWatch || !m_Host || m_Frontend < 0 || m_EventsInFlight) return;
    m_FrontendWatch = m_Host->Watch(m_Frontend, [this] { OnFrontendEvents(); });
}

void LinuxDvbBackend::UnwatchFrontend() {
    if (m_FrontendWatch && m_Host) m_Host->Unwatch(*m_FrontendWatch);
    m_FrontendWatch.reset();
}

void LinuxDvbBackend::OnFrontendEvents() {
    if (m_EventsInFlight || m_Frontend < 0) return;
    struct Events {
        bool locked = false, lost = false, unreadable = false;
    };
    auto events = std::make_shared<Events>();
    const uint64_t serial = m_FrontendSerial;
    m_EventsInFlight = true;
    RunOnWorker(
        [events, system = m_System, fd = m_Frontend] {
            // dvb-core keeps at most 8 events; more are lost with one EOVERFLOW.
            for (int i = 0; i < 10; ++i) {
                dvb_frontend_event event;
                std::memset(&event, 0, sizeof event);
                const int result = system->Ioctl(fd, FE_GET_EVENT, &event);
                if (result == -EOVERFLOW) continue;
                if (result == -ENODEV) {
                    events->lost = true;
                    return;
                }
                if (result < 0) {
                    // Nothing more queued; a frontend without events is read.
                    events->unreadable = result != -EAGAIN && result != -EWOULDBLOCK;
                    return;
                }
                events->locked = events->locked || (event.status & FE_HAS_LOCK) != 0;
            }
        },
        [this, events, serial] {
            m_EventsInFlight = false;
            if (serial != m_FrontendSerial) return WatchFrontend();
            if (events->lost) return DeviceLost(m_FrontendPath, ENODEV);
            if (events->unreadable) UnwatchFrontend();
            else WatchFrontend();
            if (events->locked && AwaitingLock()) {
                CancelLockPoll();
                CheckLock();
            }
        });
    // The descriptor stays readable until the read returns: not watched
    // meanwhile, so the loop does not spin on it.
    if (m_EventsInFlight) UnwatchFrontend();
}

void LinuxDvbBackend::DeviceLost(const std::string& path, int error) {
    // A device that was never there has not gone: the frontend's own
    // message said what is missing.
    if (!FrontendWasThere()) {
        CloseAllFilters();
        CloseFrontend();
        Report("No DVB adapter: " + path + " was not found (" + ErrorText(error) +
               "). Plug in the tuner, or set Adapter and Frontend in card.ini.");
        return;
    }
    Report(path.substr(0, path.rfind('/')) + " has gone (" + ErrorText(error) +
           "): the tuner was unplugged or its driver failed. The scan's requests end by time-out; the program list "
           "is kept.");
    Become(TunerState::Lost);
}

void LinuxDvbBackend::Report(const std::string& text) {
    // One message for one trouble, however many calls run into it, until
    // the tuner works again; a lost tuner's one message says it all.
    if (m_Tuner == TunerState::Lost || !m_Reported.insert(text).second) return;
    if (!m_Sink) {
        m_Problem = text;
        return;
    }
    m_Sink->OnProblem(text);
}

}  // namespace cardlib
