// The versions of the board database's file. A file names its version in
// PRAGMA user_version. This Kelvane reads every version up to kSchemaVersion
// as it is; a file of an earlier version is upgraded by its first save
// (board/BoardUpgrade.h). A file of a later version is refused: its columns
// may mean what this Kelvane cannot keep.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace cardlib {

// One version of the file, and the upgrade step that makes it from the one
// before: it adds a column beside the record's fields, for a value the
// 68-byte record has no room for. Such a value is an integer from 0 (none, and
// what a file without the column reads as) to `max`.
struct SchemaVersion {
    int version;
    const char* besideColumn;  // none in the first version
    uint32_t max;
};

// Every version, oldest first. A new value beside the record is one more row
// here, numbered one above the last: its column, and files of earlier
// versions upgrade to it on their first save.
inline constexpr SchemaVersion kSchemaVersions[] = {
    // The record's fields, one column each, named by card/ProgramFields.h.
    {1, nullptr, 0},
    // The operator's channel number.
    {2, "channel_number", UINT16_MAX},
    // The CA systems the scan saw: two 16-bit CA_system_ids, the first in
    // the low half (ProgramBeside::caSystems).
    {3, "ca_systems", UINT32_MAX},
    // The audio PID's stream type, with the descriptor that says what
    // private data carries (ProgramBeside::audioStreamType).
    {4, "audio_stream_type", UINT16_MAX},
};

inline constexpr int kSchemaVersion = static_cast<int>(std::size(kSchemaVersions));
inline constexpr size_t kBesideColumnCount = std::size(kSchemaVersions) - 1;

constexpr bool VersionsFollowEachOther() {
    for (size_t i = 0; i < std::size(kSchemaVersions); ++i) {
        if (kSchemaVersions[i].version != static_cast<int>(i) + 1) return false;
        if ((kSchemaVersions[i].besideColumn == nullptr) != (i == 0)) return false;
    }
    return true;
}
static_assert(VersionsFollowEachOther(), "schema versions are 1, 2, 3, ... and each after the first adds a column");

// The values a record has beside it, in the order of the versions that added them.
using BesideValues = std::array<uint32_t, kBesideColumnCount>;

// The place of a beside column's value in BesideValues.
constexpr size_t BesideSlot(std::string_view column) {
    for (size_t i = 1; i < std::size(kSchemaVersions); ++i) {
        if (column == kSchemaVersions[i].besideColumn) return i - 1;
    }
    return kBesideColumnCount;
}
constexpr const SchemaVersion& BesideColumn(size_t slot) { return kSchemaVersions[slot + 1]; }

// The operator's channel number (DVB_Get/SetDBProgChannelNumber).
inline constexpr size_t kChannelNumberSlot = BesideSlot("channel_number");
static_assert(kChannelNumberSlot < kBesideColumnCount);
// DVB_Get/SetDBProgCaSystems and DVB_Get/SetDBProgAudioType.
inline constexpr size_t kCaSystemsSlot = BesideSlot("ca_systems");
inline constexpr size_t kAudioStreamTypeSlot = BesideSlot("audio_stream_type");
static_assert(kCaSystemsSlot < kBesideColumnCount && kAudioStreamTypeSlot < kBesideColumnCount);

}  // namespace cardlib
