#pragma once

#include <string>

#include "card/TTCommDVB.h"

namespace fw {
class Dialog;
class Host;
}  // namespace fw

// The card library's socket, opened on a section filter's handle. It keeps the
// window that created it, which is also how it reaches the host: message
// boxes, the clock and the settings all go through that window's host.
class DvbDataSocket : public CDVBWinSock {
public:
    explicit DvbDataSocket(fw::Dialog& owner);
    ~DvbDataSocket() override;

    // Remembers the handle, then opens the socket on it; the card library's
    // result comes back unchanged (1 on success, else *error holds a code).
    int Open(int handle, int* error);

    fw::Dialog* Owner() const { return m_Owner; }
    int Handle() const { return m_Handle; }

protected:
    fw::Host& GetHost() const;
    // Seconds since the epoch on the host's clock.
    long long Now() const;
    // A message box with an OK button, owned by the creating window.
    void ShowMessage(const std::string& text) const;

    fw::Dialog* m_Owner;
    int m_Handle = 0xFFFF;
};
