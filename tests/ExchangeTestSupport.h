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

// The formats that read back what they write.
inline const std::vector<exchange::Format> kImportable = {exchange::Format::Dvbv5, exchange::Format::Vdr,
                                                          exchange::Format::Zap, exchange::Format::M3u,
                                                          exchange::Format::Csv};

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

// What a format gives back of a program: the CSV every field; the others their
// own fields, plus what an import fills as a scan would.
inline TunProgDataTag Carried(exchange::Format format, const TunProgDataTag& p, uint32_t position) {
    if (format == exchange::Format::Csv) return p;
    TunProgDataTag c;
    c.index = position;
    c.name = p.name;
    c.frequency = p.frequency;
    c.standard = 8;
    c.extraInfo = 32;
    c.progId = p.progId;
    c.modulation = p.modulation;
    c.fec = p.fec;
    c.symbolRate = p.symbolRate;
    c.videoPid = p.videoPid;
    c.audioPid = p.audioPid;
    c.progType = p.videoPid ? 1 : 2;
    // A cable MRL has no FEC, and nothing of an entry names the transport.
    if (format == exchange::Format::M3u) {
        c.fec = 0;
        return c;
    }
    if (format != exchange::Format::Zap) {
        c.tsId = p.tsId;
        c.nwId = p.nwId;
    }
    if (format == exchange::Format::Vdr) {
        c.txtPid = p.txtPid;
        c.subtitlePid = p.subtitlePid;
    }
    return c;
}

}  // namespace exchangetest
