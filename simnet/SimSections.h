// The sections a simulated network broadcasts, table by table, written from
// its description: the SI encoders of the simulated network.
#pragma once

#include <cstdint>
#include <vector>

#include "simnet/SiWriter.h"
#include "simnet/SimNetwork.h"
#include "broadcast/SiTags.h"

namespace cardlib {

// The tables, section by section, each with its CRC. `updated`: as the
// transport sends them after its update (the same either way without one).
std::vector<Section> BuildPat(const SimTransport& transport, bool updated = true);
Section BuildPmt(const SimService& service);
// `tableId`: SDT actual, or SDT other for a transport of another network.
std::vector<Section> BuildSdt(const SimTransport& transport, bool updated = true,
                              uint8_t tableId = si::table::kSdtActual);
// `tableId`: NIT actual, or NIT other for a neighbouring network.
std::vector<Section> BuildNit(const SimNetwork& network, uint8_t tableId = si::table::kNitActual);
std::vector<Section> BuildBat(const SimNetwork& network, const SimBouquet& bouquet);
// Present (section 0) and following (section 1) event of `service` at `utcMs`:
// programmes run on the full hour.
std::vector<Section> BuildEitPresentFollowing(const SimTransport& transport, const SimService& service,
                                              int64_t utcMs);
Section BuildTdt(int64_t utcMs);
Section BuildTot(int64_t utcMs);

}  // namespace cardlib
