/* Asks the kernel's DVB devices, in the guest, what Kelvane's emulated
 * devices claim they answer, and prints one "FACT name value" line each.
 * run.sh compares the values with what the emulation answers.
 * Usage: probe FREQUENCY_HZ [lock]
 *   without "lock": the dvb-core facts; with "lock": how long a tuning
 *   takes to lock (the tuner's delay). */
#include <errno.h>
#include <fcntl.h>
#include <linux/dvb/dmx.h>
#include <linux/dvb/frontend.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

static const char *kFrontend = "/dev/dvb/adapter0/frontend0";
static const char *kDemux = "/dev/dvb/adapter0/demux0";

static double Now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static int Tune(int fe, unsigned frequencyHz) {
    struct dtv_property p[] = {
        {.cmd = DTV_CLEAR},
        {.cmd = DTV_DELIVERY_SYSTEM, .u.data = SYS_DVBC_ANNEX_A},
        {.cmd = DTV_FREQUENCY, .u.data = frequencyHz},
        {.cmd = DTV_SYMBOL_RATE, .u.data = 6900000},
        {.cmd = DTV_MODULATION, .u.data = QAM_256},
        {.cmd = DTV_INNER_FEC, .u.data = FEC_NONE},
        {.cmd = DTV_TUNE},
    };
    struct dtv_properties ps = {sizeof p / sizeof p[0], p};
    return ioctl(fe, FE_SET_PROPERTY, &ps);
}

/* Seconds until FE_HAS_LOCK, or -1 after `limit` seconds. */
static double WaitLock(int fe, double limit) {
    const double start = Now();
    while (Now() - start < limit) {
        fe_status_t status = 0;
        if (ioctl(fe, FE_READ_STATUS, &status) == 0 && (status & FE_HAS_LOCK)) return Now() - start;
        usleep(20000);
    }
    return -1;
}

static int SectionFilter(unsigned pid, unsigned timeoutMs) {
    const int fd = open(kDemux, O_RDONLY | O_NONBLOCK);
    if (fd < 0) return -errno;
    struct dmx_sct_filter_params f;
    memset(&f, 0, sizeof f);
    f.pid = pid;
    f.timeout = timeoutMs;
    f.flags = DMX_IMMEDIATE_START;
    if (ioctl(fd, DMX_SET_FILTER, &f) < 0) return -errno;
    return fd;
}

static int ReadErrno(int fd) {
    unsigned char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    return n >= 0 ? 0 : errno;
}

static void PrintRevents(const char *name, short r) {
    printf("FACT %s", name);
    const char *sep = " ";
    if (r & POLLIN) printf("%sPOLLIN", sep), sep = "|";
    if (r & POLLPRI) printf("%sPOLLPRI", sep), sep = "|";
    if (r & POLLERR) printf("%sPOLLERR", sep), sep = "|";
    if (r & POLLHUP) printf("%sPOLLHUP", sep), sep = "|";
    if (!r) printf(" 0");
    printf("\n");
}

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: probe FREQUENCY_HZ [lock]\n");
        return 2;
    }
    const unsigned frequency = (unsigned)strtoul(argv[1], NULL, 10);
    const int fe = open(kFrontend, O_RDWR | O_NONBLOCK);
    if (fe < 0) {
        printf("FACT frontend_open %s\n", strerror(errno));
        return 1;
    }
    if (argc > 2 && strcmp(argv[2], "lock") == 0) {
        /* From elsewhere first, so the tuning is a real move. */
        Tune(fe, frequency + 16000000);
        usleep(300000);
        Tune(fe, frequency);
        fe_status_t status = 0;
        ioctl(fe, FE_READ_STATUS, &status);
        printf("FACT status_right_after_tune %s\n", (status & FE_HAS_LOCK) ? "locked" : "unlocked");
        printf("FACT lock_seconds %.2f\n", WaitLock(fe, 10));
        return 0;
    }

    /* dvb_frontend_open: one writer at a time. */
    const int second = open(kFrontend, O_RDWR | O_NONBLOCK);
    printf("FACT frontend_second_rdwr_errno %d\n", second < 0 ? errno : 0);
    if (second >= 0) close(second);

    /* dvb_frontend_handle_ioctl: a driver without read_snr. */
    unsigned short snr = 0;
    const int r = ioctl(fe, FE_READ_SNR, &snr);
    printf("FACT fe_read_snr_errno %d\n", r < 0 ? errno : 0);

    /* dvb_demux_open: filternum opens, then EMFILE. */
    static int fds[4096];
    int opened = 0, lastErrno = 0;
    while (opened < 4096) {
        const int fd = open(kDemux, O_RDONLY | O_NONBLOCK);
        if (fd < 0) {
            lastErrno = errno;
            break;
        }
        fds[opened++] = fd;
    }
    printf("FACT demux_opens %d\n", opened);
    printf("FACT demux_open_after_errno %d\n", lastErrno);
    for (int i = 0; i < opened; i++) close(fds[i]);

    if (Tune(fe, frequency) < 0 || WaitLock(fe, 10) < 0) {
        printf("FACT lock none\n");
        return 1;
    }

    /* dvb_dmxdev_filter_timeout: a silent PID's filter times out. */
    const int silent = SectionFilter(0x1234, 1000);
    struct pollfd p = {silent, POLLIN | POLLPRI, 0};
    const int ready = poll(&p, 1, 3000);
    PrintRevents("timeout_revents", ready > 0 ? p.revents : 0);
    printf("FACT timeout_read1_errno %d\n", ReadErrno(silent));
    printf("FACT timeout_read2_errno %d\n", ReadErrno(silent));
    close(silent);

    /* dvb_dmxdev_filter_stop flushes what was buffered. */
    const int pat = SectionFilter(0x0000, 0);
    p = (struct pollfd){pat, POLLIN, 0};
    const int got = poll(&p, 1, 3000);
    printf("FACT pat_before_stop %s\n", got > 0 && (p.revents & POLLIN) ? "readable" : "none");
    ioctl(pat, DMX_STOP);
    printf("FACT read_after_stop_errno %d\n", ReadErrno(pat));
    close(pat);
    close(fe);
    return 0;
}
