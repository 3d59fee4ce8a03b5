// What the stand-in card has to say reaches the user through the program
// list window: status lines (the adapter chosen, signal figures after a
// lock, the search for the network) in the log of the scan it runs, problems
// in a message box.
#pragma once

#include "cardlib/Card.h"
#include "cardlib/CardListener.h"

class ProgramListDialog;

class CardStatus final : public cardlib::CardListener {
public:
    // `window` hears `card` from now on. One made while another lives takes
    // over until it goes; then the earlier one hears again.
    CardStatus(cardlib::Card& card, ProgramListDialog& window);
    ~CardStatus() override;
    CardStatus(const CardStatus&) = delete;
    CardStatus& operator=(const CardStatus&) = delete;

    void OnCardStatus(const std::string& text) override;
    void OnCardProblem(const std::string& text) override;

private:
    cardlib::Card& m_Card;
    ProgramListDialog& m_Window;
    cardlib::CardListener* m_Before;
};
