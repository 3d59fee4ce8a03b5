// The emulated devices answer as Linux's dvb-core does, call by call, so
// what passes over them would pass over a real kernel.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/dvb/dmx.h>
#include <linux/dvb/frontend.h>
#include <poll.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <vector>

#include "simnet/SimNetwork.h"
#include "testing/EmulatedDvb.h"
#include "framework/headless/HeadlessHost.h"

namespace {

using cardlib::EmulatedDvb;

const char kFrontend[] = "/dev/dvb/adapter0/frontend0";
const char kDemux[] = "/dev/dvb/adapter0/demux0";

struct Props {
    std::vector<dtv_property> p;
    Props& Add(uint32_t cmd, uint32_t data = 0) {
        dtv_property x{};
        x.cmd = cmd;
        x.u.data = data;
        p.push_back(x);
        return *this;
    }
    int Run(EmulatedDvb& dvb, int fd, unsigned long request) {
        dtv_properties ps{static_cast<uint32_t>(p.size()), p.data()};
        return dvb.Ioctl(fd, request, &ps);
    }
};

class LinuxDvbKernel : public ::testing::Test {
protected:
    fw::HeadlessHost host;
    const cardlib::SimNetwork& network = cardlib::DefaultNetwork();
    const cardlib::SimTransport& home = network.transports[network.homeTransport];
};

// drivers/media/dvb-core/dvb_frontend.c
TEST_F(LinuxDvbKernel, FrontendAnswersAsDvbFrontendDoes) {
    EmulatedDvb::Setup setup;
    setup.retuneMs = 50;
    EmulatedDvb dvb(host, network, setup);
    const int fe = dvb.Open(kFrontend, O_RDWR | O_NONBLOCK);
    ASSERT_GE(fe, 0);
    // dtv_property_process_get: DTV_API_VERSION is (5 << 8) | minor, 11 on
    // Linux 6.1 and 12 on 6.12, so only the major is held to; the cache
    // starts on delsys[0] (dvb_register_frontend).
    Props get;
    get.Add(DTV_API_VERSION).Add(DTV_DELIVERY_SYSTEM);
    ASSERT_EQ(get.Run(dvb, fe, FE_GET_PROPERTY), 0);
    EXPECT_EQ(get.p[0].u.data >> 8, 5u);
    EXPECT_GE(get.p[0].u.data & 0xFFu, 10u);
    EXPECT_EQ(get.p[1].u.data, unsigned(SYS_DVBC_ANNEX_A));
    // dvb_frontend_clear_cache: DTV_CLEAR leaves QAM_AUTO. DTV_TUNE without
    // DTV_DELIVERY_SYSTEM tunes what the cache holds.
    Props tune;
    tune.Add(DTV_CLEAR).Add(DTV_FREQUENCY, home.frequencyKHz * 1000).Add(DTV_SYMBOL_RATE, home.symbolRate);
    ASSERT_EQ(tune.Run(dvb, fe, FE_SET_PROPERTY), 0);
    Props modulation;
    modulation.Add(DTV_MODULATION);
    ASSERT_EQ(modulation.Run(dvb, fe, FE_GET_PROPERTY), 0);
    EXPECT_EQ(modulation.p[0].u.data, unsigned(QAM_AUTO));
    Props go;
    go.Add(DTV_MODULATION, QAM_64).Add(DTV_TUNE);
    ASSERT_EQ(go.Run(dvb, fe, FE_SET_PROPERTY), 0);
    // dtv_set_frontend: the event queue holds one event with status 0, and
    // the frontend polls readable (dvb_frontend_poll: POLLIN | POLLPRI).
    pollfd p{fe, POLLPRI, 0};
    EXPECT_EQ(dvb.Poll(&p, 1, 0), 1);
    EXPECT_TRUE(p.revents & POLLPRI);
    dvb_frontend_event event{};
    ASSERT_EQ(dvb.Ioctl(fe, FE_GET_EVENT, &event), 0);
    EXPECT_EQ(event.status, 0);
    EXPECT_EQ(dvb.Ioctl(fe, FE_GET_EVENT, &event), -EWOULDBLOCK);
    // FE_READ_STATUS reads 0 while the retune has not happened.
    fe_status status{};
    host.Advance(10);
    ASSERT_EQ(dvb.Ioctl(fe, FE_READ_STATUS, &status), 0);
    EXPECT_EQ(status, 0);
    // The lock comes as an event of its own.
    host.Advance(network.timing.lockMaxMs);
    std::vector<unsigned> events;
    while (dvb.Ioctl(fe, FE_GET_EVENT, &event) == 0) events.push_back(event.status);
    ASSERT_FALSE(events.empty());
    EXPECT_TRUE(events.back() & FE_HAS_LOCK);
    // dtv_property_process_get after a tuning: the tuned values; a statistic
    // the driver does not measure has len 0 and fails nothing.
    Props tuned;
    tuned.Add(DTV_SYMBOL_RATE).Add(DTV_MODULATION).Add(DTV_STAT_ERROR_BLOCK_COUNT).Add(DTV_STAT_CNR);
    ASSERT_EQ(tuned.Run(dvb, fe, FE_GET_PROPERTY), 0);
    EXPECT_EQ(tuned.p[0].u.data, home.symbolRate);
    EXPECT_EQ(tuned.p[1].u.data, unsigned(QAM_64));
    EXPECT_EQ(tuned.p[2].u.st.len, 0u);
    EXPECT_EQ(tuned.p[3].u.st.len, 1u);
    // The DVBv3 calls work on the same cache.
    dvb_frontend_parameters v3{};
    ASSERT_EQ(dvb.Ioctl(fe, FE_GET_FRONTEND, &v3), 0);
    EXPECT_EQ(v3.frequency, home.frequencyKHz * 1000);
    EXPECT_EQ(v3.u.qam.modulation, QAM_64);
    uint16_t strength = 0;
    ASSERT_EQ(dvb.Ioctl(fe, FE_READ_SIGNAL_STRENGTH, &strength), 0);
    EXPECT_GT(strength, 0);
    v3.frequency = network.transports[0].frequencyKHz * 1000 + 8000000;
    ASSERT_EQ(dvb.Ioctl(fe, FE_SET_FRONTEND, &v3), 0);
    EXPECT_EQ(dvb.Tunings().back().frequencyHz, v3.frequency);
}

// drivers/media/dvb-core/dmxdev.c
TEST_F(LinuxDvbKernel, DemuxAnswersAsDmxdevDoes) {
    EmulatedDvb::Setup setup;
    setup.standsOnHome = true;
    setup.demuxFilters = 3;
    EmulatedDvb dvb(host, network, setup);
    auto filter = [&](uint16_t pid, uint32_t flags, uint32_t timeoutMs) {
        const int fd = dvb.Open(kDemux, O_RDONLY | O_NONBLOCK);
        dmx_sct_filter_params params{};
        params.pid = pid;
        params.timeout = timeoutMs;
        params.flags = flags | DMX_IMMEDIATE_START;
        EXPECT_EQ(dvb.Ioctl(fd, DMX_SET_FILTER, &params), 0);
        return fd;
    };
    uint8_t buffer[4096];
    // DMX_ONESHOT: one section, then the filter is done (dvb_dmxdev_section_callback).
    const int oneShot = filter(0x00, DMX_ONESHOT, 0);
    // A section time-out with nothing on the PID: ETIMEDOUT once, and the
    // filter stops (dvb_dmxdev_filter_timeout); dvb_demux_poll sets POLLPRI.
    const int silent = filter(0x1234, 0, 1000);
    const int pat = filter(0x00, 0, 0);
    // dvb_demux_open: no more than filternum opens.
    EXPECT_EQ(dvb.Open(kDemux, O_RDONLY), -EMFILE);
    host.Advance(1000 + 3 * network.timing.patIntervalMs);
    EXPECT_GT(dvb.Read(oneShot, buffer, sizeof buffer), 0);
    EXPECT_EQ(dvb.Read(oneShot, buffer, sizeof buffer), -EAGAIN);
    pollfd p{silent, POLLIN | POLLPRI, 0};
    EXPECT_EQ(dvb.Poll(&p, 1, 0), 1);
    EXPECT_TRUE(p.revents & POLLPRI);
    EXPECT_EQ(dvb.Read(silent, buffer, sizeof buffer), -ETIMEDOUT);
    EXPECT_EQ(dvb.Read(silent, buffer, sizeof buffer), -EAGAIN);
    // DMX_STOP flushes what was buffered (dvb_dmxdev_filter_stop).
    p = {pat, POLLIN, 0};
    ASSERT_EQ(dvb.Poll(&p, 1, 0), 1);
    ASSERT_EQ(dvb.Ioctl(pat, DMX_STOP, nullptr), 0);
    EXPECT_EQ(dvb.Read(pat, buffer, sizeof buffer), -EAGAIN);
    for (int fd : {oneShot, silent, pat}) EXPECT_EQ(dvb.Close(fd), 0);
    EXPECT_GE(dvb.Open(kDemux, O_RDONLY), 0);
}

// The emulation answers as the kernel's demux does.
TEST_F(LinuxDvbKernel, EmulatedDemuxReadsOneSectionAtATimeAndReportsAnOverrunOnce) {
    EmulatedDvb dvb(host, network);
    const int fe = dvb.Open(kFrontend, O_RDWR);
    ASSERT_GE(fe, 0);
    EXPECT_EQ(dvb.Open(kFrontend, O_RDWR), -EBUSY);
    dtv_property props[3] = {};
    props[0].cmd = DTV_DELIVERY_SYSTEM;
    props[0].u.data = SYS_DVBS2;
    dtv_properties ps{1, props};
    EXPECT_EQ(dvb.Ioctl(fe, FE_SET_PROPERTY, &ps), -EINVAL);
    props[0].u.data = SYS_DVBC_ANNEX_A;
    props[1].cmd = DTV_FREQUENCY;
    props[1].u.data = 346000000;
    props[2].cmd = DTV_SYMBOL_RATE;
    props[2].u.data = 6900000;
    ps.num = 3;
    ASSERT_EQ(dvb.Ioctl(fe, FE_SET_PROPERTY, &ps), 0);
    props[0].cmd = DTV_MODULATION;
    props[0].u.data = QAM_64;
    props[1].cmd = DTV_TUNE;
    ps.num = 2;
    ASSERT_EQ(dvb.Ioctl(fe, FE_SET_PROPERTY, &ps), 0);
    fe_status status{};
    ASSERT_EQ(dvb.Ioctl(fe, FE_READ_STATUS, &status), 0);
    EXPECT_FALSE(status & FE_HAS_LOCK);
    host.Advance(network.timing.lockMaxMs);
    ASSERT_EQ(dvb.Ioctl(fe, FE_READ_STATUS, &status), 0);
    EXPECT_TRUE(status & FE_HAS_LOCK);

    const int dmx = dvb.Open("/dev/dvb/adapter0/demux0", O_RDONLY | O_NONBLOCK);
    ASSERT_GE(dmx, 0);
    // Room for one PAT section only.
    EXPECT_EQ(dvb.Ioctl(dmx, DMX_SET_BUFFER_SIZE, reinterpret_cast<void*>(uintptr_t{100})), 0);
    dmx_sct_filter_params params{};
    params.pid = 0;
    params.flags = DMX_IMMEDIATE_START;
    ASSERT_EQ(dvb.Ioctl(dmx, DMX_SET_FILTER, &params), 0);
    uint8_t buffer[4096];
    EXPECT_EQ(dvb.Read(dmx, buffer, sizeof buffer), -EAGAIN);
    host.Advance(network.timing.patIntervalMs);
    const long first = dvb.Read(dmx, buffer, sizeof buffer);
    EXPECT_EQ(first, 3 + (((buffer[1] & 0x0F) << 8) | buffer[2]));
    EXPECT_EQ(dvb.Read(dmx, buffer, sizeof buffer), -EAGAIN);
    host.Advance(3 * network.timing.patIntervalMs);
    EXPECT_EQ(dvb.Read(dmx, buffer, sizeof buffer), -EOVERFLOW);
    EXPECT_EQ(dvb.Read(dmx, buffer, sizeof buffer), -EAGAIN);  // the buffer went with the error
    host.Advance(network.timing.patIntervalMs);
    EXPECT_EQ(dvb.Read(dmx, buffer, sizeof buffer), first);
    dvb.Unplug();
    EXPECT_EQ(dvb.Read(dmx, buffer, sizeof buffer), -ENODEV);
    pollfd p{dmx, POLLIN, 0};
    EXPECT_EQ(dvb.Poll(&p, 1, 0), 1);
    EXPECT_TRUE(p.revents & POLLERR);
    EXPECT_EQ(dvb.Close(dmx), 0);
    EXPECT_EQ(dvb.Close(fe), 0);
}

}  // namespace
