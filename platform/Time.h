// Time stamp conversions: DOS date-time, TDateTime (days since 1899-12-30)
// and Unix time.  DOS stamps are local time, so they go through the C
// library's time-zone rules.
#pragma once

#include <cstdint>

namespace plat {

using DateTime = double; // the run-time's TDateTime

// 1980-01-01 00:00 as a DOS date-time.
constexpr std::uint32_t kDosEpoch = (0u << 25 | 1u << 21 | 1u << 16);

bool isValidDosDateTime(std::uint32_t dos);
// DOS date-time (date in the high word) to TDateTime; 0 or invalid values
// give 1980-01-01 00:00.
DateTime dosToDateTime(std::uint32_t dos);
std::uint32_t dateTimeToDos(DateTime dt);

DateTime encodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                        int msec = 0);
struct DateTimeParts {
    int year, month, day, hour, minute, second, msec;
};
DateTimeParts decodeDateTime(DateTime dt);

// Unix time <-> local TDateTime.
DateTime unixToDateTime(std::int64_t t);
std::int64_t dateTimeToUnix(DateTime dt);
// Unix time <-> DOS date-time (local); times before 1980 give kDosEpoch.
std::uint32_t unixToDos(std::int64_t t);
std::int64_t dosToUnix(std::uint32_t dos);

DateTime now();

// Names the local time zone once for the process (TZ=":/etc/localtime"
// unless TZ is set): without TZ the C library reads /etc/localtime again for
// every conversion.  Call before any other thread starts.
void settleLocalTimeZone();

} // namespace plat
