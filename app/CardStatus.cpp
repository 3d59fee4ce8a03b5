#include "app/CardStatus.h"

#include "scan/ScanChannelsDialog.h"

void ShowCardStatusInScanLog(cardlib::Card& card, fw::Host& host) {
    fw::Host* h = &host;
    card.SetStatusHandler([h](const std::string& text) {
        if (auto* scan = dynamic_cast<ScanChannelsDialog*>(h->ActiveModal())) scan->AddStatusLine(text);
    });
}
