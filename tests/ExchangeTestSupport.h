// The programs the channel-file tests export and import: a television
// service, a radio service with a name in three scripts, and a name full of
// the characters the line formats use as separators.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "card/DBDVBX32.h"
#include "exchange/Exchange.h"

namespace exchangetest {

inline std::vector<TunProgDataTag> Programs() {
    TunProgDataTag tv;
    tv.index = 1;
    tv.name = "Das Erste HD";
    tv.frequency = 330000;
    tv.standard = 8;
    tv.extraInfo = 32;
    tv.progId = 10301;
    tv.tsId = 1051;
    tv.nwId = 61441;
    tv.modulation = 5;
    tv.symbolRate = 6900000;
    tv.progType = 1;
    tv.videoPid = 5101;
    tv.audioPid = 5102;
    tv.pmtPid = 5100;
    tv.txtPid = 5104;
    tv.subtitlePid = 5105;

    TunProgDataTag radio;
    radio.index = 2;
    radio.name = "Ελληνικά Ράδιο 東京 Радио";
    radio.frequency = 346000;
    radio.standard = 8;
    radio.extraInfo = 32;
    radio.progId = 28;
    radio.tsId = 1101;
    radio.nwId = 1;
    radio.modulation = 3;
    radio.fec = 15;
    radio.symbolRate = 6875000;
    radio.progType = 2;
    radio.audioPid = 2001;
    radio.pmtPid = 2000;

    TunProgDataTag odd;
    odd.index = 7;
    odd.name = "Sport: \"Live\", A;B";
    odd.frequency = 862000;
    odd.standard = 4294967295u;
    odd.extraInfo = 1;
    odd.progId = 65535;
    odd.serviceId = 99;
    odd.modulation = 1;
    odd.fec = 3;
    odd.symbolRate = 5000000;
    odd.tone22kHz = 1;
    odd.vertical = 1;
    odd.progType = 25;
    odd.videoPid = 8191;
    odd.audioPid = 256;
    odd.pmtPid = 32;
    odd.txtPid = 0;
    odd.subtitlePid = 0;
    odd.dataPid = 33;
    odd.ipFilter = 7;
    odd.reserved1 = 11;
    odd.reserved2 = 12;
    return {tv, radio, odd};
}

}  // namespace exchangetest
