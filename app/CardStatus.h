// Lines the stand-in card has for the user about the reception (signal
// figures after a lock) go to the log of the scan that tuned it.
#pragma once

#include "cardlib/Card.h"
#include "framework/Host.h"

// Installs the status handler of `card` for `host`: a line arriving while a
// scan window runs is appended to its log list; at other times it is dropped.
void ShowCardStatusInScanLog(cardlib::Card& card, fw::Host& host);
