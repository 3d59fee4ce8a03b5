#include "broadcast/CableRaster.h"

#include <algorithm>

namespace broadcast {

const std::vector<uint32_t>& ExtendedSymbolRates() {
    static const std::vector<uint32_t> rates = {6900000, 6875000, 6111000, 6250000, 6790000,
                                                6811000, 5900000, 5000000, 3450000, 4000000,
                                                6950000, 7000000, 6952000, 5156000, 5483000};
    return rates;
}

std::vector<unsigned long> SweepFrequencies() {
    std::vector<unsigned long> kHz;
    for (unsigned long f = kRasterFirstKHz; f <= kRasterLastKHz; f += kRasterStepKHz) kHz.push_back(f);
    for (unsigned long f = kSevenMhzFirstKHz; f <= kSevenMhzLastKHz; f += kSevenMhzStepKHz) kHz.push_back(f);
    std::sort(kHz.begin(), kHz.end());
    return kHz;
}

}  // namespace broadcast
