#include "acquisition/DvbDataSocket.h"

#include "framework/Clock.h"
#include "framework/Dialog.h"
#include "framework/Host.h"

DvbDataSocket::DvbDataSocket(fw::Dialog& owner) : m_Owner(&owner) {}

DvbDataSocket::~DvbDataSocket() = default;

int DvbDataSocket::Open(int handle, int* error) {
    m_Handle = handle;
    return SOpen(handle, error);
}

fw::Host& DvbDataSocket::GetHost() const { return m_Owner->GetHost(); }

long long DvbDataSocket::Now() const { return GetHost().GetClock().Now(); }

void DvbDataSocket::ShowMessage(const std::string& text) const { m_Owner->MessageBox(text); }
