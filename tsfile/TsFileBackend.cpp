#include "tsfile/TsFileBackend.h"

#include <algorithm>
#include <filesystem>
#include <limits>

#include "simnet/TsPacketizer.h"
#include "framework/Clock.h"

namespace cardlib {

namespace {

constexpr size_t kPacketSize = 188;
// The rate is measured over the PCRs in this much of the file's start.
constexpr size_t kRateProbeBytes = 4 * 1024 * 1024;
// After a stall (a modal loop, a suspended machine) at most this much is caught up; the rest is lost, as
// a card's buffer would overflow.
constexpr int64_t kMaxCatchUpMs = 1000;

// Bytes per second from the first and last PCR of the first PID that carries
// one; 0 when they tell nothing sensible.
uint64_t RateFromPcr(const std::vector<uint8_t>& data) {
    int pcrPid = -1;
    uint64_t firstPcr = 0, lastPcr = 0;
    size_t firstAt = 0, lastAt = 0;
    for (size_t at = 0; data.size() - at >= kPacketSize; at += kPacketSize) {
        const uint8_t* p = data.data() + at;
        uint64_t pcr = 0;
        if (!ReadPcr(p, &pcr)) continue;
        const int pid = ((p[1] & 0x1F) << 8) | p[2];
        if (pcrPid < 0) {
            pcrPid = pid;
            firstPcr = pcr, firstAt = at;
        } else if (pid == pcrPid) {
            lastPcr = pcr, lastAt = at;
        }
    }
    if (lastAt <= firstAt || lastPcr <= firstPcr) return 0;
    const long double rate = static_cast<long double>(lastAt - firstAt) * 27000000.0L / (lastPcr - firstPcr);
    // Between 10 kbit/s and 1 Gbit/s, or the PCRs are not to be believed.
    if (rate < 1250.0L || rate > 125000000.0L) return 0;
    return static_cast<uint64_t>(rate);
}

bool ParseFrequency(const std::string& stem, unsigned long* kHz) {
    if (stem.empty() || stem.size() > 9 || !std::all_of(stem.begin(), stem.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    *kHz = std::stoul(stem);
    return *kHz != 0;
}

}  // namespace

std::vector<unsigned long> TsFilesIn(const std::string& folder) {
    std::vector<unsigned long> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const auto& path = it->path();
        unsigned long kHz = 0;
        if (path.extension() == ".ts" && ParseFrequency(path.stem().string(), &kHz)) found.push_back(kHz);
    }
    std::sort(found.begin(), found.end());
    return found;
}

TsFileBackend::TsFileBackend(std::string folder, unsigned long homeFrequencyKHz)
    : m_Folder(std::move(folder)), m_Home(homeFrequencyKHz) {
    const auto files = TsFilesIn(m_Folder);
    if (m_Home == 0 && !files.empty()) m_Home = files.front();
    // Without a single capture nothing will ever come: better said now than
    // after a scan has waited for its NIT.
    std::error_code ec;
    const std::string advice = ". Set Folder in card.ini to a folder of captures named after their frequency in kHz "
                               "(346000.ts).";
    if (!std::filesystem::exists(m_Folder, ec))
        m_Problem = "No captures: the folder " + m_Folder + " does not exist" + advice;
    else if (!std::filesystem::is_directory(m_Folder, ec))
        m_Problem = "No captures: " + m_Folder + " is not a folder" + advice;
    else if (files.empty())
        m_Problem = "No captures in " + m_Folder + ": it holds no .ts file named after a frequency" + advice;
    // Tuned there long ago: playing, wherever the loop has got to.
    Open(m_Home);
    m_LockAtMs = 0;
}

TsFileBackend::~TsFileBackend() {
    Stop();
    Close();
}

void TsFileBackend::Close() {
    if (m_File) std::fclose(m_File);
    m_File = nullptr;
    m_LoopBytes = 0;
}

void TsFileBackend::Open(unsigned long frequencyKHz) {
    Close();
    if (frequencyKHz == 0) return;
    const std::filesystem::path path = std::filesystem::path(m_Folder) / (std::to_string(frequencyKHz) + ".ts");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size < kPacketSize) return;
    m_File = std::fopen(path.c_str(), "rb");
    if (!m_File) return;
    std::vector<uint8_t> probe(std::min<uintmax_t>(size, kRateProbeBytes));
    if (std::fread(probe.data(), 1, probe.size(), m_File) != probe.size()) {
        Close();
        return;
    }
    m_LoopBytes = static_cast<int64_t>(size - size % kPacketSize);
    m_BytesPerSecond = RateFromPcr(probe);
    if (m_BytesPerSecond == 0) m_BytesPerSecond = kDefaultBitsPerSecond / 8;
}

void TsFileBackend::Tune(unsigned long frequencyKHz, int64_t nowMs) {
    Open(frequencyKHz);
    m_LockAtMs = nowMs + kLockDelayMs;
    m_PlayedBytes = 0;
    if (m_Host) {
        if (m_HasPending) m_Host->Cancel(m_Pending);
        m_HasPending = false;
        if (m_File) {
            m_HasPending = true;
            m_Pending = m_Host->Post([this] { Tick(); }, kLockDelayMs);
        }
    }
}

int64_t TsFileBackend::BytesDueAt(int64_t nowMs) const {
    if (nowMs <= m_LockAtMs) return 0;
    const auto bytes = static_cast<int64_t>(static_cast<long double>(nowMs - m_LockAtMs) * m_BytesPerSecond / 1000.0L);
    return bytes - bytes % static_cast<int64_t>(kPacketSize);
}

void TsFileBackend::Start(fw::Host& host, PacketSink& sink) {
    m_Host = &host;
    m_Sink = &sink;
    if (!m_File) return;
    const int64_t now = host.GetClock().NowMs();
    // Nothing is owed for the time nobody listened.
    m_PlayedBytes = BytesDueAt(now);
    m_HasPending = true;
    m_Pending = host.Post([this] { Tick(); }, now < m_LockAtMs ? m_LockAtMs - now : 0);
}

void TsFileBackend::Stop() {
    if (m_Host && m_HasPending) m_Host->Cancel(m_Pending);
    m_HasPending = false;
    m_Host = nullptr;
    m_Sink = nullptr;
}

void TsFileBackend::Tick() {
    m_HasPending = false;
    if (!m_Host || !m_File) return;
    const int64_t now = m_Host->GetClock().NowMs();
    const int64_t due = BytesDueAt(now);
    const auto maxCatchUp = static_cast<int64_t>(m_BytesPerSecond * kMaxCatchUpMs / 1000);
    if (due - m_PlayedBytes > maxCatchUp) m_PlayedBytes = due - maxCatchUp + maxCatchUp % static_cast<int64_t>(kPacketSize);
    if (due > m_PlayedBytes) Feed(m_PlayedBytes, due);
    m_PlayedBytes = std::max(m_PlayedBytes, due);
    if (m_Host && m_File) {
        m_HasPending = true;
        m_Pending = m_Host->Post([this] { Tick(); }, kTickMs);
    }
}

void TsFileBackend::Feed(int64_t from, int64_t to) {
    while (from < to) {
        const int64_t offset = from % m_LoopBytes;
        const int64_t count = std::min(to - from, m_LoopBytes - offset);
        m_Buffer.resize(static_cast<size_t>(count));
        if (fseeko(m_File, static_cast<off_t>(offset), SEEK_SET) != 0 ||
            std::fread(m_Buffer.data(), 1, m_Buffer.size(), m_File) != m_Buffer.size()) {
            // The file went away under us: from now on the transport is dark.
            Close();
            return;
        }
        m_Sink->OnPackets(m_Buffer.data(), m_Buffer.size());
        from += count;
    }
}

}  // namespace cardlib
