// Arbitrary bytes into the transport-stream demux: it must neither crash nor
// hand over a section that is not exactly as long as its header says.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "cardlib/TsDemux.h"

namespace {

struct CheckingHandler : cardlib::SectionHandler {
    void OnSection(uint16_t, const uint8_t* data, size_t size) override {
        if (size < 3 || size > cardlib::TsDemux::kMaxSectionSize) std::abort();
        if (size != 3u + (((data[1] & 0x0Fu) << 8) | data[2])) std::abort();
        // Touch every byte, so a section pointing outside its storage shows.
        unsigned sum = 0;
        for (size_t i = 0; i < size; ++i) sum += data[i];
        sink += sum;
    }
    unsigned sink = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    // The first bytes choose the wanted PIDs and how the rest is split into reads.
    CheckingHandler handler;
    cardlib::TsDemux demux(handler);
    const uint16_t pid = static_cast<uint16_t>(((data[0] & 0x1F) << 8) | data[1]);
    demux.SetWanted(pid, true);
    demux.SetWanted(0x0000, true);
    demux.SetWanted(0x0010, true);
    const size_t chunk = 1 + ((static_cast<size_t>(data[2]) << 8 | data[3]) % 1024);
    data += 4;
    size -= 4;
    for (size_t at = 0; at < size; at += chunk) {
        const size_t n = size - at < chunk ? size - at : chunk;
        demux.Feed(data + at, n);
        if ((data[at] & 0x07) == 0) demux.Flush();
    }
    demux.Flush();
    // Unwanting in the middle of reassembly must forget cleanly, too.
    demux.SetWanted(pid, false);
    demux.Feed(data, size);
    return 0;
}
