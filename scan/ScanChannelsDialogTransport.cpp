// One transport on demand: the transport list starts with the one row the
// user gave, without ids, and the scan goes straight to its SDT. The SDT's
// first section gives the row its transport stream and network ids, by
// which the service phase finds it as it finds a NIT's transport.
#include <iterator>
#include <sstream>
#include <vector>

#include "broadcast/descriptors/CableDelivery.h"
#include "scan/ScanCells.h"
#include "scan/ScanChannelsDialog.h"

void ScanChannelsDialog::StartOneTransport() {
    const OneTransport& transport = *m_OneTransport;
    fw::ListView& list = TransportList();
    const int row = list.InsertItem(0, "");
    list.SetItemData(row, 0);
    list.SetItemText(row, TsFreq, scancells::Decimal(transport.frequencyKHz * 100));
    list.SetItemText(row, TsRate, scancells::Decimal(transport.symbolRate));
    list.SetItemText(row, TsQam, scancells::Decimal(transport.modulation));
    list.SetItemText(row, TsFec, "0");
    // The tuner takes what the user gave as it takes a NIT's word; what was
    // not given it guesses as it always does.
    if (transport.symbolRateGiven || transport.modulation != 0)
        m_Owner->ExpectDelivery(transport.frequencyKHz, transport.symbolRateGiven ? transport.symbolRate * 1000 : 0,
                                static_cast<int>(transport.modulation));
    m_CurrentTransportRow = 0;
    m_ScanState = StateNextTransport;
}

void ScanChannelsDialog::AdoptOneTransport(uint32_t transportStreamId, uint32_t originalNetworkId) {
    fw::ListView& list = TransportList();
    if (!m_OneTransport || list.GetItemCount() != 1 || !list.ItemText(0, TsId).empty()) return;
    list.SetItemText(0, TsId, scancells::Decimal(transportStreamId & 0xFFFF));
    list.SetItemText(0, TsNw, scancells::Decimal(originalNetworkId & 0xFFFF));
    list.SetItemData(0, scancells::TransportKey(transportStreamId, originalNetworkId));
    m_TunedTransportId = static_cast<int>(transportStreamId & 0xFFFF);
}

namespace {

bool Whole(const std::string& word, unsigned long min, unsigned long max, unsigned long& value) {
    if (word.empty() || word.size() > 9 || word.find_first_not_of("0123456789") != std::string::npos) return false;
    value = std::stoul(word);
    return value >= min && value <= max;
}

}  // namespace

std::optional<ScanChannelsDialog::OneTransport> ScanChannelsDialog::ReadOneTransport(const std::string& text) {
    std::istringstream words(text);
    std::vector<std::string> w{std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
    OneTransport transport;
    if (w.empty() || w.size() > 3 || !Whole(w[0], kMinFrequencyKHz, kMaxFrequencyKHz, transport.frequencyKHz))
        return std::nullopt;
    if (w.size() > 1 && !Whole(w[1], kMinSymbolRate, kMaxSymbolRate, transport.symbolRate)) return std::nullopt;
    transport.symbolRateGiven = w.size() > 1;
    if (w.size() > 2 && w[2] != "auto") {
        unsigned long order = 0;
        if (!Whole(w[2], 64, 256, order) || (order != 64 && order != 128 && order != 256)) return std::nullopt;
        for (const si::ModulationCode& m : si::ModulationCodes())
            if (m.qamOrder == order) transport.modulation = m.code;
    }
    return transport;
}

std::string ScanChannelsDialog::OneTransportText(const OneTransport& transport) {
    std::string text = std::to_string(transport.frequencyKHz);
    if (transport.symbolRate == 0) return text;
    text += " " + std::to_string(transport.symbolRate);
    if (const unsigned order = QamOrder(transport.modulation)) text += " " + std::to_string(order);
    return text;
}

unsigned ScanChannelsDialog::QamOrder(unsigned modulation) {
    const si::ModulationCode* code = modulation > 0xFF ? nullptr : si::FindModulation(static_cast<uint8_t>(modulation));
    return code ? code->qamOrder : 0;
}
