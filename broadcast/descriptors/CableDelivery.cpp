#include "broadcast/descriptors/CableDelivery.h"

#include <array>

#include "broadcast/SiTags.h"

namespace si {

namespace {

constexpr std::array<ModulationCode, 6> kModulations{{
    {0, 0}, {1, 16}, {2, 32}, {3, 64}, {4, 128}, {5, 256},
}};

constexpr std::array<FecCode, 11> kFecs{{
    {0, 0, 0},
    {1, 1, 2},
    {2, 2, 3},
    {3, 3, 4},
    {4, 5, 6},
    {5, 7, 8},
    {6, 8, 9},
    {7, 3, 5},
    {8, 4, 5},
    {9, 9, 10},
    {15, 0, 0},
}};

// The descriptor's frequency and symbol rate count in 100 Hz and 100 symbols/s.
constexpr uint32_t kBcdUnit = 100;

// EN 300 468: BCD numbers are read a nibble at a time from the most
// significant one.
void AddDigit(uint32_t& value, unsigned nibble, bool& valid) {
    value = value * 10 + nibble;
    valid = valid && nibble <= 9;
}

// `value` as `digits` BCD digits from the high nibble of `out[0]` on.
void PutBcd(uint8_t* out, uint32_t value, unsigned digits) {
    for (unsigned i = digits; i-- > 0; value /= 10)
        out[i / 2] = static_cast<uint8_t>(out[i / 2] | (value % 10) << (i % 2 ? 0 : 4));
}

}  // namespace

bool ReadCableDelivery(SectionReader& body, CableDelivery& out) {
    const auto frequencyBytes = body.Bytes(4);
    body.Skip(1);  // reserved_future_use
    const uint8_t fecOuter = body.U8() & 0x0F;
    const uint8_t modulation = body.U8();
    const auto rateBytes = body.Bytes(4);
    if (body.Error()) return false;

    CableDelivery d;
    d.bcdValid = true;
    uint32_t frequency = 0, symbolRate = 0;
    for (uint8_t b : frequencyBytes) AddDigit(frequency, b >> 4, d.bcdValid), AddDigit(frequency, b & 0x0F, d.bcdValid);
    // symbol_rate: 7 digits; the eighth nibble is FEC_inner.
    for (int i = 0; i < 3; ++i)
        AddDigit(symbolRate, rateBytes[i] >> 4, d.bcdValid), AddDigit(symbolRate, rateBytes[i] & 0x0F, d.bcdValid);
    AddDigit(symbolRate, rateBytes[3] >> 4, d.bcdValid);
    // Eight nibbles of at most 15 stay below 2^32, and so do seven of them
    // times 100; the frequency in Hz needs more.
    d.frequencyHz = uint64_t{frequency} * kBcdUnit;
    d.symbolRate = symbolRate * kBcdUnit;
    d.fecOuter = fecOuter;
    d.modulation = modulation;
    d.fecInner = rateBytes[3] & 0x0F;
    out = d;
    return true;
}

std::vector<uint8_t> WriteCableDelivery(const CableDelivery& d) {
    std::vector<uint8_t> out(2 + 11, 0);
    out[0] = descriptor::kCableDeliverySystem;
    out[1] = 11;
    PutBcd(&out[2], static_cast<uint32_t>(d.frequencyHz / kBcdUnit % 100000000), 8);
    out[6] = 0xFF;  // reserved_future_use
    out[7] = static_cast<uint8_t>(0xF0 | (d.fecOuter & 0x0F));
    out[8] = d.modulation;
    PutBcd(&out[9], d.symbolRate / kBcdUnit % 10000000, 7);
    out[12] = static_cast<uint8_t>(out[12] | (d.fecInner & 0x0F));
    return out;
}

std::span<const ModulationCode> ModulationCodes() { return kModulations; }
std::span<const FecCode> FecCodes() { return kFecs; }

const ModulationCode* FindModulation(uint8_t code) {
    for (const ModulationCode& m : kModulations)
        if (m.code == code) return &m;
    return nullptr;
}

const FecCode* FindFec(uint8_t code) {
    for (const FecCode& f : kFecs)
        if (f.code == code) return &f;
    return nullptr;
}

}  // namespace si
