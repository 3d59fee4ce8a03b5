// Demux throughput over an in-memory stream in which one packet in 500
// carries sections of the filtered PID.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "simnet/SimNetwork.h"
#include "cardlib/TsDemux.h"
#include "tsfile/TsFileBackend.h"
#include "simnet/TsPacketizer.h"
#include "testing/CaptureWriter.h"

namespace {

constexpr uint16_t kFilteredPid = 0x11;
constexpr size_t kPackets = 200000;  // 37.6 MB

struct CountingHandler : cardlib::SectionHandler {
    void OnSection(uint16_t, const uint8_t* data, size_t size) override {
        ++sections;
        bytes += size + data[0];
    }
    uint64_t sections = 0, bytes = 0;
};

std::vector<uint8_t> MakeStream() {
    // An SDT-like section of 600 bytes, so the filtered packets carry section
    // starts, continuations and ends.
    std::vector<uint8_t> section(600, 0x5A);
    section[0] = 0x42;
    section[1] = 0xB0 | ((600 - 3) >> 8);
    section[2] = (600 - 3) & 0xFF;
    cardlib::TsPacketizer packetizer;
    std::vector<uint8_t> filtered;
    while (filtered.size() < (kPackets / 500 + 8) * 188) packetizer.Packetize(kFilteredPid, {section, section}, filtered);

    std::vector<uint8_t> stream;
    stream.reserve(kPackets * 188);
    size_t nextFiltered = 0;
    uint8_t cc[8] = {};
    for (size_t i = 0; i < kPackets; ++i) {
        if (i % 500 == 499) {
            stream.insert(stream.end(), filtered.begin() + static_cast<std::ptrdiff_t>(nextFiltered),
                          filtered.begin() + static_cast<std::ptrdiff_t>(nextFiltered + 188));
            nextFiltered += 188;
            continue;
        }
        // Video, audio and other PIDs nobody filters.
        const unsigned which = static_cast<unsigned>(i % 8);
        const uint16_t pid = static_cast<uint16_t>(0x100 + which * 0x10);
        const size_t at = stream.size();
        stream.resize(at + 188, static_cast<uint8_t>(i));
        stream[at] = 0x47;
        stream[at + 1] = static_cast<uint8_t>((i % 40 == 0 ? 0x40 : 0) | (pid >> 8));
        stream[at + 2] = static_cast<uint8_t>(pid);
        stream[at + 3] = static_cast<uint8_t>(0x10 | (cc[which]++ & 0x0F));
    }
    return stream;
}

void BM_DemuxStream(benchmark::State& state) {
    static const std::vector<uint8_t> stream = MakeStream();
    const size_t chunk = static_cast<size_t>(state.range(0));
    CountingHandler handler;
    cardlib::TsDemux demux(handler);
    demux.SetWanted(kFilteredPid, true);
    demux.SetWanted(0x00, true);
    demux.SetWanted(0x10, true);
    for (auto _ : state) {
        for (size_t at = 0; at < stream.size(); at += chunk)
            demux.Feed(stream.data() + at, std::min(chunk, stream.size() - at));
        benchmark::DoNotOptimize(handler.bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream.size()));
    state.counters["sections"] = benchmark::Counter(static_cast<double>(handler.sections), benchmark::Counter::kIsRate);
}
// Read sizes: 64 KiB as a file or device read would deliver them, and the whole stream at once.
BENCHMARK(BM_DemuxStream)->Arg(64 * 1024)->Arg(static_cast<int64_t>(kPackets * 188))->Unit(benchmark::kMillisecond);

// The floor: a bare loop that reads every packet header and nothing else.
void BM_BareHeaderLoop(benchmark::State& state) {
    static const std::vector<uint8_t> stream = MakeStream();
    for (auto _ : state) {
        unsigned sum = 0;
        for (size_t at = 0; at + 188 <= stream.size(); at += 188)
            sum += stream[at] == 0x47 ? ((stream[at + 1] & 0x1F) << 8 | stream[at + 2]) : 0;
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream.size()));
}
BENCHMARK(BM_BareHeaderLoop)->Unit(benchmark::kMillisecond);

// Every table of the large simulated network (50 transports, 500 services),
// one repetition cycle each as its capture would hold it, with a filter on
// the PAT, NIT, SDT and every PMT PID: mostly reassembly.
void BM_DemuxLargeNetworkTables(benchmark::State& state) {
    static const std::vector<uint8_t> stream = [] {
        std::vector<uint8_t> all;
        for (const auto& t : cardlib::LargeNetwork().transports) {
            const auto one = cardlib::TransportStream(cardlib::LargeNetwork(), t);
            all.insert(all.end(), one.begin(), one.end());
        }
        return all;
    }();
    CountingHandler handler;
    cardlib::TsDemux demux(handler);
    for (uint16_t pid : {0x00, 0x10, 0x11}) demux.SetWanted(pid, true);
    for (uint16_t pid = 0x100; pid < 0x200; pid += 0x10) demux.SetWanted(pid, true);
    for (auto _ : state) {
        for (size_t at = 0; at < stream.size(); at += 64 * 1024)
            demux.Feed(stream.data() + at, std::min<size_t>(64 * 1024, stream.size() - at));
        benchmark::DoNotOptimize(handler.bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream.size()));
    state.counters["sections"] = benchmark::Counter(static_cast<double>(handler.sections), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DemuxLargeNetworkTables)->Unit(benchmark::kMillisecond);

}  // namespace
