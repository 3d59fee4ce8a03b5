// The Linux DVB backend's section filters: one demux descriptor per filter
// of the card, read when the host says it is readable.
#include "linuxdvb/LinuxDvbBackend.h"

#include <fcntl.h>
#include <linux/dvb/dmx.h>
#include <sys/ioctl.h>
#include <linux/dvb/frontend.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "linuxdvb/LinuxDvbCalls.h"
#include "linuxdvb/LinuxDvbNit.h"
#include "broadcast/SiTags.h"

namespace cardlib {

using linuxdvb::ErrorText;

namespace {

// ISO/IEC 13818-1: a private section is at most 4096 bytes.
constexpr size_t kMaxSection = 4096;
// Sections taken from one descriptor per wake-up; more wake it again.
constexpr int kReadsPerWake = 64;

}  // namespace

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
    // No section time-out, and no CRC check: the dispatcher must see every
    // section. A filter set while a tuning has not locked yet starts with
    // the lock.
    params.timeout = 0;
    params.flags = AwaitingLock() ? 0 : DMX_IMMEDIATE_START;
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
        // A tuning on its way to the frontend: what comes is the old
        // transport's, which the card asked to leave.
        if (m_Tuner == TunerState::Sending) continue;
        const size_t size = static_cast<size_t>(n);
        if (pid == si::pid::kNit && LearnDeliveriesFromNit(section, size, m_Deliveries)) NetworkFound();
        // The handler only queues, so the filters stay as they are here.
        m_Sink->OnFilterSection(handle, section, size);
    }
}

}  // namespace cardlib
