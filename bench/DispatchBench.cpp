// Sections per second through the dispatcher with its bit-by-bit CRC check,
// against the bare CRC loop over the same 1 KiB sections.
#include <benchmark/benchmark.h>

#include <vector>

#include "acquisition/EpgDvbSocket.h"
#include "cardlib/Card.h"
#include "framework/Dialog.h"
#include "framework/headless/HeadlessHost.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"
#include "broadcast/Crc32.h"
#include "si/ScanRowWriter.h"

namespace {

constexpr size_t kSectionBytes = 1024;

std::vector<unsigned char> WithCrc(std::vector<unsigned char> section) {
    const uint32_t crc = si::Crc32Mpeg2(section.data(), section.size());
    for (int shift = 24; shift >= 0; shift -= 8) section.push_back(static_cast<unsigned char>(crc >> shift));
    return section;
}

// A 1 KiB PAT: 8 header bytes, 253 programs, CRC.
std::vector<unsigned char> PatSection() {
    constexpr size_t programs = (kSectionBytes - 12) / 4;
    const size_t sectionLength = kSectionBytes - 3;
    std::vector<unsigned char> s{0x00, static_cast<unsigned char>(0xB0 | (sectionLength >> 8)),
                                 static_cast<unsigned char>(sectionLength & 0xFF), 0x04, 0x44, 0xC1, 0x00, 0x00};
    for (size_t i = 0; i < programs; ++i) {
        const unsigned program = 0x100 + static_cast<unsigned>(i), pid = 0x100 + static_cast<unsigned>(i);
        s.insert(s.end(), {static_cast<unsigned char>(program >> 8), static_cast<unsigned char>(program),
                           static_cast<unsigned char>(0xE0 | (pid >> 8)), static_cast<unsigned char>(pid)});
    }
    return WithCrc(s);
}

// A 1 KiB section of a table id nothing decodes (stuffing): CRC and routing only.
std::vector<unsigned char> StuffingSection() {
    const size_t sectionLength = kSectionBytes - 3;
    std::vector<unsigned char> s{0x72, static_cast<unsigned char>(0xB0 | (sectionLength >> 8)),
                                 static_cast<unsigned char>(sectionLength & 0xFF)};
    s.resize(kSectionBytes - 4, 0xFF);
    return WithCrc(s);
}

class NullWriter : public ScanRowWriter {
public:
    void AddTransport(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override {}
    void SetTransportSdtVersion(uint32_t, uint32_t, uint32_t) override {}
    void AddServiceDetails(uint32_t, uint32_t, uint32_t, uint32_t, const std::string&, const std::string&,
                           const std::vector<uint16_t>&, uint32_t) override {}
    void SetServiceNvodReference(uint32_t, uint32_t, uint32_t, uint32_t) override {}
    void AddPatEntry(int, int, int pid) override { benchmark::DoNotOptimize(pid); }
    void AddPmtStream(int, int, int, unsigned char, unsigned char, si::StreamKind) override {}
};

void Finish(benchmark::State& state) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSectionBytes));
}

void BM_BareCrc(benchmark::State& state) {
    const std::vector<unsigned char> section = state.range(0) == 0 ? StuffingSection() : PatSection();
    for (auto _ : state) {
        uint32_t crc = si::Crc32Mpeg2(section.data(), section.size());
        benchmark::DoNotOptimize(crc);
    }
    Finish(state);
}

void BM_Dispatch(benchmark::State& state) {
    fw::HeadlessHost host;
    res::RegisterResources(host);
    cardlib::Card card;
    card.Attach(host);
    {
        fw::Dialog owner(host, res::IDD_PROGRAM_LIST);
        EpgDvbSocket socket(owner);
        NullWriter window;
        socket.SetResultWindow(&window);
        const std::vector<unsigned char> section = state.range(0) == 0 ? StuffingSection() : PatSection();
        for (auto _ : state) {
            int result = socket.Dispatch(section.data(), static_cast<int>(section.size()));
            benchmark::DoNotOptimize(result);
        }
    }
    Finish(state);
}

// Argument 0: a table id that is only checked; 1: a PAT that is decoded too.
BENCHMARK(BM_BareCrc)->Arg(0)->Arg(1);
BENCHMARK(BM_Dispatch)->Arg(0)->Arg(1);

}  // namespace
