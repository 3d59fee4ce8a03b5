#include "testing/CaptureWriter.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <numeric>

#include "simnet/BroadcastSchedule.h"
#include "simnet/TsPacketizer.h"

namespace cardlib {

namespace {

constexpr size_t kPacketSize = 188;
// The captures were recorded from this moment on (2026-12-08 20:00:00 UTC): their TDT and TOT say so.
constexpr int64_t kCaptureStartUtcMs = 1796760000000;

}  // namespace

std::vector<uint8_t> TransportStream(const SimNetwork& network, const SimTransport& transport) {
    // A capture replays from its start at every tune, so it holds the
    // transport as it is after its update: a new service once seen stays.
    const std::vector<SimTable> tables = TransportTables(network, transport, 0);
    int64_t cycleMs = 1;
    for (const SimTable& t : tables) cycleMs = std::lcm(cycleMs, t.intervalMs);

    struct Emission {
        int64_t atMs;
        size_t table;
    };
    std::vector<Emission> emissions;
    size_t payloadPackets = 0;
    for (size_t i = 0; i < tables.size(); ++i) {
        std::vector<uint8_t> once;
        TsPacketizer().Packetize(tables[i].pid, tables[i].SectionsAt(kCaptureStartUtcMs), once);
        for (int64_t at = tables[i].phaseMs; at < cycleMs; at += tables[i].intervalMs) {
            if (at < tables[i].fromMs || at >= tables[i].untilMs) continue;
            emissions.push_back({at, i});
            payloadPackets += once.size() / kPacketSize;
        }
    }
    std::stable_sort(emissions.begin(), emissions.end(), [](const Emission& a, const Emission& b) { return a.atMs < b.atMs; });

    // Constant rate with room to spare, so no table waits long behind another.
    constexpr int64_t kPcrIntervalMs = 40;
    const int64_t pcrPackets = cycleMs / kPcrIntervalMs;
    const int64_t packetsPerSecond =
        std::max<int64_t>(500, 2 * (static_cast<int64_t>(payloadPackets) + pcrPackets) * 1000 / cycleMs);
    const int64_t slots = packetsPerSecond * cycleMs / 1000;
    uint16_t pcrPid = 0x1FFE;
    for (const SimService& s : transport.services)
        if (s.pmtPid != 0 && s.pcrPid != 0x1FFF) {
            pcrPid = s.pcrPid;
            break;
        }

    TsPacketizer packetizer;
    std::deque<std::vector<uint8_t>> queue;
    std::vector<uint8_t> stream;
    stream.reserve(static_cast<size_t>(slots) * kPacketSize);
    size_t next = 0;
    int64_t nextPcrMs = 0;
    for (int64_t slot = 0; slot < slots; ++slot) {
        const int64_t slotMs = slot * 1000 / packetsPerSecond;
        for (; next < emissions.size() && emissions[next].atMs <= slotMs; ++next) {
            std::vector<uint8_t> packets;
            const SimTable& table = tables[emissions[next].table];
            packetizer.Packetize(table.pid, table.SectionsAt(kCaptureStartUtcMs + emissions[next].atMs), packets);
            for (size_t at = 0; at < packets.size(); at += kPacketSize)
                queue.emplace_back(packets.begin() + static_cast<std::ptrdiff_t>(at),
                                   packets.begin() + static_cast<std::ptrdiff_t>(at + kPacketSize));
        }
        if (slotMs >= nextPcrMs) {
            packetizer.AppendPcr(pcrPid, static_cast<uint64_t>(slot) * 27000000u / static_cast<uint64_t>(packetsPerSecond),
                                 stream);
            nextPcrMs += kPcrIntervalMs;
        } else if (!queue.empty()) {
            stream.insert(stream.end(), queue.front().begin(), queue.front().end());
            queue.pop_front();
        } else {
            TsPacketizer::AppendNull(stream);
        }
    }
    return stream;
}

bool WriteTsFolder(const SimNetwork& network, const std::string& folder, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        if (error) *error = "cannot create " + folder + ": " + ec.message();
        return false;
    }
    for (const SimTransport& t : network.transports) {
        if (!t.locks) continue;  // no signal, no capture
        const std::vector<uint8_t> stream = TransportStream(network, t);
        const std::filesystem::path path = std::filesystem::path(folder) / (std::to_string(t.frequencyKHz) + ".ts");
        std::FILE* f = std::fopen(path.c_str(), "wb");
        const bool ok = f && std::fwrite(stream.data(), 1, stream.size(), f) == stream.size();
        if (f && std::fclose(f) != 0) {
            if (error) *error = "cannot write " + path.string();
            return false;
        }
        if (!ok) {
            if (error) *error = "cannot write " + path.string();
            return false;
        }
    }
    return true;
}

}  // namespace cardlib
