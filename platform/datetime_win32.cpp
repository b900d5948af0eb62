// Date and time for log lines on Windows: the user's regional short date
// (GetDateFormatA, DATE_SHORTDATE) and long time (GetTimeFormatA).
#include "datetime.h"

#include <windows.h>

#include <ctime>

namespace znx {

void InitLocale() {
    // The regional formats come from the user's settings through the system
    // calls; the C runtime's locale plays no part.
}

LocalTime ToLocalTime(std::chrono::system_clock::time_point t) {
    std::time_t tt = std::chrono::system_clock::to_time_t(t);
    std::tm tm{};
    localtime_s(&tm, &tt);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

LocalTime Now() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

std::string FormatLogDateTime(const LocalTime& t) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(t.year);
    st.wMonth = static_cast<WORD>(t.month);
    st.wDay = static_cast<WORD>(t.day);
    st.wHour = static_cast<WORD>(t.hour);
    st.wMinute = static_cast<WORD>(t.minute);
    st.wSecond = static_cast<WORD>(t.second);
    // The week day, which some date formats show.
    FILETIME ft;
    if (SystemTimeToFileTime(&st, &ft)) FileTimeToSystemTime(&ft, &st);

    char buf[128];
    int n = GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buf, sizeof buf);
    std::string out = n > 0 ? std::string(buf, static_cast<size_t>(n - 1)) : std::string();
    if (t.hour != 0 || t.minute != 0 || t.second != 0) {
        n = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, buf, sizeof buf);
        if (n > 0) out += " " + std::string(buf, static_cast<size_t>(n - 1));
    }
    return out;
}

} // namespace znx
