#include <gtest/gtest.h>

#include "si/Decoders.h"
#include "tests/SiTestSupport.h"

using namespace sitest;

namespace {

fw::DateTime Convert(Bytes fiveBytes, int* result = nullptr) {
    fw::DateTime out;
    const int r = si::MjdBcdToDateTime(fiveBytes.data(), &out);
    if (result != nullptr) *result = r;
    return out;
}

Bytes Mjd(unsigned mjd, Bytes bcdTime = {0, 0, 0}) {
    Bytes b;
    Put16(b, mjd);
    Append(b, bcdTime);
    return b;
}

TEST(MjdBcdToDateTime, GivesTheGregorianDateAndBcdTime) {
    struct Case {
        const char* name;
        Bytes bytes;
        fw::DateTime expected;
    };
    const Case cases[] = {
        {"the standard's example", {0xC0, 0x79, 0x12, 0x45, 0x00}, {1993, 10, 13, 12, 45, 0}},
        {"29 February 2000", Mjd(51603, {0x23, 0x59, 0x59}), {2000, 2, 29, 23, 59, 59}},
        {"1 March 2000", Mjd(51604), {2000, 3, 1, 0, 0, 0}},
        {"1 March 1900, the first right date", Mjd(15079), {1900, 3, 1, 0, 0, 0}},
        {"31 December 1999", Mjd(51543), {1999, 12, 31, 0, 0, 0}},
        {"1 January 2000", Mjd(51544), {2000, 1, 1, 0, 0, 0}},
        {"2026-01-01", Mjd(61041, {0x08, 0x30, 0x00}), {2026, 1, 1, 8, 30, 0}},
        {"the last day before the undefined value", Mjd(65534), {2038, 4, 21, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int result = 0;
        const fw::DateTime got = Convert(c.bytes, &result);
        EXPECT_EQ(result, 1);
        EXPECT_TRUE(got.IsValid());
        EXPECT_EQ(got, c.expected);
    }
}

// Days since 1970-01-01 to a civil date (the well-known era-based
// reckoning), independent of the double-precision formula under test.
fw::DateTime CivilFromDays(long z) {
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return fw::DateTime(static_cast<int>(yoe + era * 400 + (month <= 2)), month, day, 0, 0, 0);
}

TEST(MjdBcdToDateTime, MatchesTheCalendarForEveryDateFrom1900On) {
    // MJD 40587 is 1970-01-01.
    int mismatches = 0;
    for (unsigned mjd = 15079; mjd <= 65534; ++mjd) {
        if (Convert(Mjd(mjd)) != CivilFromDays(static_cast<long>(mjd) - 40587)) ++mismatches;
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(MjdBcdToDateTime, OutOfRangeComponentsLeaveAnInvalidValue) {
    // Below 15079 the formula gives 31 February 1900; a BCD hour 99 is 99.
    for (const Bytes& bytes : {Mjd(15078), Mjd(51604, {0x99, 0x00, 0x00}), Mjd(51604, {0x12, 0x60, 0x00})}) {
        int result = 0;
        EXPECT_FALSE(Convert(bytes, &result).IsValid());
        EXPECT_EQ(result, 1);
    }
}

TEST(MjdBcdToDateTime, UndefinedTimeLeavesTheOutputAlone) {
    fw::DateTime out(2001, 2, 3, 4, 5, 6);
    const Bytes undefined = Mjd(0xFFFF, {0x12, 0x00, 0x00});
    EXPECT_EQ(si::MjdBcdToDateTime(undefined.data(), &out), 0);
    EXPECT_EQ(out, fw::DateTime(2001, 2, 3, 4, 5, 6));
}

TEST(DateTime, RangeChecksEveryComponent) {
    fw::DateTime t;
    EXPECT_EQ(t.SetDateTime(2024, 2, 29, 0, 0, 0), 0);
    EXPECT_TRUE(t.IsValid());
    for (auto args : std::vector<std::array<int, 6>>{{2023, 2, 29, 0, 0, 0}, {1900, 2, 29, 0, 0, 0},
                                                      {2000, 13, 1, 0, 0, 0}, {2000, 4, 31, 0, 0, 0},
                                                      {99, 1, 1, 0, 0, 0},    {2000, 1, 1, 24, 0, 0},
                                                      {2000, 1, 1, 0, 0, 60}, {2000, 0, 1, 0, 0, 0}}) {
        EXPECT_EQ(t.SetDateTime(args[0], args[1], args[2], args[3], args[4], args[5]), 1);
        EXPECT_FALSE(t.IsValid());
    }
    EXPECT_EQ(t.SetDateTime(2000, 2, 29, 12, 0, 0), 0);
    EXPECT_TRUE(t.IsValid());
}

Bytes LocalTimeOffsetEntry(const std::string& country, uint8_t regionPolarity, unsigned offset, Bytes change,
                           unsigned next) {
    Bytes e = Text(country);
    e.push_back(regionPolarity);
    Put16(e, offset);
    Append(e, change);
    Put16(e, next);
    return e;
}

Bytes Tot(const Bytes& utc, const Bytes& descriptors) {
    Bytes body = utc;
    Put16(body, 0xF000 | descriptors.size());
    Append(body, descriptors);
    return Section(0x73, body, false);
}

TEST(TotDecoder, ReadsOnlyTheFirstEntryOfEachLocalTimeOffsetDescriptor) {
    const Bytes deu = LocalTimeOffsetEntry("DEU", 0x02, 0x0100, Mjd(61128, {0x01, 0x00, 0x00}), 0x0200);
    const Bytes fra = LocalTimeOffsetEntry("FRA", 0x07, 0x0100, Mjd(61128, {0x01, 0x00, 0x00}), 0x0200);
    const Bytes aut = LocalTimeOffsetEntry("AUT", 0x00, 0x0200, Mjd(0xFFFF), 0x0100);
    const Bytes section = Tot(Mjd(61041, {0x12, 0x00, 0x00}),
                              Descriptor(0x58, deu + fra) + Descriptor(0x40, Text("x")) + Descriptor(0x58, aut));
    si::TimeOffsetTable table;
    ASSERT_TRUE(si::ReadTot(section.data(), static_cast<int>(section.size()), &table));
    EXPECT_EQ(table.utcTime, fw::DateTime(2026, 1, 1, 12, 0, 0));
    ASSERT_EQ(table.offsets.size(), 2u);
    EXPECT_EQ(table.offsets[0].countryCode, "DEU");
    EXPECT_EQ(table.offsets[0].countryRegionId, 0);
    EXPECT_EQ(table.offsets[0].polarity, 0);
    EXPECT_EQ(table.offsets[0].localTimeOffset, 0x0100);
    EXPECT_EQ(table.offsets[0].timeOfChange, fw::DateTime(2026, 3, 29, 1, 0, 0));
    EXPECT_EQ(table.offsets[0].nextTimeOffset, 0x0200);
    EXPECT_EQ(table.offsets[1].countryCode, "AUT");
    // MJD 0xFFFF leaves the time of change as it was made.
    EXPECT_EQ(table.offsets[1].timeOfChange, fw::DateTime());

    const Bytes westOfGreenwich = LocalTimeOffsetEntry("BRA", 0x0B, 0x0300, Mjd(61041), 0x0300);
    si::TimeOffsetTable brazil;
    const Bytes other = Tot(Mjd(61041), Descriptor(0x58, westOfGreenwich));
    ASSERT_TRUE(si::ReadTot(other.data(), static_cast<int>(other.size()), &brazil));
    ASSERT_EQ(brazil.offsets.size(), 1u);
    EXPECT_EQ(brazil.offsets[0].countryRegionId, 2);
    EXPECT_EQ(brazil.offsets[0].polarity, 1);
}

TEST(TdtDecoder, ReadsTheUtcTimeWithoutACrc) {
    const Bytes tdt{0x70, 0x70, 0x05, 0xC0, 0x79, 0x12, 0x45, 0x00};
    fw::DateTime utc;
    ASSERT_TRUE(si::ReadTdt(tdt.data(), static_cast<int>(tdt.size()), &utc));
    EXPECT_EQ(utc, fw::DateTime(1993, 10, 13, 12, 45, 0));
    EXPECT_FALSE(si::ReadTdt(tdt.data(), 7, &utc));
}

}  // namespace
