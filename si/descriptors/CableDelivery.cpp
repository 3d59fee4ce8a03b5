#include "si/descriptors/CableDelivery.h"

#include <linux/dvb/frontend.h>

#include <array>

#include "si/SiTags.h"

namespace si {

namespace {

constexpr std::array<ModulationCode, 6> kModulations{{
    {0, QAM_AUTO, "QAM/AUTO", "QAM_AUTO", 999, "QAM"},
    {1, QAM_16, "QAM/16", "QAM_16", 16, "16QAM"},
    {2, QAM_32, "QAM/32", "QAM_32", 32, "32QAM"},
    {3, QAM_64, "QAM/64", "QAM_64", 64, "64QAM"},
    {4, QAM_128, "QAM/128", "QAM_128", 128, "128QAM"},
    {5, QAM_256, "QAM/256", "QAM_256", 256, "256QAM"},
}};

// VDR writes a code rate as its two (or three) digits, 0 for none, 999 for auto.
constexpr std::array<FecCode, 11> kFecs{{
    {0, FEC_AUTO, "AUTO", "FEC_AUTO", 999},
    {1, FEC_1_2, "1/2", "FEC_1_2", 12},
    {2, FEC_2_3, "2/3", "FEC_2_3", 23},
    {3, FEC_3_4, "3/4", "FEC_3_4", 34},
    {4, FEC_5_6, "5/6", "FEC_5_6", 56},
    {5, FEC_7_8, "7/8", "FEC_7_8", 78},
    {6, FEC_8_9, "8/9", "FEC_8_9", 89},
    {7, FEC_3_5, "3/5", "FEC_3_5", 35},
    {8, FEC_4_5, "4/5", "FEC_4_5", 45},
    {9, FEC_9_10, "9/10", "FEC_9_10", 910},
    {15, FEC_NONE, "NONE", "FEC_NONE", 0},
}};

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
    for (uint8_t b : frequencyBytes) AddDigit(d.frequency, b >> 4, d.bcdValid), AddDigit(d.frequency, b & 0x0F, d.bcdValid);
    // symbol_rate: 7 digits; the eighth nibble is FEC_inner.
    for (int i = 0; i < 3; ++i)
        AddDigit(d.symbolRate, rateBytes[i] >> 4, d.bcdValid), AddDigit(d.symbolRate, rateBytes[i] & 0x0F, d.bcdValid);
    AddDigit(d.symbolRate, rateBytes[3] >> 4, d.bcdValid);
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
    PutBcd(&out[2], d.frequency, 8);
    out[6] = 0xFF;  // reserved_future_use
    out[7] = static_cast<uint8_t>(0xF0 | (d.fecOuter & 0x0F));
    out[8] = d.modulation;
    PutBcd(&out[9], d.symbolRate, 7);
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
