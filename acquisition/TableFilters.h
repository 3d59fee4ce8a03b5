#pragma once

#include <memory>

#include "acquisition/SiFilterSocket.h"

class ScanRowWriter;

namespace fw {
class Dialog;
}

// The four table requests of a scan, one filter socket each. The program
// list window owns the set: it creates it once the board is open, shuts it
// down before the board closes and deletes it with itself. A socket that was
// never created makes its request do nothing and its poll report done.
class TableFilters {
public:
    TableFilters();
    // Deletes the sockets without shutting their filters down.
    ~TableFilters();
    TableFilters(const TableFilters&) = delete;
    TableFilters& operator=(const TableFilters&) = delete;

    // Creates "PAT", "NIT", "STD_act" and "PMT", in that order, owned by
    // `owner`. Without an owner, or once created, nothing happens.
    void CreateTableFilters(fw::Dialog* owner);
    void ShutDownTableFilters();
    // Attaches the scan window to all four sockets, or detaches it (null).
    void SetResultWindowForAll(ScanRowWriter* window);

    void RequestNit();
    // That network's NIT, actual or other; 0: the NIT actual.
    void RequestNetworkNit(int networkId);
    void RequestPat();
    // The PMT of program `programNumber` on `pid`; any program's when it is
    // negative.
    void RequestPmt(int pid, int programNumber = -1);
    void RequestSdt();

    // 1 unless the socket exists and its request is still waiting.
    int IsNitDone();
    int IsPatDone();
    int IsPmtDone();
    int IsSdtDone();
    // The NIT socket, idle once the scan has its NIT, hears the other
    // networks' NITs on every transport the scan tunes to, until `false`.
    void ListenForNetworks(bool listen);
    // Ends every request still waiting, as its time-out would; a listen goes on.
    void EndRequests();
    // What the last NIT, SDT or PAT request has taken of its table.
    TableProgress NitProgress() const;
    TableProgress SdtProgress() const;
    TableProgress PatProgress() const;

    SiFilterSocket* PatSocket() const { return m_PatSocket.get(); }
    SiFilterSocket* NitSocket() const { return m_NitSocket.get(); }
    SiFilterSocket* SdtSocket() const { return m_SdtSocket.get(); }
    SiFilterSocket* PmtSocket() const { return m_PmtSocket.get(); }

private:
    std::unique_ptr<SiFilterSocket> m_PatSocket;
    std::unique_ptr<SiFilterSocket> m_NitSocket;
    std::unique_ptr<SiFilterSocket> m_SdtSocket;
    std::unique_ptr<SiFilterSocket> m_PmtSocket;
};
