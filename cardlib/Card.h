// The stand-in card's control API: what tests and the application's start-up
// use to steer the card that card/TTCommDVB.h reaches.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cardlib/Backend.h"
#include "framework/Host.h"

namespace cardlib {

// Faults a test injects and calls it counts. A fault value of 0 means "no fault";
// any other value is the error the call returns (for sOpenError: SOpen returns 0
// and stores this value in *error). Faults stay until changed.
struct CardFaults {
    int setBitFilter = 0;
    int shutDownFilter = 0;
    int sOpenError = 0;
    int getFrequency = 0;
    int setBitFilterCalls = 0, shutDownFilterCalls = 0, sOpenCalls = 0, sCloseCalls = 0;
    int getFrequencyCalls = 0, setFrequencyCalls = 0;
    unsigned long lastSetFrequency = 0;
};

class Backend;  // a source of transport-stream packets for the tuned frequency (cardlib/Backend.h)

// The process-wide state of the stand-in card (the real DLL has one too).
// It starts without a backend; ConfigureFromSettings (cardlib/Settings.h)
// installs the one the user chose.
class Card {
public:
    static Card& Instance();
    // The host on whose GUI thread sections are delivered and whose clock drives timing.
    void Attach(fw::Host& host);
    void Detach();                 // stops all timing; filters and sockets stay valid objects
    void UseBackend(std::unique_ptr<Backend> backend);   // null: no stream at all
    CardFaults& Faults();
    void ResetFaults();
    // Hands a complete section to the section filters as if the demux had cut it from `pid`
    // (delivery to the socket happens through the host, on the GUI thread, as for real data).
    void InjectSection(uint16_t pid, const std::vector<uint8_t>& section);
    // Where a backend's lines about the reception go (the start-up shows
    // them in the scan window's log); without a handler they are dropped.
    void SetStatusHandler(std::function<void(const std::string&)> handler);
    // Tuned frequency in kHz.
    unsigned long Frequency() const;

    Card(const Card&) = delete;
    Card& operator=(const Card&) = delete;

private:
    Card();
    ~Card();
    friend struct CardAccess;
    struct State;
    std::unique_ptr<State> m_State;
};

}  // namespace cardlib
