#include "cardlib/Card.h"

#include "cardlib/CardState.h"

namespace cardlib {

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

std::optional<Reception> Card::TunerReception() const {
    if (!m_State->backend || !m_State->host) return std::nullopt;
    return m_State->backend->LockedWith(m_State->host->GetClock().NowMs());
}
void Card::ExpectDelivery(unsigned long frequencyKHz, uint32_t symbolRate, uint8_t modulation) {
    if (m_State->backend) m_State->backend->ExpectDelivery(frequencyKHz, symbolRate, modulation);
}

std::string Card::SourceProblem() const { return m_State->backend ? m_State->backend->SourceProblem() : std::string(); }

}  // namespace cardlib
