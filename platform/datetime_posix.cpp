#include "datetime.h"

#include <langinfo.h>
#include <clocale>
#include <cstring>
#include <ctime>

namespace znx {

void InitLocale() {
    std::setlocale(LC_TIME, "");
    std::setlocale(LC_CTYPE, "");
}

LocalTime ToLocalTime(std::chrono::system_clock::time_point t) {
    std::time_t tt = std::chrono::system_clock::to_time_t(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

LocalTime Now() { return ToLocalTime(std::chrono::system_clock::now()); }

std::string FormatLogDateTime(const LocalTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    std::mktime(&tm); // fills in the week day some formats show

    const char* loc = std::setlocale(LC_TIME, nullptr);
    bool posix = !loc || std::strcmp(loc, "C") == 0 || std::strcmp(loc, "POSIX") == 0 ||
                 std::strncmp(loc, "C.", 2) == 0;
    std::string dateFmt = posix ? "%Y-%m-%d" : nl_langinfo(D_FMT);
    std::string timeFmt = posix ? "%H:%M:%S" : nl_langinfo(T_FMT);
    std::string fmt = dateFmt;
    if (t.hour != 0 || t.minute != 0 || t.second != 0) fmt += " " + timeFmt;
    char buf[128];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    // The locale's own date and time formats.
    size_t n = std::strftime(buf, sizeof buf, fmt.c_str(), &tm);
#pragma GCC diagnostic pop
    return std::string(buf, n);
}

} // namespace znx
