// EIT: the event loop's consistency check and the record of which sections of
// each sub-table have arrived.
#include <cstdint>
#include <string>

#include "si/Decoders.h"
#include "broadcast/SectionReader.h"

namespace si {

namespace {

bool DebugOn(const EitDiagnostics& diagnostics) {
    return diagnostics.debugSetting && diagnostics.debugSetting() != 0;
}

void Report(const EitDiagnostics& diagnostics, const char* text) {
    // The switch is read when a mismatch is found, not before.
    if (DebugOn(diagnostics) && diagnostics.showMessage) diagnostics.showMessage(text);
}

// Walks the event loop the way the lengths inside the section describe it and
// returns where the walk ended. Reads stay inside the section's bytes: a walk
// that would leave them stops where it is.
long long WalkEvents(SectionReader& section, long long sectionLength, long long crcStart,
                     const EitDiagnostics& diagnostics) {
    constexpr auto kHeader = static_cast<long long>(header::kEit);
    long long p = kHeader;
    if (sectionLength <= 15 || crcStart <= kHeader) return p;
    while (p < crcStart) {
        // EN 300 468 5.2.4: 12 bytes of event header, the last 12 bits of
        // which are descriptors_loop_length.
        const uint8_t high = section.PeekAt(static_cast<size_t>(p + 10));
        const uint8_t low = section.PeekAt(static_cast<size_t>(p + 11));
        if (section.Error()) break;
        const long long descriptors_loop_length = (high & 0x0F) << 8 | low;
        const long long q = p + 12;
        long long endPos = q + descriptors_loop_length;
        // A loop that overshoots the CRC is taken with its length masked, the
        // way these sections have always been checked.
        if (endPos > crcStart) endPos = q + (descriptors_loop_length & 0x2FF);

        long long pos = q;
        while (pos < endPos) {
            const uint8_t descriptor_length = section.PeekAt(static_cast<size_t>(pos + 1));
            if (section.Error()) break;
            pos += 2 + descriptor_length;
        }
        if (pos != endPos) Report(diagnostics, "EpgDvbSocket: pos != endPos\n");
        // The next event starts where the stepping stopped, not at endPos.
        p = pos;
        if (section.Error()) break;
    }
    return p;
}

}  // namespace

int DecodeEit(const unsigned char* data, int length, fw::StringToObjectMap& eventStore,
              const EitDiagnostics& diagnostics) {
    // The walk may look into the CRC bytes, so it reads the whole section.
    SectionReader section(data, length);
    const uint8_t table_id = section.U8();
    const uint16_t section_length = section.Length12();
    const uint16_t service_id = section.U16();
    const uint8_t versionByte = section.U8();
    const uint8_t section_number = section.U8();
    const uint8_t last_section_number = section.U8();
    const uint16_t transport_stream_id = section.U16();
    section.Skip(2);  // original_network_id
    const uint8_t segment_last_section_number = section.U8();
    // Without the whole header there is no sub-table to record.
    if (section.Error()) return 0;

    const long long crcStart = static_cast<long long>(length) - 4;
    const long long end = WalkEvents(section, section_length, crcStart, diagnostics);
    if (end != crcStart) Report(diagnostics, "EpgDvbSocket: pos != len-4\n");

    const unsigned version_number = (versionByte >> 1) & 0x1F;
    const unsigned current_next_indicator = versionByte & 0x01;
    const std::string key =
        EitSectionTracker::Key(table_id, transport_stream_id, service_id, version_number, current_next_indicator);
    fw::Object* stored = nullptr;
    EitSectionTracker* tracker = nullptr;
    if (eventStore.Lookup(key, stored)) tracker = dynamic_cast<EitSectionTracker*>(stored);
    if (tracker == nullptr) {
        delete stored;
        tracker = new EitSectionTracker(table_id, transport_stream_id, service_id,
                                        static_cast<uint8_t>(version_number), static_cast<int>(current_next_indicator));
        eventStore.SetAt(key, tracker);
    }
    tracker->MarkSection(section_number, segment_last_section_number, last_section_number);

    // Entries without a tracker record nothing and do not hold the result back.
    for (const auto& [storedKey, object] : eventStore) {
        auto* each = dynamic_cast<EitSectionTracker*>(object);
        if (each != nullptr && each->IsComplete() == 0) return 0;
    }
    return 1;
}

void ClearEventStore(fw::StringToObjectMap& eventStore) {
    for (const auto& [key, object] : eventStore) delete object;
    eventStore.RemoveAll();
}

}  // namespace si
