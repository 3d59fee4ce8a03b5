#include "app/CardStatus.h"

#include "programs/ProgramListDialog.h"

CardStatus::CardStatus(cardlib::Card& card, ProgramListDialog& window)
    : m_Card(card), m_Window(window), m_Before(card.Listener()) {
    m_Card.SetListener(this);
}

CardStatus::~CardStatus() {
    if (m_Card.Listener() == this) m_Card.SetListener(m_Before);
}

void CardStatus::OnCardStatus(const std::string& text) { m_Window.CardStatusLine(text); }

void CardStatus::OnCardProblem(const std::string& text) { m_Window.CardProblem(text); }
