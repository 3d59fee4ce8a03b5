// The stand-in card's control API: what tests and the application's start-up
// use to steer the card that card/TTCommDVB.h reaches.
//
// A card is an object. The program and each test make one and keep it for as
// long as the card/ classes are in use; while it lives it is the installed
// card, the one every new CPIDFilter, CDVBWinSock and CFrontend reaches:
//
//     fw::HeadlessHost host;
//     cardlib::Card card;            // installed until it goes out of scope
//     card.Attach(host);             // sections now arrive on this host
//     card.Faults().setBitFilter = CCommonDVB::DVB_ERR_NO_RESOURCE;
//     ...
//     EXPECT_EQ(card.Calls().setBitFilter, 1);
//
// A new card starts clean: no backend, no host, no faults, nothing counted,
// so nothing needs resetting. A card made while another lives takes over
// until it goes; then the earlier one is installed again. Filters and
// sockets stay with the card they were made on; if they outlive it, they are
// cut off (every call fails). Declare the card after the host it attaches to,
// so that it detaches before the host goes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cardlib/Backend.h"
#include "cardlib/CardListener.h"
#include "cardlib/Installed.h"
#include "framework/Host.h"

namespace cardlib {

// Faults a test injects. 0 means "no fault"; any other value is the error the
// call returns (for sOpenError: SOpen returns 0 and stores this value in
// *error). Faults stay until changed.
struct CardFaults {
    int setBitFilter = 0;
    int shutDownFilter = 0;
    int sOpenError = 0;
    int getFrequency = 0;
};

// What the card was asked to do: every call of the card/ classes, counted
// whether or not it failed, and the arguments of the last tuning.
struct CardCalls {
    int setBitFilter = 0, shutDownFilter = 0, sOpen = 0, sClose = 0;
    int getFrequency = 0, setFrequency = 0;
    unsigned long lastSetFrequency = 0;
    int lastSetFrequencyFlags = 0;
};

class Backend;  // a source of transport-stream packets for the tuned frequency (cardlib/Backend.h)

class Card : public Installed<Card> {
public:
    Card();    // installs this card
    ~Card();   // detaches, cuts off what is still open on it, installs the previous card again
    // The installed card; the program stops with a message if there is none.
    static Card& Current();

    // The host on whose GUI thread sections are delivered and whose clock drives timing.
    void Attach(fw::Host& host);
    void Detach();                 // stops all timing; filters and sockets stay valid objects
    // A card starts without a backend; ConfigureFromSettings (cardsetup/CardSettings.h)
    // installs the one the user chose.
    void UseBackend(std::unique_ptr<Backend> backend);   // null: no stream at all
    CardFaults& Faults();
    CardCalls& Calls();
    // Hands a complete section to the section filters as if the demux had cut it from `pid`
    // (delivery to the socket happens through the host, on the GUI thread, as for real data).
    void InjectSection(uint16_t pid, const std::vector<uint8_t>& section);
    // Who is told what the backend has to say (the application: the program
    // list window). Without a listener, status lines are dropped and
    // problems wait for one. Null: nobody.
    void SetListener(CardListener* listener);
    CardListener* Listener() const;
    // Tuned frequency in kHz.
    unsigned long Frequency() const;
    // Whether the backend is looking for the network (Backend::Searching).
    bool SearchingForNetwork() const;
    // Whether the front end locked on the frequency tuned last; nothing
    // where the backend cannot tell.
    std::optional<bool> TunerLocked() const;
    // Whether the front end has given up locking on the frequency tuned
    // last (Backend::LockGivenUp); false where the backend cannot tell.
    bool TunerGaveUp() const;
    // What the front end locked with (Backend::LockedWith).
    std::optional<Reception> TunerReception() const;
    // How the user says `frequencyKHz` is tuned (Backend::ExpectDelivery).
    void ExpectDelivery(unsigned long frequencyKHz, uint32_t symbolRate, uint8_t modulation);
    // Why nothing can come from the backend at all (Backend::SourceProblem);
    // empty while something may.
    std::string SourceProblem() const;

    struct State;

private:
    friend struct CardAccess;
    std::unique_ptr<State> m_State;
};

}  // namespace cardlib
