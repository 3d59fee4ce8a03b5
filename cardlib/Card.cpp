#include "cardlib/Card.h"

#include <algorithm>
#include <deque>

#include "card/TTCommDVB.h"
#include "cardlib/Backend.h"
#include "cardlib/TsDemux.h"
#include "framework/Clock.h"

namespace cardlib {

namespace {
constexpr unsigned short kNoHandle = 0xFFFF;
// Filters longer than this are refused, as the card's hardware filters are.
constexpr unsigned kMaxFilterLength = 16;
// Sections waiting on one socket before further ones are dropped (the card's
// receive storage).
constexpr size_t kMaxQueuedSections = 1024;
// The socket layer's "invalid argument" (WSAEINVAL): SOpen on a handle that
// names no filter.
constexpr int kErrorInvalidHandle = 10022;
}  // namespace

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
};

// The library's classes reach the card's state through here.
struct CardAccess {
    static Card::State& Current() { return *Card::Current().m_State; }
};

Card::Card() : m_State(std::make_unique<State>()) {}

Card::~Card() {
    Detach();
    // Whatever is still open on this card is cut off: its calls fail from now on.
    for (FilterSlot* filter : m_State->filters) {
        filter->card = nullptr;
        filter->set = false;
        filter->handle = kNoHandle;
    }
    for (SocketSlot* socket : m_State->sockets) {
        socket->card = nullptr;
        socket->queue.clear();
        socket->handle = kNoHandle;
    }
}

Card& Card::Current() { return CurrentOrDie("Card"); }

void Card::Attach(fw::Host& host) {
    if (m_State->host == &host) return;
    Detach();
    m_State->host = &host;
    for (SocketSlot* socket : m_State->sockets) m_State->Notify(*socket);
    m_State->PostProblems();
    m_State->UpdateBackend(false);
}

void Card::Detach() {
    State& s = *m_State;
    if (!s.host) return;
    if (s.backendRunning) {
        s.backendRunning = false;
        if (s.backend) s.backend->Stop();
    }
    for (SocketSlot* socket : s.sockets) s.CancelNotification(*socket);
    if (s.problemDelivery) s.host->Cancel(*s.problemDelivery);
    s.problemDelivery.reset();
    s.host = nullptr;
}

void Card::UseBackend(std::unique_ptr<Backend> backend) {
    State& s = *m_State;
    if (s.backendRunning) {
        s.backendRunning = false;
        s.backend->Stop();
    }
    s.backend = std::move(backend);
    s.demux.Reset();
    s.frequency = s.backend ? s.backend->HomeFrequency() : 0;
    s.UpdateBackend(false);
}

CardFaults& Card::Faults() { return m_State->faults; }

CardCalls& Card::Calls() { return m_State->calls; }

void Card::InjectSection(uint16_t pid, const std::vector<uint8_t>& section) {
    m_State->Deliver(pid, section.data(), section.size());
}

void Card::SetListener(CardListener* listener) {
    m_State->listener = listener;
    m_State->PostProblems();
}

CardListener* Card::Listener() const { return m_State->listener; }

unsigned long Card::Frequency() const { return m_State->frequency; }
bool Card::SearchingForNetwork() const { return m_State->backend && m_State->backend->Searching(); }

std::optional<bool> Card::TunerLocked() const {
    if (!m_State->backend || !m_State->host) return std::nullopt;
    return m_State->backend->Locked(m_State->host->GetClock().NowMs());
}

bool Card::TunerGaveUp() const {
    return m_State->backend && m_State->host && m_State->backend->LockGivenUp(m_State->host->GetClock().NowMs());
}

}  // namespace cardlib

using cardlib::CardAccess;
using cardlib::FilterSlot;
using cardlib::SocketSlot;

CPIDFilter::CPIDFilter() : m_Slot(new FilterSlot) {
    m_Slot->owner = this;
    m_Slot->card = &CardAccess::Current();
    m_Slot->card->filters.push_back(m_Slot);
}

CPIDFilter::~CPIDFilter() {
    cardlib::Card::State* s = m_Slot->card;
    const bool wasSet = m_Slot->set;
    const uint16_t pid = m_Slot->pid;
    if (s) s->filters.erase(std::remove(s->filters.begin(), s->filters.end(), m_Slot), s->filters.end());
    delete m_Slot;
    if (s && wasSet) {
        s->UpdateWanted(pid);
        s->UpdateBackend(false);
        s->FiltersChanged();
    }
}

CCommonDVB::ErrReturn CPIDFilter::SetBitFilter(unsigned short pid, unsigned char* value, unsigned char* mask,
                                               unsigned char length, unsigned short mode) {
    if (!m_Slot->card) return DVB_ERR_NOT_OPEN;
    auto& s = *m_Slot->card;
    ++s.calls.setBitFilter;
    // Whatever was set before is gone, so a failure leaves no filter behind.
    const bool wasSet = m_Slot->set;
    const uint16_t oldPid = m_Slot->pid;
    const unsigned short oldHandle = m_Slot->handle;
    m_Slot->set = false;
    m_Slot->handle = cardlib::kNoHandle;

    ErrReturn result = DVB_ERR_NONE;
    if (s.faults.setBitFilter != 0)
        result = static_cast<ErrReturn>(s.faults.setBitFilter);
    else if (pid > 0x1FFF || length > cardlib::kMaxFilterLength || (length > 0 && (!value || !mask)))
        result = DVB_ERR_BAD_ARGUMENT;

    if (result == DVB_ERR_NONE) {
        m_Slot->pid = pid;
        m_Slot->length = length;
        std::copy(value, value + length, m_Slot->value);
        std::copy(mask, mask + length, m_Slot->mask);
        // The mode is kept but changes nothing: a set filter passes every
        // matching section until it is shut down.
        m_Slot->mode = mode;
        // Setting a set filter again keeps its handle, so sockets open on it stay open.
        m_Slot->handle = wasSet ? oldHandle : s.AllocateHandle();
        m_Slot->set = true;
        s.UpdateWanted(pid);
    }
    if (wasSet) s.UpdateWanted(oldPid);
    s.UpdateBackend(false);
    s.FiltersChanged();
    return result;
}

CCommonDVB::ErrReturn CPIDFilter::ShutDownFilter() {
    if (!m_Slot->card) return DVB_ERR_NOT_OPEN;
    auto& s = *m_Slot->card;
    ++s.calls.shutDownFilter;
    if (s.faults.shutDownFilter != 0) return static_cast<ErrReturn>(s.faults.shutDownFilter);
    if (!m_Slot->set) return DVB_ERR_NOT_OPEN;
    m_Slot->set = false;
    m_Slot->handle = cardlib::kNoHandle;
    s.UpdateWanted(m_Slot->pid);
    s.UpdateBackend(false);
    s.FiltersChanged();
    return DVB_ERR_NONE;
}

unsigned short CPIDFilter::GetFilterHandle() { return m_Slot->handle; }

CFrontend::CFrontend() = default;

CFrontend::~CFrontend() = default;

CCommonDVB::ErrReturn CFrontend::GetFrequency(unsigned long& frequency) {
    auto& s = CardAccess::Current();
    ++s.calls.getFrequency;
    if (s.faults.getFrequency != 0) return static_cast<ErrReturn>(s.faults.getFrequency);
    frequency = s.frequency;
    return DVB_ERR_NONE;
}

CCommonDVB::ErrReturn CFrontend::SetFrequency(unsigned long frequency, int flags) {
    auto& s = CardAccess::Current();
    ++s.calls.setFrequency;
    s.calls.lastSetFrequency = frequency;
    s.calls.lastSetFrequencyFlags = flags;
    s.Tune(frequency);
    return DVB_ERR_NONE;
}

CCommonDVB::ErrReturn CFrontend::GetLockStatus(int& locked) {
    const std::optional<bool> state = cardlib::Card::Current().TunerLocked();
    if (!state) return DVB_ERR_UNKNOWN;
    locked = *state ? 1 : 0;
    return DVB_ERR_NONE;
}

CCommonDVB::ErrReturn CFrontend::GetLockGivenUp(int& givenUp) {
    givenUp = cardlib::Card::Current().TunerGaveUp() ? 1 : 0;
    return DVB_ERR_NONE;
}

CDVBWinSock::CDVBWinSock() : m_Slot(new SocketSlot) {
    m_Slot->owner = this;
    m_Slot->card = &CardAccess::Current();
    m_Slot->card->sockets.push_back(m_Slot);
}

CDVBWinSock::~CDVBWinSock() {
    if (cardlib::Card::State* s = m_Slot->card) {
        s->CancelNotification(*m_Slot);
        s->sockets.erase(std::remove(s->sockets.begin(), s->sockets.end(), m_Slot), s->sockets.end());
    }
    delete m_Slot;
}

int CDVBWinSock::SOpen(int handle, int* error) {
    int code = 0;
    if (!m_Slot->card) {
        code = cardlib::kErrorInvalidHandle;
    } else {
        auto& s = *m_Slot->card;
        ++s.calls.sOpen;
        if (s.faults.sOpenError != 0) {
            code = s.faults.sOpenError;
        } else {
            const bool known = handle >= 0 && handle < cardlib::kNoHandle &&
                               std::any_of(s.filters.begin(), s.filters.end(), [&](const FilterSlot* f) {
                                   return f->set && f->handle == handle;
                               });
            if (!known) code = cardlib::kErrorInvalidHandle;
        }
    }
    if (code != 0) {
        if (error) *error = code;
        return 0;
    }
    // Reopening on another filter forgets what the old one had delivered.
    if (m_Slot->handle != static_cast<unsigned short>(handle)) {
        m_Slot->card->CancelNotification(*m_Slot);
        m_Slot->queue.clear();
    }
    m_Slot->handle = static_cast<unsigned short>(handle);
    return 1;
}

void CDVBWinSock::SClose() {
    if (cardlib::Card::State* s = m_Slot->card) {
        ++s->calls.sClose;
        s->CancelNotification(*m_Slot);
    }
    m_Slot->queue.clear();
    m_Slot->handle = cardlib::kNoHandle;
}

void CDVBWinSock::OnReceive(int) {
    // One call of the data hook per section. The hook may close this socket,
    // which empties the queue, so take each section out before calling it.
    while (!m_Slot->queue.empty()) {
        std::vector<uint8_t> section = std::move(m_Slot->queue.front());
        m_Slot->queue.pop_front();
        OnDataReceived(section.data(), static_cast<int>(section.size()));
    }
}

void CDVBWinSock::OnDataReceived(unsigned char*, int) {}
