#pragma once

#include <memory>
#include <string>

#include "acquisition/EpgDvbSocket.h"
#include "acquisition/TableSections.h"

// One named table request at a time on one card section filter: set the
// filter, wait for a section or the time-out, shut the filter down. The
// filter's handle is the state: 0xFFFF is idle, anything else is waiting.
class SiFilterSocket : public EpgDvbSocket {
public:
    static constexpr unsigned short kNoFilter = 0xFFFF;

    SiFilterSocket(std::string name, fw::Dialog& owner);
    // Does not shut the filter down; the owner does that before.
    ~SiFilterSocket() override;

    // One filter byte.
    int Request(unsigned short pid, unsigned char mask, unsigned char value, unsigned short mode);
    // Empties the event store, keeps copies of the filter bytes and applies
    // them. Returns what Apply returns.
    int Request(unsigned short pid, const unsigned char* mask, const unsigned char* value, unsigned char length,
                unsigned short mode);
    // A request for the whole table `tableId` (with `tableIdExtension` >= 0,
    // of that sub-table only) on one filter byte: it ends once every section
    // of the table has been decoded, or by its time-out. Other tables that
    // pass the filter, repeats and sections with a bad CRC are dropped.
    int RequestTable(unsigned short pid, unsigned char mask, unsigned char value, uint8_t tableId,
                     int tableIdExtension = -1, uint8_t tableIdMask = 0xFF);
    // Hears every sound NIT other on the NIT PID for the network it names
    // (NoteNetwork) and takes no table: no time-out ends it, only ShutDown,
    // EndRequest or another request.
    int ListenForNetworks();
    bool IsListening() const { return m_Listening && !IsIdle(); }
    // What the last whole-table request has taken so far.
    TableProgress Progress() const { return m_Table.Progress(); }
    // Sets the card filter for the stored request and opens the socket on it.
    // Returns the start time (seconds) once the filter is set, 0 if it could
    // not be set.
    int Apply();
    // 1 while the request is within its time-out; past it the filter is shut
    // down and 0 is returned, as it is when no filter is set.
    int IsWaiting();
    // Ends a waiting request as its time-out would; nothing when idle.
    void EndRequest();
    // Shuts the filter down and closes the socket; nothing when idle.
    void ShutDown();

    void OnDataReceived(unsigned char* data, int length) override;

    const std::string& Name() const { return m_Name; }
    unsigned short Pid() const { return m_Pid; }
    unsigned char FilterLength() const { return m_FilterLength; }
    const unsigned char* Mask() const { return m_Mask.get(); }
    const unsigned char* Value() const { return m_Value.get(); }
    unsigned short Mode() const { return m_Mode; }
    int TimeoutSeconds() const { return m_TimeoutSeconds; }
    long long StartTime() const { return m_StartTime; }
    CPIDFilter& Filter() const { return *m_Filter; }
    bool IsIdle() const { return m_Filter->GetFilterHandle() == kNoFilter; }

private:
    bool IsPastTimeOut() const;
    int Set(unsigned short pid, const unsigned char* mask, const unsigned char* value, unsigned char length,
            unsigned short mode);
    void TakeTableSection(const unsigned char* data, int length);

    std::unique_ptr<CPIDFilter> m_Filter;
    std::string m_Name;
    unsigned short m_Pid = 0;
    std::unique_ptr<unsigned char[]> m_Mask;
    std::unique_ptr<unsigned char[]> m_Value;
    unsigned char m_FilterLength = 0;
    unsigned short m_Mode = 0;
    int m_TimeoutSeconds = 15;
    long long m_StartTime = 0;
    TableSections m_Table;
    bool m_Listening = false;
};
