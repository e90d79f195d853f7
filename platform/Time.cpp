#include "platform/Time.h"

#include <cmath>
#include <cstdlib>
#include <ctime>

namespace plat {

namespace {

// Days from 0001-01-01 (proleptic Gregorian) using the civil algorithm;
// returns days relative to 1970-01-01.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t yy = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

constexpr std::int64_t kDelphiToUnixDays = 25569; // 1899-12-30 .. 1970-01-01

int daysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
    return days[m - 1];
}

} // namespace

DateTime encodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
    std::int64_t days =
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
        kDelphiToUnixDays;
    double frac = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + msec) / 86400000.0;
    return static_cast<double>(days) + frac;
}

DateTimeParts decodeDateTime(DateTime dt) {
    DateTimeParts p{};
    // Round to the millisecond so that values built from whole seconds decode exactly.
    double ms = std::floor(dt * 86400000.0 + 0.5);
    std::int64_t total = static_cast<std::int64_t>(ms);
    std::int64_t days = total / 86400000;
    std::int64_t rest = total % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --days;
    }
    civilFromDays(days - kDelphiToUnixDays, p.year, p.month, p.day);
    p.hour = static_cast<int>(rest / 3600000);
    p.minute = static_cast<int>(rest / 60000 % 60);
    p.second = static_cast<int>(rest / 1000 % 60);
    p.msec = static_cast<int>(rest % 1000);
    return p;
}

bool isValidDosDateTime(std::uint32_t dos) {
    unsigned time = dos & 0xFFFF, date = dos >> 16;
    int sec = (time & 0x1F) * 2, min = (time >> 5) & 0x3F, hour = time >> 11;
    int day = date & 0x1F, mon = (date >> 5) & 0x0F, year = 1980 + (date >> 9);
    if (sec > 59 || min > 59 || hour > 23) return false;
    if (mon < 1 || mon > 12 || day < 1) return false;
    return day <= daysInMonth(year, mon);
}

DateTime dosToDateTime(std::uint32_t dos) {
    if (dos == 0 || !isValidDosDateTime(dos)) return encodeDateTime(1980, 1, 1);
    unsigned time = dos & 0xFFFF, date = dos >> 16;
    return encodeDateTime(1980 + static_cast<int>(date >> 9), static_cast<int>((date >> 5) & 0x0F),
                          static_cast<int>(date & 0x1F), static_cast<int>(time >> 11),
                          static_cast<int>((time >> 5) & 0x3F),
                          static_cast<int>((time & 0x1F) * 2));
}

std::uint32_t dateTimeToDos(DateTime dt) {
    DateTimeParts p = decodeDateTime(dt);
    if (p.year < 1980) return kDosEpoch;
    if (p.year > 2107) p.year = 2107;
    return static_cast<std::uint32_t>((p.year - 1980) << 25 | p.month << 21 | p.day << 16 |
                                      p.hour << 11 | p.minute << 5 | p.second / 2);
}

DateTime unixToDateTime(std::int64_t t) {
    time_t tt = static_cast<time_t>(t);
    struct tm tm {};
    if (!localtime_r(&tt, &tm)) return encodeDateTime(1970, 1, 1);
    return encodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                          tm.tm_sec);
}

std::int64_t dateTimeToUnix(DateTime dt) {
    DateTimeParts p = decodeDateTime(dt);
    struct tm tm {};
    tm.tm_year = p.year - 1900;
    tm.tm_mon = p.month - 1;
    tm.tm_mday = p.day;
    tm.tm_hour = p.hour;
    tm.tm_min = p.minute;
    tm.tm_sec = p.second;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(mktime(&tm));
}

std::uint32_t unixToDos(std::int64_t t) {
    return dateTimeToDos(unixToDateTime(t));
}

std::int64_t dosToUnix(std::uint32_t dos) {
    return dateTimeToUnix(dosToDateTime(dos));
}

DateTime now() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return unixToDateTime(ts.tv_sec) + ts.tv_nsec / 1e6 / 86400000.0;
}

void settleLocalTimeZone() {
    ::setenv("TZ", ":/etc/localtime", 0);
}

} // namespace plat
