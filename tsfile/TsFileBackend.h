// Transport-stream files: a folder with one capture per transport, named after
// its frequency in kHz ("346000.ts"), played as if the card received it. The
// writer that turns a simulated network into such a folder is a test rig
// (testing/CaptureWriter.h).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cardlib/Backend.h"
#include "framework/Host.h"

namespace cardlib {

// Tuning opens "<folder>/<kHz>.ts" and, after the lock delay, plays it from
// the start at the stream's own rate (from its PCRs, or 50 Mbit/s without
// them), looping. A missing, empty or unreadable file is a transport that does
// not lock. While started, the packets due are handed over every 20 ms.
class TsFileBackend final : public Backend {
public:
    static constexpr int64_t kLockDelayMs = 500;
    static constexpr int64_t kTickMs = 20;
    static constexpr uint64_t kDefaultBitsPerSecond = 50000000;

    // `homeFrequencyKHz` 0: the lowest frequency among the folder's files.
    explicit TsFileBackend(std::string folder, unsigned long homeFrequencyKHz = 0);
    ~TsFileBackend() override;
    TsFileBackend(const TsFileBackend&) = delete;
    TsFileBackend& operator=(const TsFileBackend&) = delete;

    unsigned long HomeFrequency() const override { return m_Home; }
    void Tune(unsigned long frequencyKHz, int64_t nowMs) override;
    // A capture stands for a transport that locked; no capture, no signal.
    std::optional<bool> Locked(int64_t) const override { return m_File != nullptr; }
    // No capture of the frequency: a transport that does not lock.
    bool LockGivenUp(int64_t nowMs) const override { return m_File == nullptr && nowMs >= m_LockAtMs; }
    // A capture has no symbol rate: the file is there or not. Its reception
    // stays unknown.
    bool Probe(unsigned long frequencyKHz, int64_t nowMs) override {
        Tune(frequencyKHz, nowMs);
        return true;
    }
    void Start(fw::Host& host, PacketSink& sink) override;
    void Stop() override;

    // A folder that is missing or holds no capture: the card can receive
    // nothing, and says so once, when it is made.
    std::string SourceProblem() const override { return m_Problem; }

    // The rate the tuned file plays at, in bytes per second; 0 when nothing locks.
    uint64_t BytesPerSecond() const { return m_File ? m_BytesPerSecond : 0; }

private:
    void Open(unsigned long frequencyKHz);
    void Close();
    int64_t BytesDueAt(int64_t nowMs) const;
    void Tick();
    void Feed(int64_t from, int64_t to);

    std::string m_Folder;
    std::string m_Problem;
    unsigned long m_Home = 0;
    std::FILE* m_File = nullptr;
    int64_t m_LoopBytes = 0;  // the file's whole packets
    uint64_t m_BytesPerSecond = 0;
    int64_t m_LockAtMs = 0;
    int64_t m_PlayedBytes = 0;  // stream bytes since lock handed over (or skipped)
    fw::Host* m_Host = nullptr;
    PacketSink* m_Sink = nullptr;
    fw::TaskId m_Pending = 0;
    bool m_HasPending = false;
    std::vector<uint8_t> m_Buffer;
};

// Frequencies (kHz) of the "<kHz>.ts" files in `folder`, ascending.
std::vector<unsigned long> TsFilesIn(const std::string& folder);

}  // namespace cardlib
