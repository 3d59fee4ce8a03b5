// Sections decoded per second through the dispatcher, CRC check included, for
// the four tables a scan lives on, at the sizes a cable network sends them.
#include <benchmark/benchmark.h>

#include <string>
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

using Bytes = std::vector<unsigned char>;

void Put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<unsigned char>(v >> 8));
    b.push_back(static_cast<unsigned char>(v));
}
// Byte by byte: g++ 12 at -O3 misreads a range insert into a small vector as out of bounds.
void Append(Bytes& b, const Bytes& more) {
    for (unsigned char c : more) b.push_back(c);
}
Bytes operator+(Bytes a, const Bytes& b) {
    Append(a, b);
    return a;
}
Bytes Descriptor(unsigned char tag, const Bytes& body) {
    Bytes d;
    d.push_back(tag);
    d.push_back(static_cast<unsigned char>(body.size()));
    Append(d, body);
    return d;
}
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Section(unsigned char tableId, unsigned id, const Bytes& rest) {
    Bytes s{tableId};
    Put16(s, 0xB000 | (rest.size() + 9));
    Put16(s, id);
    Append(s, {0xC3, 0x00, 0x00});
    Append(s, rest);
    const uint32_t crc = si::Crc32Mpeg2(s.data(), s.size());
    for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<unsigned char>(crc >> shift));
    return s;
}

// One transport's PAT: the network PID and 12 programs (64 bytes).
Bytes Pat() {
    Bytes rest;
    for (unsigned i = 0; i <= 12; ++i) {
        Put16(rest, i == 0 ? 0 : 28000 + i);
        Put16(rest, 0xE000 | (i == 0 ? 16 : 100 + i));
    }
    return Section(0x00, 1101, rest);
}

// A TV service: video, two audio tracks, teletext and subtitles, each with its
// stream identifier and the usual descriptors (94 bytes).
Bytes Pmt() {
    Bytes rest;
    Put16(rest, 0xE000 | 101);
    const Bytes ca = Descriptor(0x09, {0x17, 0x22, 0xE1, 0x00});
    Put16(rest, 0xF000 | ca.size());
    Append(rest, ca);
    struct Stream {
        unsigned char type;
        unsigned pid;
        Bytes descriptors;
    };
    const Stream streams[] = {
        {0x02, 101, Descriptor(0x52, {1})},
        {0x04, 102, Descriptor(0x52, {2}) + Descriptor(0x0A, Text("deu") + Bytes{0})},
        {0x06, 106, Descriptor(0x52, {3}) + Descriptor(0x6A, {0x00}) + Descriptor(0x0A, Text("deu") + Bytes{0})},
        {0x06, 104, Descriptor(0x52, {4}) + Descriptor(0x56, Text("deu") + Bytes{0x09, 0x00})},
        {0x06, 105, Descriptor(0x52, {5}) + Descriptor(0x59, Text("deu") + Bytes{0x10, 0x00, 0x01, 0x00, 0x01})},
    };
    for (const Stream& s : streams) {
        rest.push_back(s.type);
        Put16(rest, 0xE000 | s.pid);
        Put16(rest, 0xF000 | s.descriptors.size());
        Append(rest, s.descriptors);
    }
    return Section(0x02, 28006, rest);
}

// Twelve services with names, providers and CA ids (462 bytes).
Bytes Sdt() {
    Bytes rest;
    Put16(rest, 0x0085);
    rest.push_back(0xFF);
    for (unsigned i = 0; i < 12; ++i) {
        const std::string name = "\x05Programm Nr. " + std::to_string(i + 1);
        Bytes service{0x01, 6};
        Append(service, Text("\x05Kabel"));
        service.push_back(static_cast<unsigned char>(name.size()));
        Append(service, Text(name));
        const Bytes d = Descriptor(0x48, service) + Descriptor(0x53, {0x17, 0x22, 0x06, 0x04});
        Put16(rest, 28001 + i);
        rest.push_back(0xFC);
        Put16(rest, 0x8000 | d.size());
        Append(rest, d);
    }
    return Section(0x42, 1101, rest);
}

// A cable network's NIT: 17 transports with cable delivery and service list
// descriptors (945 bytes).
Bytes Nit() {
    Bytes rest;
    const Bytes name = Descriptor(0x40, Text("Kabelnetz"));
    Put16(rest, 0xF000 | name.size());
    Append(rest, name);
    Bytes loop;
    for (unsigned t = 0; t < 17; ++t) {
        const unsigned mhz = 114 + 8 * t;
        Bytes cable{static_cast<unsigned char>(mhz / 100 % 10), static_cast<unsigned char>((mhz / 10 % 10) << 4 | mhz % 10),
                    0x00, 0x00, 0xFF, 0xF2, 0x03, 0x00, 0x69, 0x00, 0x05};
        Bytes list;
        for (unsigned s = 0; s < 11; ++s) {
            Put16(list, 28000 + 16 * t + s);
            list.push_back(0x01);
        }
        const Bytes d = Descriptor(0x44, cable) + Descriptor(0x41, list);
        Put16(loop, 1 + t);
        Put16(loop, 0x0085);
        Put16(loop, 0xF000 | d.size());
        Append(loop, d);
    }
    Put16(rest, 0xF000 | loop.size());
    Append(rest, loop);
    return Section(0x40, 0x0085, rest);
}

class CountingWindow : public ScanRowWriter {
public:
    uint64_t rows = 0;
    void AddTransport(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { ++rows; }
    void SetTransportSdtVersion(uint32_t, uint32_t, uint32_t) override { ++rows; }
    void AddServiceDetails(uint32_t, uint32_t, uint32_t, uint32_t, const std::string& name, const std::string&,
                           const std::vector<uint16_t>&, uint32_t) override {
        benchmark::DoNotOptimize(name.data());
        ++rows;
    }
    void SetServiceNvodReference(uint32_t, uint32_t, uint32_t, uint32_t) override { ++rows; }
    void AddPatEntry(int, int, int) override { ++rows; }
    void AddPmtStream(int, int, int, unsigned char, unsigned char, si::StreamKind) override { ++rows; }
};

void BM_DecodeThroughDispatch(benchmark::State& state, Bytes (*make)()) {
    fw::HeadlessHost host;
    res::RegisterResources(host);
    cardlib::Card card;
    card.Attach(host);
    const Bytes section = make();
    CountingWindow window;
    {
        fw::Dialog owner(host, res::IDD_PROGRAM_LIST);
        EpgDvbSocket socket(owner);
        socket.SetResultWindow(&window);
        for (auto _ : state) {
            const int result = socket.Dispatch(section.data(), static_cast<int>(section.size()));
            benchmark::DoNotOptimize(result);
        }
    }
    if (window.rows == 0) state.SkipWithError("the section produced no rows");
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * section.size()));
    state.counters["section_bytes"] = static_cast<double>(section.size());
    state.counters["rows_per_section"] = static_cast<double>(window.rows) / static_cast<double>(state.iterations());
}

BENCHMARK_CAPTURE(BM_DecodeThroughDispatch, PAT, Pat);
BENCHMARK_CAPTURE(BM_DecodeThroughDispatch, PMT, Pmt);
BENCHMARK_CAPTURE(BM_DecodeThroughDispatch, SDT, Sdt);
BENCHMARK_CAPTURE(BM_DecodeThroughDispatch, NIT, Nit);

}  // namespace
