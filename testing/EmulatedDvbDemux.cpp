// The emulated devices' demux: dmxdev's section filters, their buffers and
// readiness, fed by the tuned transport's broadcast schedule.
#include <fcntl.h>
#include <linux/dvb/dmx.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "testing/EmulatedDvb.h"
#include "framework/Clock.h"

namespace cardlib {

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
            file.oneShot = (params.flags & DMX_ONESHOT) != 0;
            file.timeoutMs = params.timeout;
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
            // dmxdev.c, dvb_dmxdev_filter_timer: the time-out runs from the
            // start until the first section.
            file.deadlineMs = file.timeoutMs ? m_Host.GetClock().NowMs() + file.timeoutMs : 0;
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
    std::lock_guard lock(m_Mutex);
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
    std::lock_guard lock(m_Mutex);
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
            // dmxdev.c, dvb_demux_poll: data or an error is POLLIN | POLLPRI,
            // an error POLLERR besides.
            const short data = static_cast<short>(fds[i].events & (POLLIN | POLLRDNORM | POLLPRI));
            if (it->second.error != 0) fds[i].revents |= static_cast<short>(data | POLLERR);
            if (!it->second.sections.empty()) fds[i].revents |= data;
        }
        ready += fds[i].revents != 0;
    }
    return ready;
}

void EmulatedDvb::Unplug() {
    std::lock_guard lock(m_Mutex);
    m_Gone = true;
    m_Schedule.Off();
    if (m_HasPending) m_Host.Cancel(m_Pending);
    m_HasPending = false;
    ++m_EmitSerial;
    for (auto& [fd, file] : m_Files) UpdateReadiness(fd, file);
}

void EmulatedDvb::FailNextRead(uint16_t pid, int error) {
    std::lock_guard lock(m_Mutex);
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
    ++m_EmitSerial;
    if (m_Gone) return;
    auto wanted = [this](uint16_t pid) { return Wanted(pid); };
    int64_t next = m_Schedule.NextDueMs(wanted);
    for (const auto& [fd, file] : m_Files)
        if (file.started && file.deadlineMs) next = std::min(next, file.deadlineMs);
    if (OldArrives()) next = std::min(next, m_Old.NextDueMs(wanted));
    if (next == SimTable::kNeverMs) return;
    const int64_t now = m_Host.GetClock().NowMs();
    m_HasPending = true;
    m_Pending = m_Host.Post(
        [this, serial = m_EmitSerial] {
            std::lock_guard lock(m_Mutex);
            if (serial == m_EmitSerial) Emit();
        },
        next > now ? next - now : 0);
}

void EmulatedDvb::Emit() {
    m_HasPending = false;
    auto deliver = [this](uint16_t pid, const std::vector<Section>& sections) {
        for (auto& [fd, file] : m_Files) {
            if (file.frontend || !file.started || file.pid != pid) continue;
            for (const Section& section : sections) {
                if (!file.started || !Matches(file, section)) continue;
                // A full buffer loses the section and says so at the next read.
                if (file.bufferSize - file.buffered < section.size()) {
                    file.error = EOVERFLOW;
                    continue;
                }
                file.sections.push_back(section);
                file.buffered += section.size();
                file.deadlineMs = 0;
                // dmxdev.c, dvb_dmxdev_section_callback: DMX_ONESHOT is done.
                if (file.oneShot) file.started = false;
            }
            UpdateReadiness(fd, file);
        }
    };
    // dmxdev.c, dvb_dmxdev_filter_timeout: ETIMEDOUT at the next read, and
    // the filter stops.
    const int64_t now = m_Host.GetClock().NowMs();
    for (auto& [fd, file] : m_Files) {
        if (!file.started || !file.deadlineMs || now < file.deadlineMs) continue;
        file.deadlineMs = 0;
        file.started = false;
        file.error = ETIMEDOUT;
        UpdateReadiness(fd, file);
    }
    auto wanted = [this](uint16_t pid) { return Wanted(pid); };
    if (OldArrives()) m_Old.SendDue(m_Host.GetClock().NowMs(), wanted, deliver);
    m_Schedule.SendDue(m_Host.GetClock().NowMs(), wanted, deliver);
    Schedule();
}

}  // namespace cardlib

namespace cardlib {

void EmulatedDvbAdapters::Add(std::shared_ptr<EmulatedDvb> adapter, unsigned number) {
    std::lock_guard lock(m_Mutex);
    m_Adapters[number] = std::move(adapter);
}

int EmulatedDvbAdapters::Open(const std::string& path, int flags) {
    std::lock_guard lock(m_Mutex);
    for (auto& [number, adapter] : m_Adapters) {
        const std::string prefix = "/dev/dvb/adapter" + std::to_string(number) + "/";
        if (path.rfind(prefix, 0) != 0) continue;
        const int fd = adapter->Open(path, flags);
        if (fd >= 0) m_Descriptors[fd] = adapter.get();
        return fd;
    }
    return -ENOENT;
}

DvbSystem* EmulatedDvbAdapters::Owner(int fd) const {
    std::lock_guard lock(m_Mutex);
    const auto it = m_Descriptors.find(fd);
    return it == m_Descriptors.end() ? nullptr : it->second;
}

int EmulatedDvbAdapters::Ioctl(int fd, unsigned long request, void* arg) {
    DvbSystem* owner = Owner(fd);
    return owner ? owner->Ioctl(fd, request, arg) : -EBADF;
}

long EmulatedDvbAdapters::Read(int fd, uint8_t* buffer, size_t size) {
    DvbSystem* owner = Owner(fd);
    return owner ? owner->Read(fd, buffer, size) : -EBADF;
}

int EmulatedDvbAdapters::Poll(pollfd* fds, size_t count, int timeoutMs) {
    int ready = 0;
    for (size_t i = 0; i < count; ++i) {
        DvbSystem* owner = Owner(fds[i].fd);
        fds[i].revents = POLLNVAL;
        if (owner && owner->Poll(&fds[i], 1, timeoutMs) < 0) fds[i].revents = POLLERR;
        ready += fds[i].revents != 0;
    }
    return ready;
}

int EmulatedDvbAdapters::Close(int fd) {
    DvbSystem* owner = Owner(fd);
    if (!owner) return -EBADF;
    {
        std::lock_guard lock(m_Mutex);
        m_Descriptors.erase(fd);
    }
    return owner->Close(fd);
}

}  // namespace cardlib
