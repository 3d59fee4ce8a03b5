// The card maker's tuner and section library, declared exactly as our program
// calls it. Our stand-in in cardlib/ implements it; nothing here holds logic.
#pragma once

#include <string>

#include "framework/AsyncSocket.h"

class CCommonDVB {
public:
    // Every operation that can fail returns this; we test for DVB_ERR_NONE (1)
    // and print any other value as an unsigned number.
    enum ErrReturn : int {
        DVB_ERR_UNKNOWN = 0,
        DVB_ERR_NONE = 1,
        DVB_ERR_NOT_OPEN = 2,
        DVB_ERR_NO_RESOURCE = 3,
        DVB_ERR_BAD_ARGUMENT = 4,
        DVB_ERR_HARDWARE = 5,
    };
    virtual ~CCommonDVB() = default;
};

namespace cardlib {
struct FilterSlot;
struct SocketSlot;
}

class CPIDFilter : public CCommonDVB {
public:
    CPIDFilter();
    ~CPIDFilter() override;
    CPIDFilter(const CPIDFilter&) = delete;
    CPIDFilter& operator=(const CPIDFilter&) = delete;

    // Passes the sections of `pid` whose leading `length` bytes equal `value`
    // under `mask`; afterwards GetFilterHandle() names the filter.
    ErrReturn SetBitFilter(unsigned short pid, unsigned char* value, unsigned char* mask,
                           unsigned char length, unsigned short mode);
    // Afterwards the handle reads 0xFFFF again.
    ErrReturn ShutDownFilter();
    // 0xFFFF while no filter is set.
    unsigned short GetFilterHandle();

private:
    cardlib::FilterSlot* m_Slot = nullptr;
};

class CFrontend : public CCommonDVB {
public:
    CFrontend();
    ~CFrontend() override;
    // Frequencies are in kHz both ways. `flags` kTuneSweep: a step of a
    // sweep, on a frequency no table names (the card tries symbol rates and
    // gives up soon where there is no carrier); DVB_ERR_BAD_ARGUMENT where
    // the card cannot sweep.
    static constexpr int kTuneSweep = 2;
    ErrReturn GetFrequency(unsigned long& frequency);
    ErrReturn SetFrequency(unsigned long frequency, int flags);
    // 1 when the front end has locked on the frequency set last, else 0.
    // DVB_ERR_UNKNOWN where the card cannot tell.
    ErrReturn GetLockStatus(int& locked);
    // 1 when the front end has stopped trying to lock on the frequency set
    // last: nothing comes from it before the next SetFrequency. 0 while it
    // still tries, when it has locked, and where the card cannot tell.
    ErrReturn GetLockGivenUp(int& givenUp);
    // What the front end locked with: symbols/s and the EN 300 468
    // modulation code. DVB_ERR_UNKNOWN before a lock and where the card
    // cannot tell.
    ErrReturn GetReception(unsigned long& symbolRate, int& modulation);
    // How a frequency (kHz) the card will be tuned to is sent: symbols/s
    // and the EN 300 468 modulation code, each 0 where not known (the
    // card's own guesses). A card whose tuner needs no parameters ignores it.
    ErrReturn SetDelivery(unsigned long frequency, unsigned long symbolRate, int modulation);
    // Why the card can receive nothing on any frequency (its source is
    // missing), one line for the user; empty while it can receive.
    ErrReturn GetSourceProblem(std::string& problem);
};

// Sections that a filter passes arrive on this socket: OnReceive (called by the
// host on the GUI thread) hands each complete section to OnDataReceived.
class CDVBWinSock : public fw::AsyncSocket {
public:
    CDVBWinSock();
    ~CDVBWinSock() override;
    CDVBWinSock(const CDVBWinSock&) = delete;
    CDVBWinSock& operator=(const CDVBWinSock&) = delete;

    // 1 on success; otherwise *error receives a code.
    int SOpen(int handle, int* error);
    void SClose();
    void OnReceive(int errorCode) override;
    virtual void OnDataReceived(unsigned char* data, int length);

private:
    cardlib::SocketSlot* m_Slot = nullptr;
};
