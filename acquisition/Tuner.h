#pragma once

#include <optional>
#include <string>

namespace acquisition {

// Tunes the card's front end to `frequencyKHz` unless it already reports
// that frequency. Returns 0 when it was already there, 1 when told to tune.
int Tune(unsigned long frequencyKHz);
// Whether the front end locked on the frequency tuned last; nothing where
// the card cannot tell.
std::optional<bool> TunerLocked();
// Whether the front end has given up locking on the frequency tuned last:
// a table asked for there will not come. False where the card cannot tell.
bool TunerGaveUp();
// A step of a sweep: tunes to `frequencyKHz`, which no table names, even if
// the front end stands there. False when the card cannot sweep.
bool Probe(unsigned long frequencyKHz);
// How the user says `frequencyKHz` is tuned, before it is: symbols/s and
// the EN 300 468 modulation code, each 0 where not known. A card whose tuner
// needs no parameters ignores it.
void ExpectDelivery(unsigned long frequencyKHz, unsigned long symbolRate, int modulation);
// What the front end locked with: symbols/s and the EN 300 468 modulation
// code; nothing before a lock and where the card cannot tell.
struct Reception {
    unsigned long symbolRate = 0;
    int modulation = 0;
};
std::optional<Reception> TunerReception();
// Why nothing can be received on any frequency (the card's source is
// missing), for the user; empty while something may come.
std::string SourceProblem();

}  // namespace acquisition
