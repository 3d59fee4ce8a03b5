#include "cardlib/LinuxDvbNit.h"

#include <span>

#include "si/Crc32.h"
#include "si/SectionReader.h"
#include "si/SiTags.h"
#include "si/descriptors/CableDelivery.h"

namespace cardlib {

// EN 300 468 5.2.1 and 6.2.13.1: the transport loop of a NIT section and the
// cable delivery system descriptors in it.
bool LearnDeliveriesFromNit(const uint8_t* s, size_t size, std::map<unsigned long, DvbDelivery>& deliveries) {
    si::SectionReader whole(std::span<const uint8_t>(s, s ? size : 0));
    // table_id to last_section_number, the two loop lengths and the CRC.
    constexpr size_t kLeast = si::header::kLongForm + 4 + si::kCrcSize;
    if (whole.Size() < kLeast || whole.U8() != si::table::kNitActual) return false;
    const size_t total = 3 + whole.Length12();
    if (total > whole.Size() || total < kLeast || si::Crc32Mpeg2(s, total) != 0) return false;

    si::SectionReader section(std::span<const uint8_t>(s, total - si::kCrcSize));
    section.Seek(si::header::kLongForm);
    const uint16_t network_descriptors_length = section.Length12();
    section.Skip(network_descriptors_length);
    const uint16_t transport_stream_loop_length = section.Length12();
    if (section.Error()) return true;
    // A loop that claims more than the section holds still yields the
    // transports that are there in full.
    si::SectionReader loop = section.Sub(transport_stream_loop_length);
    while (loop.Remaining() >= 6) {
        loop.Skip(4);  // transport_stream_id, original_network_id
        const uint16_t transport_descriptors_length = loop.Length12();
        si::WalkDescriptors(loop.Sub(transport_descriptors_length), [&](uint8_t tag, si::SectionReader& body) {
            si::CableDelivery cable;
            if (tag != si::descriptor::kCableDeliverySystem || !si::ReadCableDelivery(body, cable)) return;
            // The tuner takes only real digits, and a frequency of at least a kHz.
            const unsigned long kHz = cable.frequency / 10;  // from units of 100 Hz
            if (!cable.bcdValid || kHz == 0) return;
            const si::ModulationCode* modulation = cable.modulation != 0 ? si::FindModulation(cable.modulation) : nullptr;
            const si::FecCode* fec = si::FindFec(cable.fecInner);
            DvbDelivery d;
            d.modulation = modulation ? modulation->kernel : 0;
            d.symbolRate = cable.symbolRate * 100;
            d.innerFec = fec ? fec->kernel : si::FecCodes().front().kernel;
            deliveries[kHz] = d;
        });
    }
    return true;
}

}  // namespace cardlib
