#include "linuxdvb/LinuxDvbNit.h"

#include <linux/dvb/frontend.h>

#include <span>

#include "linuxdvb/LinuxDvbCodes.h"
#include "broadcast/Crc32.h"
#include "broadcast/NitTransports.h"
#include "broadcast/SectionReader.h"
#include "broadcast/SiTags.h"
#include "broadcast/descriptors/CableDelivery.h"

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

    const si::SectionReader section(std::span<const uint8_t>(s, total - si::kCrcSize));
    for (const si::NitTransport& entry : si::ReadNitTransports(section)) {
        si::WalkDescriptors(entry.descriptors, [&](uint8_t tag, si::SectionReader& body) {
            si::CableDelivery cable;
            if (tag != si::descriptor::kCableDeliverySystem || !si::ReadCableDelivery(body, cable)) return;
            // The tuner takes only real digits, and a frequency of at least a kHz.
            const unsigned long kHz = static_cast<unsigned long>(cable.frequencyHz / 1000);
            if (!cable.bcdValid || kHz == 0) return;
            DvbDelivery d;
            // Code 0 says nothing: the backend's own setting counts then.
            const uint32_t modulation = KernelModulation(cable.modulation);
            d.modulation = modulation == QAM_AUTO ? 0 : modulation;
            d.symbolRate = cable.symbolRate;
            d.innerFec = KernelFec(cable.fecInner);
            deliveries[kHz] = d;
        });
    }
    return true;
}

}  // namespace cardlib
