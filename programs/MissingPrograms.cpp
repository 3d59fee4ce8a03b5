#include "programs/MissingPrograms.h"

#include <algorithm>
#include <set>

#include "card/ProgramFields.h"
#include "framework/ListView.h"
#include "programs/ProgramRowCodec.h"

namespace programs {

NotChecked MarkMissing(fw::ListView& programs, const ScanCoverage& coverage) {
    std::set<uint16_t> networks;
    for (const ScanCoverage::Transport& transport : coverage.transports) networks.insert(transport.originalNetworkId);
    NotChecked notChecked;
    const auto cannotTell = [&](const std::string& reason) {
        ++notChecked.programs;
        if (std::find(notChecked.reasons.begin(), notChecked.reasons.end(), reason) == notChecked.reasons.end())
            notChecked.reasons.push_back(reason);
    };
    for (int row = 0; row < programs.GetItemCount(); ++row) {
        // Marked: the scan found it.
        if (!programs.ItemText(row, kColumnState).empty()) continue;
        const uint32_t networkId = ProgramRowCodec::ReadNumber(programs.ItemText(row, kColumnNwId));
        if (networkId > 0xFFFF || !networks.count(static_cast<uint16_t>(networkId))) continue;
        const uint32_t transportId = ProgramRowCodec::ReadNumber(programs.ItemText(row, kColumnTsId));
        const uint32_t programId = ProgramRowCodec::ReadNumber(programs.ItemText(row, kColumnProgId));
        const auto transport =
            std::find_if(coverage.transports.begin(), coverage.transports.end(), [&](const ScanCoverage::Transport& t) {
                return t.originalNetworkId == networkId && t.transportStreamId == transportId;
            });
        bool missing = false;
        if (transport == coverage.transports.end()) {
            if (coverage.nitWhole) missing = true;
            else cannotTell("not in the part of the NIT that came");
        } else if (!transport->unread.empty()) {
            cannotTell(transport->unread);
        } else {
            missing = programId > 0xFFFF || !transport->services.count(static_cast<uint16_t>(programId));
        }
        if (missing) programs.SetItemText(row, kColumnState, "missing");
    }
    return notChecked;
}

std::string NotCheckedText(const NotChecked& notChecked) {
    if (notChecked.programs == 0) return std::string();
    std::string text = std::to_string(notChecked.programs) + (notChecked.programs == 1 ? " program" : " programs") +
                       " not checked: ";
    for (size_t i = 0; i < notChecked.reasons.size(); ++i) text += (i == 0 ? "" : ", ") + notChecked.reasons[i];
    return text;
}

}  // namespace programs
