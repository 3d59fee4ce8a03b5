// TDT and TOT, and the MJD/BCD date conversion they share.
#include "si/Decoders.h"
#include "broadcast/SectionReader.h"
#include "broadcast/SiTags.h"

namespace si {

namespace {

int FromBcd(unsigned char b) { return (b >> 4) * 10 + (b & 0x0F); }

// EN 300 468 6.2.20: local_time_offset_descriptor, first 13-byte entry only.
void ReadLocalTimeOffset(SectionReader& body, TimeOffsetTable& table) {
    const auto country_code = body.Bytes(3);
    const uint8_t regionAndPolarity = body.U8();
    const uint16_t local_time_offset = body.U16();
    const auto time_of_change = body.Bytes(5);
    const uint16_t next_time_offset = body.U16();
    if (body.Error()) return;

    LocalTimeOffset entry;
    entry.countryCode.assign(country_code.begin(), country_code.end());
    entry.countryRegionId = regionAndPolarity >> 2;
    entry.polarity = regionAndPolarity & 0x01;
    entry.localTimeOffset = local_time_offset;
    MjdBcdToDateTime(time_of_change.data(), &entry.timeOfChange);
    entry.nextTimeOffset = next_time_offset;
    table.offsets.push_back(entry);
}

}  // namespace

// EN 300 468 Annex C, in the double-precision arithmetic these dates have
// always been computed with; right from MJD 15079 (1 March 1900) on.
int MjdBcdToDateTime(const unsigned char* p, fw::DateTime* out) {
    const unsigned mjdValue = static_cast<unsigned>(p[0]) << 8 | p[1];
    if (mjdValue == 0xFFFF) return 0;
    const double mjd = mjdValue;
    const int hour = FromBcd(p[2]);
    const int minute = FromBcd(p[3]);
    const int second = FromBcd(p[4]);

    // Factors: the doubles nearest to 1/365.25 and 1/30.6001.
    const int y = static_cast<int>((mjd - 15078.2) * 0.0027378507871321013);
    const int yearDays = static_cast<int>(y * 365.25);
    const int m = static_cast<int>((mjd - 14956.1 - yearDays) * 0.03267963176590926);
    const int day = static_cast<int>(mjd) - 14956 - yearDays - static_cast<int>(m * 30.6001);
    const int k = (m == 14 || m == 15) ? 1 : 0;
    out->SetDateTime(1900 + y + k, m - 1 - 12 * k, day, hour, minute, second);
    return 1;
}

bool ReadTdt(const unsigned char* data, int length, fw::DateTime* utcTime) {
    // The TDT carries no CRC: its eight bytes are all there is.
    SectionReader section(data, length);
    section.Seek(3);
    const auto utc_time = section.Bytes(5);
    if (section.Error()) return false;
    MjdBcdToDateTime(utc_time.data(), utcTime);
    return true;
}

bool ReadTot(const unsigned char* data, int length, TimeOffsetTable* table) {
    SectionReader section = WithoutCrc(data, length);
    section.Seek(3);
    const auto utc_time = section.Bytes(5);
    if (section.Error()) return false;
    MjdBcdToDateTime(utc_time.data(), &table->utcTime);

    const uint16_t descriptors_loop_length = section.Length12();
    WalkDescriptors(section.Sub(descriptors_loop_length), [&](uint8_t tag, SectionReader& body) {
        if (tag == descriptor::kLocalTimeOffset) ReadLocalTimeOffset(body, *table);
    });
    return true;
}

void DecodeTdt(const unsigned char* data, int length) {
    // The time is decoded and let go: nothing in the program follows it.
    fw::DateTime utcTime;
    ReadTdt(data, length, &utcTime);
}

void DecodeTot(const unsigned char* data, int length) {
    TimeOffsetTable table;
    ReadTot(data, length, &table);
}

}  // namespace si
