#include "acquisition/Tuner.h"

#include "card/TTCommDVB.h"

namespace acquisition {

int Tune(unsigned long frequencyKHz) {
    CFrontend frontend;
    unsigned long current = 0;
    if (frontend.GetFrequency(current) == CCommonDVB::DVB_ERR_NONE && current == frequencyKHz) return 0;
    // The tuner's answer is not looked at: a transport that does not lock
    // simply delivers nothing, and its requests end by time-out.
    frontend.SetFrequency(frequencyKHz, 1);
    return 1;
}

std::optional<bool> TunerLocked() {
    CFrontend frontend;
    int locked = 0;
    if (frontend.GetLockStatus(locked) != CCommonDVB::DVB_ERR_NONE) return std::nullopt;
    return locked != 0;
}

bool TunerGaveUp() {
    CFrontend frontend;
    int givenUp = 0;
    return frontend.GetLockGivenUp(givenUp) == CCommonDVB::DVB_ERR_NONE && givenUp != 0;
}

bool Probe(unsigned long frequencyKHz) {
    CFrontend frontend;
    return frontend.SetFrequency(frequencyKHz, CFrontend::kTuneSweep) == CCommonDVB::DVB_ERR_NONE;
}

void ExpectDelivery(unsigned long frequencyKHz, unsigned long symbolRate, int modulation) {
    CFrontend frontend;
    frontend.SetDelivery(frequencyKHz, symbolRate, modulation);
}

std::optional<Reception> TunerReception() {
    CFrontend frontend;
    Reception reception;
    if (frontend.GetReception(reception.symbolRate, reception.modulation) != CCommonDVB::DVB_ERR_NONE)
        return std::nullopt;
    return reception;
}

std::string SourceProblem() {
    CFrontend frontend;
    std::string problem;
    if (frontend.GetSourceProblem(problem) != CCommonDVB::DVB_ERR_NONE) return std::string();
    return problem;
}

}  // namespace acquisition
