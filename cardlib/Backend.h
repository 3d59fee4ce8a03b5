// What the stand-in card needs from a source of transport-stream packets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fw {
class Host;
}

namespace cardlib {

// Where a backend puts the packets of the tuned transport: the card's demux.
class PacketSink {
public:
    virtual ~PacketSink() = default;
    // Whole packets: the data ends on a packet boundary. (The demux still
    // checks every sync byte, so a damaged source cannot hurt it.)
    virtual void OnPackets(const uint8_t* data, size_t size) = 0;
    // Whether some section filter is set on `pid`; a backend may leave out the
    // packets nobody listens to.
    virtual bool Wants(uint16_t pid) const = 0;

    // For a backend whose device filters sections itself: the card's filters
    // that are set now, and where the sections they pass go back in. The card
    // checks every byte of the filter again on the way in.
    struct Filter {
        unsigned short handle = 0;
        uint16_t pid = 0;
        std::vector<uint8_t> value, mask;
    };
    virtual std::vector<Filter> SetFilters() const { return {}; }
    virtual void OnFilterSection(unsigned short handle, const uint8_t* data, size_t size) {
        (void)handle, (void)data, (void)size;
    }
    // A line for the user about the reception (signal figures after a lock).
    virtual void OnStatusLine(const std::string& text) { (void)text; }
    // A trouble the user must know of; the backend tells each one once.
    virtual void OnProblem(const std::string& text) { (void)text; }
};

// What the front end locked with: symbols/s and the constellation as EN 300
// 468 table 38 codes it (0: not known).
struct Reception {
    uint32_t symbolRate = 0;
    uint8_t modulation = 0;
};

// A source of transport-stream packets for the frequency the front end is
// tuned to. All timing goes through the host's Post; a stopped backend has
// nothing posted, so an idle program uses no CPU.
class Backend {
public:
    virtual ~Backend() = default;
    // Where the front end stands when the card starts (kHz), already locked.
    virtual unsigned long HomeFrequency() const = 0;
    // The front end is told to tune at `nowMs`; the old transport's packets
    // stop at once. May come while started or stopped.
    virtual void Tune(unsigned long frequencyKHz, int64_t nowMs) = 0;
    // Begins delivering packets into `sink` through `host`. The card starts a
    // backend while a host is attached and some filter is set.
    virtual void Start(fw::Host& host, PacketSink& sink) = 0;
    // Stops all timing: nothing stays posted.
    virtual void Stop() = 0;
    // The set of PIDs that `Wants` answers for has changed while started.
    virtual void WantedChanged() {}
    // The filters that PacketSink::SetFilters answers with have changed while
    // started (a backend that filters sections itself follows them).
    virtual void FiltersChanged() {}
    // Whether the front end is walking frequencies in search of the network.
    virtual bool Searching() const { return false; }
    // Whether the front end has locked on what it was tuned to last; nothing
    // where the backend cannot tell.
    virtual std::optional<bool> Locked(int64_t nowMs) const {
        (void)nowMs;
        return std::nullopt;
    }
    // Whether the front end has stopped trying to lock on what it was tuned
    // to last (its lock time and every guess of the parameters are over):
    // nothing comes from there before the next tuning. False while it still
    // tries, and where the backend cannot tell.
    virtual bool LockGivenUp(int64_t nowMs) const {
        (void)nowMs;
        return false;
    }
    // A step of a sweep: tunes to a frequency no table names, trying the
    // symbol rates and constellations the backend knows of, then the
    // operators' others. A frequency without a carrier is given up on after
    // a short signal check (LockGivenUp), so an empty step is cheap. False:
    // this backend cannot sweep, and nothing was tuned.
    virtual bool Probe(unsigned long frequencyKHz, int64_t nowMs) {
        (void)frequencyKHz, (void)nowMs;
        return false;
    }
    // What the front end locked with on the frequency tuned last; nothing
    // before a lock and where the backend cannot tell.
    virtual std::optional<Reception> LockedWith(int64_t nowMs) const {
        (void)nowMs;
        return std::nullopt;
    }
    // What the user knows of one transport: how `frequencyKHz` is tuned
    // (symbols/s and the EN 300 468 table 38 modulation code; 0: not known,
    // the backend's own guesses), taken like what a NIT says of it. Comes
    // before the tuning it is for; a backend that tunes without parameters
    // ignores it.
    virtual void ExpectDelivery(unsigned long frequencyKHz, uint32_t symbolRate, uint8_t modulation) {
        (void)frequencyKHz, (void)symbolRate, (void)modulation;
    }
    // What keeps the backend from receiving anything anywhere (no captures
    // to play), one line for the user; empty while something may come.
    virtual std::string SourceProblem() const { return {}; }
};

}  // namespace cardlib
