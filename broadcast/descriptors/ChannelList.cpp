#include "broadcast/descriptors/ChannelList.h"

#include "broadcast/SiTags.h"

namespace si {

bool ReadChannelLists(SectionReader& body, std::vector<ChannelList>& out) {
    while (!body.AtEnd()) {
        ChannelList list;
        list.id = body.U8();
        const uint8_t channel_list_name_length = body.U8();
        const auto name = body.Bytes(channel_list_name_length);
        const auto country = body.Bytes(3);
        const uint8_t descriptor_length = body.U8();
        SectionReader entries = body.Sub(descriptor_length);
        if (body.Error()) return false;
        list.name.assign(name.begin(), name.end());
        list.country.assign(country.begin(), country.end());
        if (!ReadLogicalChannels(entries, LogicalChannelForm::NordigV1, list.channels)) return false;
        out.push_back(std::move(list));
    }
    return true;
}

std::vector<uint8_t> WriteChannelLists(const std::vector<ChannelList>& lists) {
    std::vector<uint8_t> body;
    for (const ChannelList& list : lists) {
        body.push_back(list.id);
        body.push_back(static_cast<uint8_t>(list.name.size()));
        body.insert(body.end(), list.name.begin(), list.name.end());
        std::string country = list.country;
        country.resize(3, ' ');
        body.insert(body.end(), country.begin(), country.end());
        // The entries are those of version 1, without its tag and length.
        const std::vector<uint8_t> entries = WriteLogicalChannels(list.channels, LogicalChannelForm::NordigV1);
        body.push_back(static_cast<uint8_t>(entries.size() - 2));
        body.insert(body.end(), entries.begin() + 2, entries.end());
    }
    std::vector<uint8_t> out{descriptor::kNordigChannelList, static_cast<uint8_t>(body.size())};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

}  // namespace si
