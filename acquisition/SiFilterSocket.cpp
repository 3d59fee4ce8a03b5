#include "acquisition/SiFilterSocket.h"

#include <algorithm>
#include <cstdio>

#include "broadcast/SiTags.h"
#include "si/Decoders.h"

namespace {

void CopyFilterBytes(unsigned char* to, const unsigned char* from, unsigned char length) {
    if (from != nullptr)
        std::copy_n(from, length, to);
    else
        std::fill_n(to, length, 0);
}

}  // namespace

SiFilterSocket::SiFilterSocket(std::string name, fw::Dialog& owner)
    : EpgDvbSocket(owner), m_Filter(std::make_unique<CPIDFilter>()), m_Name(std::move(name)) {}

SiFilterSocket::~SiFilterSocket() {
    m_Filter.reset();
    m_Mask.reset();
    m_Value.reset();
}

int SiFilterSocket::Request(unsigned short pid, unsigned char mask, unsigned char value, unsigned short mode) {
    return Request(pid, &mask, &value, 1, mode);
}

int SiFilterSocket::Request(unsigned short pid, const unsigned char* mask, const unsigned char* value,
                            unsigned char length, unsigned short mode) {
    m_Table.Stop();
    m_Listening = false;
    return Set(pid, mask, value, length, mode);
}

int SiFilterSocket::RequestTable(unsigned short pid, unsigned char mask, unsigned char value, uint8_t tableId,
                                 int tableIdExtension, uint8_t tableIdMask) {
    m_Table.Start(tableId, tableIdExtension, tableIdMask);
    m_Listening = false;
    return Set(pid, &mask, &value, 1, 0);
}

int SiFilterSocket::ListenForNetworks() {
    m_Table.Stop();
    m_Listening = true;
    const unsigned char mask = 0xFF, value = si::table::kNitOther;
    return Set(si::pid::kNit, &mask, &value, 1, 0);
}

int SiFilterSocket::Set(unsigned short pid, const unsigned char* mask, const unsigned char* value,
                        unsigned char length, unsigned short mode) {
    ClearEventStore();
    m_Pid = pid;
    m_FilterLength = length;
    m_Mode = mode;
    m_Mask = std::make_unique<unsigned char[]>(length);
    m_Value = std::make_unique<unsigned char[]>(length);
    CopyFilterBytes(m_Mask.get(), mask, length);
    CopyFilterBytes(m_Value.get(), value, length);
    return Apply();
}

int SiFilterSocket::Apply() {
    ShutDown();
    const CCommonDVB::ErrReturn result =
        m_Filter->SetBitFilter(m_Pid, m_Value.get(), m_Mask.get(), m_FilterLength, m_Mode);
    if (result != CCommonDVB::DVB_ERR_NONE) {
        char text[256];
        std::snprintf(text, sizeof text, "Error on CPIDFilter::SetBitFilter(%s): %u", m_Name.c_str(),
                      static_cast<unsigned>(result));
        ShowMessage(text);
        return 0;
    }
    // The request is waiting from here on, also while a message box below
    // runs its own loop and the scan's timer polls it.
    m_StartTime = Now();
    int error = 0;
    if (Open(m_Filter->GetFilterHandle(), &error) != 1) {
        // The filter stays set: the request ends by its time-out.
        char text[256];
        std::snprintf(text, sizeof text, "Error on opening socket (%s): %d", m_Name.c_str(), error);
        ShowMessage(text);
    }
    return static_cast<int>(m_StartTime);
}

void SiFilterSocket::ShutDown() {
    if (m_Filter->GetFilterHandle() == kNoFilter) return;
    const CCommonDVB::ErrReturn result = m_Filter->ShutDownFilter();
    SClose();
    // A filter that would not shut down is given up: a fresh one is idle.
    if (result != CCommonDVB::DVB_ERR_NONE) {
        m_Filter.reset();
        m_Filter = std::make_unique<CPIDFilter>();
    }
}

bool SiFilterSocket::IsPastTimeOut() const {
    // A clock set back behind the start would otherwise keep the request
    // waiting for as long as the clock was set back; it ends it instead.
    const long long elapsed = Now() - m_StartTime;
    return elapsed < 0 || elapsed > m_TimeoutSeconds;
}

int SiFilterSocket::IsWaiting() {
    if (m_Filter->GetFilterHandle() == kNoFilter) return 0;
    if (!IsPastTimeOut()) return 1;
    EndRequest();
    return 0;
}

void SiFilterSocket::EndRequest() {
    ShutDown();
    m_Mode = 0;
    m_Listening = false;
}

void SiFilterSocket::OnDataReceived(unsigned char* data, int length) {
    if (m_Listening) {
        if (length > 0 && data[0] == si::table::kNitOther && CheckCrc32(data, length))
            si::NoteNetwork(data, length, m_ResultWindow);
        return;
    }
    if (m_Table.IsCollecting()) return TakeTableSection(data, length);
    const int result = Dispatch(data, length);
    if (result != 0 || m_Mode == 0 || IsPastTimeOut()) {
        ShutDown();
        m_Mode = 0;
    }
}

void SiFilterSocket::TakeTableSection(const unsigned char* data, int length) {
    // Only a sound section of the table asked for, new to this request, reaches
    // the decoders: a neighbouring network's tables share the PIDs, and tables
    // repeat while their other sections are still awaited.
    const bool sound = CheckCrc32(data, length);
    // Whatever NIT was asked for, the scan hears of every network whose NIT
    // shares the PID, so that it can name them.
    if (sound && length > 0 && (data[0] == si::table::kNitActual || data[0] == si::table::kNitOther))
        si::NoteNetwork(data, length, m_ResultWindow);
    if (sound && m_Table.Add(data, length) == TableSections::Take::New) Dispatch(data, length);
    if (m_Table.IsComplete() || IsPastTimeOut()) {
        ShutDown();
        m_Mode = 0;
    }
}
