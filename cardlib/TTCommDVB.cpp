// The card library's classes (card/TTCommDVB.h) over the installed card.
#include "card/TTCommDVB.h"

#include "cardlib/CardState.h"

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
    if (flags == kTuneSweep) return s.Probe(frequency) ? DVB_ERR_NONE : DVB_ERR_BAD_ARGUMENT;
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

CCommonDVB::ErrReturn CFrontend::GetReception(unsigned long& symbolRate, int& modulation) {
    const std::optional<cardlib::Reception> reception = cardlib::Card::Current().TunerReception();
    if (!reception) return DVB_ERR_UNKNOWN;
    symbolRate = reception->symbolRate;
    modulation = reception->modulation;
    return DVB_ERR_NONE;
}

CCommonDVB::ErrReturn CFrontend::SetDelivery(unsigned long frequency, unsigned long symbolRate, int modulation) {
    if (symbolRate > UINT32_MAX || modulation < 0 || modulation > 0xFF) return DVB_ERR_BAD_ARGUMENT;
    cardlib::Card::Current().ExpectDelivery(frequency, static_cast<uint32_t>(symbolRate),
                                            static_cast<uint8_t>(modulation));
    return DVB_ERR_NONE;
}

CCommonDVB::ErrReturn CFrontend::GetSourceProblem(std::string& problem) {
    problem = cardlib::Card::Current().SourceProblem();
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
