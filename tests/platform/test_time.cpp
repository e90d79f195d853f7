#include "platform/Time.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

using namespace plat;

namespace {
std::uint32_t dos(int y, int mo, int d, int h, int mi, int s) {
    return static_cast<std::uint32_t>((y - 1980) << 25 | mo << 21 | d << 16 | h << 11 | mi << 5 |
                                      s / 2);
}
void setZone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
}
} // namespace

TEST(DosTime, ConvertsBothWays) {
    DateTime t = dosToDateTime(dos(1995, 8, 24, 13, 45, 30));
    auto p = decodeDateTime(t);
    EXPECT_EQ(p.year, 1995);
    EXPECT_EQ(p.month, 8);
    EXPECT_EQ(p.day, 24);
    EXPECT_EQ(p.hour, 13);
    EXPECT_EQ(p.minute, 45);
    EXPECT_EQ(p.second, 30);
    EXPECT_EQ(dateTimeToDos(t), dos(1995, 8, 24, 13, 45, 30));
    // Odd seconds fall to the two-second step.
    EXPECT_EQ(dateTimeToDos(encodeDateTime(2000, 2, 29, 23, 59, 59)), dos(2000, 2, 29, 23, 59, 58));
}

TEST(DosTime, ZeroAndInvalidGiveTheEpoch) {
    DateTime epoch = encodeDateTime(1980, 1, 1);
    EXPECT_DOUBLE_EQ(dosToDateTime(0), epoch);
    EXPECT_DOUBLE_EQ(dosToDateTime(dos(1999, 13, 1, 0, 0, 0)), epoch) << "month 13";
    EXPECT_DOUBLE_EQ(dosToDateTime(dos(1999, 2, 30, 0, 0, 0)), epoch) << "30 February";
    EXPECT_DOUBLE_EQ(dosToDateTime(dos(1999, 2, 1, 24, 0, 0)), epoch) << "hour 24";
    EXPECT_EQ(dateTimeToDos(encodeDateTime(1970, 1, 1)), kDosEpoch);
}

TEST(DateTime, DelphiDayNumbers) {
    EXPECT_DOUBLE_EQ(encodeDateTime(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(encodeDateTime(1970, 1, 1), 25569.0);
    EXPECT_DOUBLE_EQ(encodeDateTime(2000, 1, 1, 12), 36526.5);
}

TEST(UnixTime, FollowsTheLocalZoneAndDaylightSaving) {
    setZone("Europe/Berlin");
    // 2021-07-01 10:00:00 UTC is 12:00 summer time in Berlin.
    auto p = decodeDateTime(unixToDateTime(1625133600));
    EXPECT_EQ(p.hour, 12);
    // 2021-01-01 10:00:00 UTC is 11:00 winter time.
    p = decodeDateTime(unixToDateTime(1609495200));
    EXPECT_EQ(p.hour, 11);
    EXPECT_EQ(dateTimeToUnix(encodeDateTime(2021, 7, 1, 12)), 1625133600);
    EXPECT_EQ(dosToUnix(dos(2021, 1, 1, 11, 0, 0)), 1609495200);
    EXPECT_EQ(unixToDos(1625133600), dos(2021, 7, 1, 12, 0, 0));
    setZone("UTC");
    EXPECT_EQ(unixToDos(1625133600), dos(2021, 7, 1, 10, 0, 0));
}

TEST(UnixTime, SettlingTheZoneKeepsAChosenOneAndNamesTheSystemsOtherwise) {
    setZone("Europe/Berlin");
    settleLocalTimeZone();
    EXPECT_STREQ(std::getenv("TZ"), "Europe/Berlin");
    unsetenv("TZ");
    settleLocalTimeZone();
    EXPECT_STREQ(std::getenv("TZ"), ":/etc/localtime");
    setZone("UTC");
}
