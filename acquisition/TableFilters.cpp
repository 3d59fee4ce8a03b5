#include "acquisition/TableFilters.h"

#include "broadcast/SiTags.h"

namespace {

// Each filter's value is the table id the request is after; the request takes
// the whole of that table (of program `program` only, for a PMT).
void Request(SiFilterSocket* socket, unsigned short pid, unsigned char mask, unsigned char value, int program = -1) {
    if (socket != nullptr) socket->RequestTable(pid, mask, value, value, program);
}

TableProgress Progress(const SiFilterSocket* socket) { return socket != nullptr ? socket->Progress() : TableProgress{}; }

int IsDone(SiFilterSocket* socket) { return socket != nullptr && socket->IsWaiting() == 1 ? 0 : 1; }

}  // namespace

TableFilters::TableFilters() = default;

TableFilters::~TableFilters() {
    m_PatSocket.reset();
    m_NitSocket.reset();
    m_SdtSocket.reset();
    m_PmtSocket.reset();
}

void TableFilters::CreateTableFilters(fw::Dialog* owner) {
    if (owner == nullptr || m_PatSocket || m_NitSocket || m_SdtSocket || m_PmtSocket) return;
    m_PatSocket = std::make_unique<SiFilterSocket>("PAT", *owner);
    m_NitSocket = std::make_unique<SiFilterSocket>("NIT", *owner);
    m_SdtSocket = std::make_unique<SiFilterSocket>("STD_act", *owner);
    m_PmtSocket = std::make_unique<SiFilterSocket>("PMT", *owner);
}

void TableFilters::ShutDownTableFilters() {
    for (SiFilterSocket* socket : {m_PatSocket.get(), m_NitSocket.get(), m_SdtSocket.get(), m_PmtSocket.get()})
        if (socket != nullptr) socket->ShutDown();
}

void TableFilters::SetResultWindowForAll(ScanRowWriter* window) {
    for (SiFilterSocket* socket : {m_NitSocket.get(), m_PatSocket.get(), m_PmtSocket.get(), m_SdtSocket.get()})
        if (socket != nullptr) socket->SetResultWindow(window);
}

// Value and mask are compared with the section's table id:
// NIT 0x40/0xF0 passes 0x40 to 0x4F, PAT 0x00/0x80 passes 0x00 to 0x7F,
// PMT 0x02/0x02 every id with bit 1 set, SDT 0x42/0xFF only SDT actual.
void TableFilters::RequestNit() { RequestNetworkNit(0); }

void TableFilters::RequestNetworkNit(int networkId) {
    if (networkId <= 0 || networkId > 0xFFFF) return Request(m_NitSocket.get(), si::pid::kNit, 0xF0, si::table::kNitActual);
    // EN 300 468 5.2.1: a NIT's table_id_extension is its network_id; 0x40
    // and 0x41 differ in the lowest bit only.
    if (m_NitSocket) m_NitSocket->RequestTable(si::pid::kNit, 0xF0, si::table::kNitActual, si::table::kNitActual, networkId, 0xFE);
}

void TableFilters::RequestPat() { Request(m_PatSocket.get(), si::pid::kPat, 0x80, si::table::kPat); }

void TableFilters::RequestPmt(int pid, int programNumber) {
    Request(m_PmtSocket.get(), static_cast<unsigned short>(pid), 0x02, si::table::kPmt, programNumber);
}

void TableFilters::RequestSdt() { Request(m_SdtSocket.get(), si::pid::kSdtBat, 0xFF, si::table::kSdtActual); }

int TableFilters::IsNitDone() { return IsDone(m_NitSocket.get()); }
int TableFilters::IsPatDone() { return IsDone(m_PatSocket.get()); }
int TableFilters::IsPmtDone() { return IsDone(m_PmtSocket.get()); }
int TableFilters::IsSdtDone() { return IsDone(m_SdtSocket.get()); }

void TableFilters::ListenForNetworks(bool listen) {
    if (!m_NitSocket) return;
    if (listen) m_NitSocket->ListenForNetworks();
    else if (m_NitSocket->IsListening()) m_NitSocket->EndRequest();
}

void TableFilters::EndRequests() {
    for (SiFilterSocket* socket : {m_PatSocket.get(), m_NitSocket.get(), m_SdtSocket.get(), m_PmtSocket.get()})
        if (socket != nullptr && !socket->IsListening()) socket->EndRequest();
}

TableProgress TableFilters::NitProgress() const { return Progress(m_NitSocket.get()); }
TableProgress TableFilters::SdtProgress() const { return Progress(m_SdtSocket.get()); }
TableProgress TableFilters::PatProgress() const { return Progress(m_PatSocket.get()); }
