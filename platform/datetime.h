#pragma once
// Local date and time in the forms the run log uses.

#include <chrono>
#include <string>

namespace znx {

// Broken-down local time.
struct LocalTime {
    int year, month, day, hour, minute, second;
};

LocalTime ToLocalTime(std::chrono::system_clock::time_point t);
LocalTime Now();

// The regional short date, one space and the regional long time; only the
// date when the time is 00:00:00 to the second. Under the C/POSIX locale the
// ISO form YYYY-MM-DD HH:MM:SS. Takes LC_TIME as set by InitLocale.
std::string FormatLogDateTime(const LocalTime& t);

// Adopts the user's locale for LC_TIME (and LC_CTYPE); main calls it once.
void InitLocale();

} // namespace znx
