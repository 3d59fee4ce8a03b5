#pragma once

namespace acquisition {

// Tunes the card's front end to `frequencyKHz` unless it already reports
// that frequency. Returns 0 when it was already there, 1 when told to tune.
int Tune(unsigned long frequencyKHz);

}  // namespace acquisition
