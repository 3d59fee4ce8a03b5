#include "app/CardStatus.h"

#include "cardlib/Card.h"
#include "scan/ScanChannelsDialog.h"

void ShowCardStatusInScanLog(fw::Host& host) {
    fw::Host* h = &host;
    cardlib::Card::Instance().SetStatusHandler([h](const std::string& text) {
        if (auto* scan = dynamic_cast<ScanChannelsDialog*>(h->ActiveModal())) scan->AddStatusLine(text);
    });
}
