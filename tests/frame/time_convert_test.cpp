// UTC/local conversions: the daylight-saving rule of the converted date, checked in a zone with
// known rules around both of its yearly changes, and the exports against the system's own
// conversions in the current zone.
#include "frame/time_convert.h"
#include "tests/common/test_support.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace kwill {
namespace {

using test::Named;

// Central European rules: UTC+1, UTC+2 from the last Sunday of March 02:00 to the last Sunday of
// October 03:00.
TIME_ZONE_INFORMATION CentralEurope() {
    TIME_ZONE_INFORMATION zone{};
    zone.Bias = -60;
    zone.DaylightBias = -60;
    zone.StandardDate = {0, 10, 0, 5, 3, 0, 0, 0};
    zone.DaylightDate = {0, 3, 0, 5, 2, 0, 0, 0};
    return zone;
}

SYSTEMTIME At(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME t{};
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    return t;
}

uint64_t Ticks(const FILETIME& f) {
    return (uint64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

FILETIME FileTime(const SYSTEMTIME& t) {
    FILETIME f{};
    ::SystemTimeToFileTime(&t, &f);
    return f;
}

TEST(TimeConvert, AppliesTheRuleOfTheConvertedDateAroundBothChanges) {
    const TIME_ZONE_INFORMATION zone = CentralEurope();
    struct Row {
        SYSTEMTIME utc, local;
    } rows[] = {
        {At(2024, 1, 15, 12, 0, 0), At(2024, 1, 15, 13, 0, 0)},
        {At(2024, 3, 31, 0, 59, 59), At(2024, 3, 31, 1, 59, 59)},
        {At(2024, 3, 31, 1, 0, 0), At(2024, 3, 31, 3, 0, 0)},
        {At(2024, 7, 15, 12, 0, 0), At(2024, 7, 15, 14, 0, 0)},
        {At(2024, 10, 27, 0, 59, 59), At(2024, 10, 27, 2, 59, 59)},
        {At(2024, 10, 27, 1, 0, 0), At(2024, 10, 27, 2, 0, 0)},
        {At(2024, 12, 31, 23, 30, 0), At(2025, 1, 1, 0, 30, 0)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.utc.wMonth << "/" << row.utc.wDay << " "
                                        << row.utc.wHour << ":" << row.utc.wMinute);
        FILETIME utc = FileTime(row.utc);
        FILETIME local{};
        ASSERT_TRUE(UtcFileTimeToLocal(&utc, &local, &zone));
        EXPECT_EQ(Ticks(local), Ticks(FileTime(row.local)));
        ASSERT_TRUE(UtcSystemTimeToLocal(&row.utc, &local, &zone));
        EXPECT_EQ(Ticks(local), Ticks(FileTime(row.local)));

        // Back again; the hour repeated in October is read as standard time, so only times
        // outside it make the round trip.
        bool repeatedHour = row.local.wMonth == 10 && row.local.wHour == 2;
        if (!repeatedHour) {
            FILETIME back{};
            ASSERT_TRUE(LocalSystemTimeToUtc(&row.local, &back, &zone));
            EXPECT_EQ(Ticks(back), Ticks(utc));
            FILETIME localFile = FileTime(row.local);
            ASSERT_TRUE(LocalFileTimeToUtc(&localFile, &back, &zone));
            EXPECT_EQ(Ticks(back), Ticks(utc));
        }
    }
}

TEST(TimeConvert, DropsTheSubMillisecondPart) {
    const TIME_ZONE_INFORMATION zone = CentralEurope();
    FILETIME utc = FileTime(At(2024, 7, 1, 0, 0, 0));
    uint64_t exact = Ticks(utc) + 12345678;  // 1.2345678 s
    utc.dwLowDateTime = static_cast<DWORD>(exact);
    utc.dwHighDateTime = static_cast<DWORD>(exact >> 32);
    FILETIME local{};
    ASSERT_TRUE(UtcFileTimeToLocal(&utc, &local, &zone));
    EXPECT_EQ(Ticks(local), exact - 5678 + 2 * 36000000000ull);
}

TEST(TimeConvert, ExportsFollowTheSystemInTheCurrentZone) {
    using FromFileTime = BOOL (*)(const FILETIME*, FILETIME*);
    using FromSystemTime = BOOL (*)(const SYSTEMTIME*, FILETIME*);
    auto utcFile = Named<FromFileTime>("ConvertUTCFileTimeToLocalTime");
    auto utcSystem = Named<FromSystemTime>("ConvertUTCSystemTimeToLocalTime");
    auto localFile = Named<FromFileTime>("ConvertLocalFileTimeToUTCFileTime");
    auto localSystem = Named<FromSystemTime>("ConvertLocalSystemTimeToUTCFileTime");
    ASSERT_TRUE(utcFile && utcSystem && localFile && localSystem);

    // Every month of a year, so that both sides of any daylight-saving change are met.
    for (WORD month = 1; month <= 12; ++month) {
        SCOPED_TRACE(month);
        SYSTEMTIME utc = At(2024, month, 20, 11, 30, 15);
        SYSTEMTIME expectedLocal{};
        ASSERT_TRUE(::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &expectedLocal));
        FILETIME utcFileTime = FileTime(utc);
        FILETIME local{};
        ASSERT_TRUE(utcFile(&utcFileTime, &local));
        EXPECT_EQ(Ticks(local), Ticks(FileTime(expectedLocal)));
        ASSERT_TRUE(utcSystem(&utc, &local));
        EXPECT_EQ(Ticks(local), Ticks(FileTime(expectedLocal)));

        // FileTimeToLocalFileTime uses today's bias; where today's rule is the date's rule it
        // must agree.
        FILETIME todayRule{};
        ::FileTimeToLocalFileTime(&utcFileTime, &todayRule);
        TIME_ZONE_INFORMATION zone{};
        DWORD state = ::GetTimeZoneInformation(&zone);
        if (state == TIME_ZONE_ID_UNKNOWN) {
            EXPECT_EQ(Ticks(local), Ticks(todayRule));
        }

        FILETIME back{};
        ASSERT_TRUE(localSystem(&expectedLocal, &back));
        EXPECT_EQ(Ticks(back), Ticks(utcFileTime));
        ASSERT_TRUE(localFile(&local, &back));
        EXPECT_EQ(Ticks(back), Ticks(utcFileTime));
    }
}

TEST(TimeConvert, NullOrUnconvertibleInputFailsWithoutTouchingTheOutput) {
    auto utcFile = Named<BOOL (*)(const FILETIME*, FILETIME*)>("ConvertUTCFileTimeToLocalTime");
    auto utcSystem =
        Named<BOOL (*)(const SYSTEMTIME*, FILETIME*)>("ConvertUTCSystemTimeToLocalTime");
    auto localFile =
        Named<BOOL (*)(const FILETIME*, FILETIME*)>("ConvertLocalFileTimeToUTCFileTime");
    auto localSystem =
        Named<BOOL (*)(const SYSTEMTIME*, FILETIME*)>("ConvertLocalSystemTimeToUTCFileTime");
    const FILETIME untouched = {0x11111111, 0x22222222};
    FILETIME out = untouched;
    FILETIME in = FileTime(At(2024, 5, 5, 5, 5, 5));
    SYSTEMTIME system = At(2024, 5, 5, 5, 5, 5);
    FILETIME beyond = {0xFFFFFFFF, 0xFFFFFFFF};  // after the last year SYSTEMTIME can hold
    SYSTEMTIME invalid = At(2024, 13, 40, 25, 0, 0);

    EXPECT_FALSE(utcFile(nullptr, &out));
    EXPECT_FALSE(utcFile(&in, nullptr));
    EXPECT_FALSE(utcFile(&beyond, &out));
    EXPECT_FALSE(utcSystem(nullptr, &out));
    EXPECT_FALSE(utcSystem(&system, nullptr));
    EXPECT_FALSE(utcSystem(&invalid, &out));
    EXPECT_FALSE(localFile(nullptr, &out));
    EXPECT_FALSE(localFile(&beyond, &out));
    EXPECT_FALSE(localSystem(nullptr, &out));
    EXPECT_FALSE(localSystem(&invalid, &out));
    EXPECT_EQ(Ticks(out), Ticks(untouched));
}

}  // namespace
}  // namespace kwill
