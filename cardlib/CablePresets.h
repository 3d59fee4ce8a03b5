// Where a cable network may be, when card.ini does not say: the operators'
// channel lists of Debian's dtv-scan-tables (one file per operator and town,
// "[CHANNEL]" sections of "KEY = value" lines), or else the European cable
// raster.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "broadcast/CableRaster.h"

namespace cardlib {

// One place to look: a frequency with its symbol rate and constellation
// (enum fe_modulation; QAM_AUTO where the list does not say).
struct CableChannel {
    unsigned long frequencyKHz = 0;
    uint32_t symbolRate = 0;  // symbols/s
    uint32_t modulation = 0;
    uint32_t innerFec = 0;    // enum fe_code_rate
};

// Debian's dtv-scan-tables package puts its DVB-C lists here.
inline constexpr const char* kPresetFolder = "/usr/share/dvb/dvb-c";

// The presets in `folder` whose name begins with `country` and a dash
// ("de" gives "de-Kabel_Deutschland-Hannover"); all with an empty
// `country`. Sorted; empty when the folder is missing.
std::vector<std::string> ListPresets(const std::string& folder, const std::string& country = {});

// The DVB-C annex A channels of the preset `name` in `folder`, in file
// order. A name with a path in it, a missing file or one without a usable
// channel: false, with `error` set to the line for the user.
bool ReadPreset(const std::string& folder, const std::string& name, std::vector<CableChannel>& channels,
                std::string& error);

// 8 MHz steps from 114 to 858 MHz, each at the cable operators' symbol
// rates (broadcast::ExtendedSymbolRates: 6900 and 6875 ksym/s first), the
// constellation left to the frontend.
std::vector<CableChannel> CableRaster();
using broadcast::kRasterFirstKHz, broadcast::kRasterLastKHz, broadcast::kRasterStepKHz;

}  // namespace cardlib
