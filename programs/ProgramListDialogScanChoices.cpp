// What the user chooses about a scan beyond Search: the network, where the
// home transport carries several networks' NITs, and one transport alone.

#include "acquisition/Tuner.h"
#include "card/ProgramFields.h"
#include "framework/Host.h"
#include "programs/ProgramListDialog.h"
#include "programs/ProgramRowCodec.h"
#include "scan/ScanChannelsDialog.h"

uint16_t ProgramListDialog::ChooseNetwork(const std::vector<NetworkOnAir>& networks, uint16_t scanning) {
    if (!m_AskForNetwork) return 0;
    std::string list;
    for (const NetworkOnAir& network : networks) list += "\n" + NetworksOnAir::Describe(network);
    // One question for each other network: a yes/no each time is all a
    // cable of two or three networks needs.
    for (const NetworkOnAir& network : networks) {
        if (network.id == scanning) continue;
        const std::string question = "Networks on this cable:" + list + "\n\nScan network " +
                                     NetworksOnAir::Describe(network) + " instead of " + std::to_string(scanning) +
                                     "? Kelvane keeps the choice as NetworkId in its settings.";
        if (Ask(question, fw::QuestionButtons::YesNo) == fw::Answer::Yes) return network.id;
    }
    return 0;
}

int64_t ProgramListDialog::NetworkListenMs() { return m_AskForNetwork ? ScanChannelsDialog::kNetworkListenMs : 0; }

// What the user typed of the transport goes to the tuner as well as to the
// merged rows.
void ProgramListDialog::ExpectDelivery(unsigned long frequency, unsigned long symbolRate, int modulation) {
    acquisition::ExpectDelivery(frequency, symbolRate, modulation);
}

void ProgramListDialog::OnScanTransport() {
    // The selected program's transport to begin with.
    std::string typed;
    fw::ListView& list = ProgramList();
    const int row = list.GetSelectionMark();
    if (row >= 0 && row < list.GetItemCount()) {
        const uint32_t frequency = ProgramRowCodec::ReadNumber(list.ItemText(row, kColumnFrequency)) / 100;
        const uint32_t rate = (ProgramRowCodec::ReadNumber(list.ItemText(row, kColumnSymbolRate)) + 500) / 1000;
        const uint32_t modulation = ProgramRowCodec::ReadNumber(list.ItemText(row, kColumnModulation));
        if (frequency != 0) typed = ScanChannelsDialog::OneTransportText({frequency, rate, modulation});
    }
    const std::string prompt =
        "Frequency in kHz, then the symbol rate in ksym/s and the modulation (64, 128, 256 or auto) if known:";
    for (;;) {
        const std::optional<std::string> answer = GetHost().AskText(*this, "Scan Transport", prompt, typed);
        if (!answer) return;
        if (const auto transport = ScanChannelsDialog::ReadOneTransport(*answer)) {
            ScanTransportNext(*transport);
            OnSearch();
            return;
        }
        MessageBox("Enter a frequency from 40000 to 1100000 kHz, then, if known, a symbol rate from 870 to 7200 "
                   "ksym/s and 64, 128, 256 or auto, e.g. \"370000 6900 256\".");
        typed = *answer;
    }
}
