// What the stand-in card tells its owner: lines about the reception and
// troubles the user must know of. The card opens no window itself.
#pragma once

#include <string>

namespace cardlib {

class CardListener {
public:
    virtual ~CardListener() = default;
    // A line about the reception: the adapter chosen, signal figures after
    // a lock, the search for the network.
    virtual void OnCardStatus(const std::string& text) = 0;
    // A trouble the user must know of (no adapter, no permission, the tuner
    // gone), told once. It comes from the host's queue, never from inside a
    // call of the card/ classes: whoever is told may well show a message
    // box, which runs a loop of its own.
    virtual void OnCardProblem(const std::string& text) = 0;
};

}  // namespace cardlib
