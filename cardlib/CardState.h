// The installed card's state, which the card's control API (Card.cpp) and the
// card library's classes (TTCommDVB.cpp) share: the filter and socket slots,
// the demux and the backend. Only those two files include it.
#pragma once

#include <algorithm>
#include <deque>
#include <memory>
#include <vector>

#include "card/TTCommDVB.h"
#include "cardlib/Backend.h"
#include "cardlib/Card.h"
#include "cardlib/TsDemux.h"
#include "framework/Clock.h"

namespace cardlib {

// What the card and the library's classes share.
inline constexpr unsigned short kNoHandle = 0xFFFF;
// Filters longer than this are refused, as the card's hardware filters are.
inline constexpr unsigned kMaxFilterLength = 16;
// Sections waiting on one socket before further ones are dropped (the card's
// receive storage).
inline constexpr size_t kMaxQueuedSections = 1024;
// The socket layer's "invalid argument" (WSAEINVAL): SOpen on a handle that
// names no filter.
inline constexpr int kErrorInvalidHandle = 10022;

struct FilterSlot {
    CPIDFilter* owner = nullptr;
    Card::State* card = nullptr;  // null once the card is gone
    bool set = false;
    unsigned short handle = kNoHandle;
    uint16_t pid = 0;
    unsigned length = 0;
    uint8_t value[kMaxFilterLength] = {};
    uint8_t mask[kMaxFilterLength] = {};
    unsigned short mode = 0;

    bool Matches(const uint8_t* data, size_t size) const {
        if (size < length) return false;
        for (unsigned i = 0; i < length; ++i)
            if ((data[i] & mask[i]) != (value[i] & mask[i])) return false;
        return true;
    }
};

struct SocketSlot {
    CDVBWinSock* owner = nullptr;
    Card::State* card = nullptr;  // null once the card is gone
    unsigned short handle = kNoHandle;  // the filter it is open on
    std::deque<std::vector<uint8_t>> queue;
    bool notifying = false;
    fw::TaskId notification = 0;
};

struct Card::State : PacketSink, SectionHandler {
    State() : demux(*this) {}

    fw::Host* host = nullptr;
    std::unique_ptr<Backend> backend;
    bool backendRunning = false;
    CardFaults faults;
    CardCalls calls;
    unsigned long frequency = 0;
    std::vector<FilterSlot*> filters;
    std::vector<SocketSlot*> sockets;
    unsigned short nextHandle = 1;
    TsDemux demux;

    // PacketSink
    void OnPackets(const uint8_t* data, size_t size) override {
        demux.Feed(data, size);
        demux.Flush();
    }
    bool Wants(uint16_t pid) const override { return demux.Wants(pid); }

    // SectionHandler
    void OnSection(uint16_t pid, const uint8_t* data, size_t size) override { Deliver(pid, data, size); }

    void Deliver(uint16_t pid, const uint8_t* data, size_t size) {
        for (FilterSlot* filter : filters) {
            if (!filter->set || filter->pid != pid || !filter->Matches(data, size)) continue;
            Queue(filter->handle, data, size);
        }
    }

    void Queue(unsigned short handle, const uint8_t* data, size_t size) {
        for (SocketSlot* socket : sockets) {
            if (socket->handle != handle) continue;
            if (socket->queue.size() >= kMaxQueuedSections) continue;
            socket->queue.emplace_back(data, data + size);
            Notify(*socket);
        }
    }

    // Section-level backends: they set the card's filters on their device.
    std::vector<Filter> SetFilters() const override {
        std::vector<Filter> set;
        for (const FilterSlot* f : filters) {
            if (!f->set) continue;
            set.push_back(Filter{f->handle, f->pid, std::vector<uint8_t>(f->value, f->value + f->length),
                                 std::vector<uint8_t>(f->mask, f->mask + f->length)});
        }
        return set;
    }
    void OnFilterSection(unsigned short handle, const uint8_t* data, size_t size) override {
        for (FilterSlot* filter : filters) {
            if (filter->set && filter->handle == handle && filter->Matches(data, size)) Queue(handle, data, size);
        }
    }
    void OnStatusLine(const std::string& text) override {
        if (listener) listener->OnCardStatus(text);
    }
    void OnProblem(const std::string& text) override {
        problems.push_back(text);
        PostProblems();
    }
    // Problems go out from the host's queue, in order, one after the other.
    void PostProblems() {
        if (problemDelivery || !host || !listener || problems.empty()) return;
        problemDelivery = host->Post([this] {
            while (listener && !problems.empty()) {
                const std::string text = problems.front();
                problems.pop_front();
                listener->OnCardProblem(text);
            }
            problemDelivery.reset();
        });
    }
    CardListener* listener = nullptr;
    std::deque<std::string> problems;
    std::optional<fw::TaskId> problemDelivery;

    void FiltersChanged() {
        if (backendRunning) backend->FiltersChanged();
    }

    void Notify(SocketSlot& socket) {
        if (socket.notifying || !host || socket.queue.empty()) return;
        socket.notifying = true;
        SocketSlot* slot = &socket;
        socket.notification = host->Post([slot] {
            slot->notifying = false;
            slot->owner->OnReceive(0);
        });
    }

    void CancelNotification(SocketSlot& socket) {
        if (socket.notifying && host) host->Cancel(socket.notification);
        socket.notifying = false;
    }

    unsigned short AllocateHandle() {
        for (;;) {
            const unsigned short candidate = nextHandle;
            nextHandle = static_cast<unsigned short>(nextHandle + 1);
            if (candidate == kNoHandle || candidate == 0) continue;
            const bool inUse = std::any_of(filters.begin(), filters.end(), [&](const FilterSlot* f) {
                return f->set && f->handle == candidate;
            });
            if (!inUse) return candidate;
        }
    }

    // The demux reassembles exactly the PIDs that some set filter names.
    void UpdateWanted(uint16_t pid) {
        const bool wanted = std::any_of(filters.begin(), filters.end(), [&](const FilterSlot* f) {
            return f->set && f->pid == pid;
        });
        if (wanted == demux.Wants(pid)) return;
        demux.SetWanted(pid, wanted);
        UpdateBackend(true);
    }

    // A backend runs only while something can receive, so an idle program
    // has nothing posted.
    void UpdateBackend(bool wantedChanged) {
        const bool anySet = std::any_of(filters.begin(), filters.end(), [](const FilterSlot* f) { return f->set; });
        const bool shouldRun = host && backend && anySet;
        if (shouldRun && !backendRunning) {
            backendRunning = true;
            backend->Start(*host, *this);
        } else if (!shouldRun && backendRunning) {
            backendRunning = false;
            if (backend) backend->Stop();
        } else if (backendRunning && wantedChanged) {
            backend->WantedChanged();
        }
    }

    void Tune(unsigned long kHz) {
        frequency = kHz;
        demux.Reset();
        if (backend) backend->Tune(kHz, host ? host->GetClock().NowMs() : fw::SystemClock().NowMs());
    }
    bool Probe(unsigned long kHz) {
        if (!backend) return false;
        frequency = kHz;
        demux.Reset();
        return backend->Probe(kHz, host ? host->GetClock().NowMs() : fw::SystemClock().NowMs());
    }
};

// The library's classes reach the card's state through here.
struct CardAccess {
    static Card::State& Current() { return *Card::Current().m_State; }
};

}  // namespace cardlib
