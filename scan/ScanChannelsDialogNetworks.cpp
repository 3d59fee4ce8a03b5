// The networks on the home transport: every NIT, actual or other, that comes
// while the scan waits for its own is noted, so that the log and the summary
// can name them and the user can choose another than the NIT actual's.
#include "framework/Clock.h"
#include "framework/Host.h"
#include "framework/Profile.h"
#include "scan/ScanChannelsDialog.h"
#include "si/DvbText.h"

namespace {

constexpr const char* kNetworkSection = "ScanNetwork";
constexpr const char* kNetworkId = "NetworkId";

}  // namespace

void ScanChannelsDialog::SeeNetwork(uint16_t networkId, bool actual, const std::string& name, uint8_t sectionNumber,
                                    uint8_t lastSectionNumber, size_t transports) {
    m_Networks.See(networkId, actual, si::DvbTextToUtf8(name), sectionNumber, lastSectionNumber, transports);
}

std::string ScanChannelsDialog::NetworksLine() {
    const int setting = GetProfile().GetInt(kNetworkSection, kNetworkId, 0);
    const uint16_t scanning = setting > 0 && setting <= 0xFFFF ? static_cast<uint16_t>(setting) : m_Networks.ActualId();
    return NetworksOnAir::Line(m_Networks.List(), scanning);
}

bool ScanChannelsDialog::NetworksAtNitEnd() {
    const int64_t listened = GetHost().GetClock().NowMs() - m_NetworksSinceMs;
    if (m_NetworksOnly) {
        const bool listening = listened < kNetworkListenMs;
        // Each request ends with its NIT whole; the next one listens on.
        if (listening) m_ScanState = StateRequestNit;
        else EndScan();
        return true;
    }
    if (TransportList().GetItemCount() == 0 || m_NetworkChosen) return false;
    // Without a NetworkId the scan stays on the home transport until every
    // network there has had time to send its NIT once (at least every 10 s,
    // ETSI TR 101 211): the user is to learn of them before the scan goes on.
    // NetworkId=0 says the NIT actual, and that the user needs no other.
    const bool networkSet = GetProfile().GetInt(kNetworkSection, kNetworkId, -1) >= 0;
    if (m_Owner && listened < m_Owner->NetworkListenMs() && !networkSet) {
        m_ScanState = StateRequestNit;
        return true;
    }
    m_NetworkChosen = true;
    // The other networks' NITs go on coming on the transports ahead: those
    // not heard yet are named in the summary.
    // The window that waited at the home transport has heard them already.
    if (!networkSet && m_Owner)
        m_ListeningForNetworks = m_Owner->ListenForNetworks(true) && m_Owner->NetworkListenMs() == 0;
    const std::string line = NetworksLine();
    if (line.empty()) return false;
    AddStatusLine(line);
    if (networkSet || m_Owner == nullptr) return false;
    const uint16_t actual = m_Networks.ActualId();
    const uint16_t chosen = m_Owner->ChooseNetwork(m_Networks.List(), actual);
    if (chosen == 0 || chosen == actual) return false;
    // The choice stays in the settings, for this scan and the next.
    GetProfile().WriteInt(kNetworkSection, kNetworkId, chosen);
    AddStatusLine("NetworkId=" + std::to_string(chosen) + ": scanning network " + std::to_string(chosen));
    TransportList().DeleteAllItems();
    m_ChannelNumbers.clear();
    m_ScanState = StateRequestNit;
    m_RetryCounter = kRetries;
    return true;
}

void ScanChannelsDialog::EndScanOrListen() {
    // Another network's NIT need come only every 10 s on a transport, and the
    // scan's visits to each may all have been shorter. Where none was heard,
    // the last transport is listened to for that long before the scan ends,
    // which costs a cable of one network what the window's wait at the home
    // transport costs (NetworkId=0 spares it).
    if (!m_ListeningForNetworks || HeardOtherNetworksOrListened()) return EndScan();
    const int64_t onLast = GetHost().GetClock().NowMs() - m_LastTunedAtMs;
    AddStatusLine("Listening for the other networks' NITs: " + std::to_string((kNetworkListenMs - onLast + 999) / 1000) + " s");
    m_ScanState = StateListenNetworks;
}

void ScanChannelsDialog::OnListenNetworks() {
    if (HeardOtherNetworksOrListened()) EndScan();
}

bool ScanChannelsDialog::HeardOtherNetworksOrListened() {
    return m_Networks.List().size() > 1 || GetHost().GetClock().NowMs() - m_LastTunedAtMs >= kNetworkListenMs;
}
