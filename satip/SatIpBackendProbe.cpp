// A sweep's step over SAT>IP: the server's tuner is tuned to a frequency no
// table names with one guess of symbol rate and constellation after the
// other, each a PLAY on the same session. Its SES1 reports tell the rest: no
// signal level means no carrier, and no other guess finds anything there.
#include <vector>

#include "broadcast/CableRaster.h"
#include "broadcast/descriptors/CableDelivery.h"
#include "satip/SatIpBackend.h"
#include "framework/Clock.h"

namespace cardlib {

bool SatIpBackend::Probe(unsigned long frequencyKHz, int64_t nowMs) {
    m_Wanted = frequencyKHz;
    ProbeAttempts();
    m_Attempt = m_Attempts.front();
    m_Attempts.pop_front();
    m_Probe = Probing::Trying;
    Retarget(frequencyKHz, nowMs);
    return true;
}

void SatIpBackend::ProbeAttempts() {
    m_Attempts.clear();
    const auto add = [this](uint32_t rate, unsigned modulation) {
        for (const Delivery& a : m_Attempts)
            if (a.symbolRate == rate && a.modulation == modulation) return;
        m_Attempts.push_back({rate, modulation});
    };
    // SAT>IP gives no way to ask whether a server's tuner finds the
    // constellation itself, and servers take a missing mtype differently
    // (a default, a refusal): where nothing names one, each is named, most
    // common first.
    std::vector<unsigned> orders{m_Settings.modulation};
    if (m_Settings.modulation == 0) orders = {256, 64, 128};
    const auto addRate = [&](uint32_t rate, unsigned modulation) {
        if (modulation) return add(rate, modulation);
        for (unsigned order : orders) add(rate, order);
    };
    // What is known of this very frequency (a sweep found it before) first;
    // then what the NIT says of the others, as an operator keeps its
    // transports alike.
    if (const auto known = m_Deliveries.find(m_Wanted); known != m_Deliveries.end() && known->second.symbolRate)
        addRate(known->second.symbolRate, known->second.modulation);
    for (const auto& [kHz, known] : m_Deliveries)
        if (known.symbolRate) addRate(known.symbolRate, known.modulation);
    for (uint32_t rate : m_Settings.symbolRates) addRate(rate, 0);
    for (uint32_t rate : broadcast::ExtendedSymbolRates()) addRate(rate, 0);
}

void SatIpBackend::NextAttempt() {
    m_Attempt = m_Attempts.front();
    m_Attempts.pop_front();
    // The reports of the guess before say nothing of this one.
    m_Report.reset();
    Follow();
}

bool SatIpBackend::RefusedGuess(const std::string& method, int status) {
    // A symbol rate or constellation the box cannot take (400 Bad Request,
    // 551 Option not supported) is one guess less, not the scan's end.
    if (m_Probe != Probing::Trying || (status != 400 && status != 551) || (method != "SETUP" && method != "PLAY"))
        return false;
    if (method == "PLAY") {
        // The session plays on as before; the next guess is a PLAY too.
        if (m_Attempts.empty()) {
            m_Probe = Probing::GaveUp;
        } else {
            m_Attempt = m_Attempts.front();
            m_Attempts.pop_front();
            m_Report.reset();
        }
        SendNext();
        Follow();
        return true;
    }
    // The SETUP carries the first guess, the network's own tuning, which the
    // box takes on other frequencies: refused, the frequency is beyond its
    // tuner. No session came of it; the connection goes until the next
    // tuning, which starts afresh, and nothing is said.
    m_Probe = Probing::GaveUp;
    m_Attempts.clear();
    if (m_Timer) m_Host->Cancel(*m_Timer);
    m_Timer.reset();
    Become(Session::Failed);
    return true;
}

bool SatIpBackend::Retunes(const satip::Tuning& sent, const satip::Tuning& wanted) const {
    // A transport that streams is tuned right, whatever its NIT says later;
    // a sweep's guesses differ in symbol rate and constellation alone.
    if (sent.frequencyKHz != wanted.frequencyKHz) return true;
    return m_Probe == Probing::Trying && (sent.symbolRate != wanted.symbolRate || sent.modulation != wanted.modulation);
}

void SatIpBackend::ProbeCheck() {
    if (m_Probe != Probing::Trying || !m_Host) return;
    if (m_Report && m_Report->lock) {
        m_Probe = Probing::Locked;
        m_Attempts.clear();
        // What a sweep found is tuned the same way when the scan comes back.
        m_Deliveries.try_emplace(m_Wanted, m_Attempt);
        return;
    }
    // Until the server has answered the PLAY of this guess, nothing is its.
    if (!m_Streaming || !m_SentTuning || Retunes(*m_SentTuning, WantedTuning())) return;
    const int64_t waited = m_Host->GetClock().NowMs() - m_PlayedAtMs;
    // Without a carrier, no other symbol rate finds anything there either.
    const bool noSignal = m_Report && m_Report->level == 0 && m_ReportAtMs - m_PlayedAtMs >= kProbeNoSignalMs;
    // A server that reports nothing tells of no carrier either.
    if (noSignal || (waited >= kProbeAttemptMs && (!m_Report || m_Attempts.empty()))) {
        m_Probe = Probing::GaveUp;
        m_Attempts.clear();
        return;
    }
    if (waited >= kProbeAttemptMs) NextAttempt();
}

std::optional<Reception> SatIpBackend::LockedWith(int64_t) const {
    if (!m_Report || !m_Report->lock) return std::nullopt;
    const satip::Tuning tuning =
        m_SentTuning && m_SentTuning->frequencyKHz == m_Wanted ? *m_SentTuning : WantedTuning();
    Reception reception{tuning.symbolRate, 0};
    for (const si::ModulationCode& modulation : si::ModulationCodes())
        if (modulation.qamOrder == tuning.modulation) reception.modulation = modulation.code;
    return reception;
}

}  // namespace cardlib
