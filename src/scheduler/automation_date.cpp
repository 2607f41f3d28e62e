#include "scheduler/automation_date.h"

#include <cmath>

namespace qw::sched
{

namespace
{

// Days since 1 March of year 0 in the proleptic Gregorian calendar.
long long DaysFromCivil(long long y, long long m, long long d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
}

void CivilFromDays(long long z, int& year, int& month, int& day)
{
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

const long long kEpoch = DaysFromCivil(1899, 12, 30);
const long long kFirstDay = DaysFromCivil(100, 1, 1) - kEpoch;
const long long kLastDay = DaysFromCivil(9999, 12, 31) - kEpoch;

bool IsLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

} // namespace

Hr DateFromParts(int year, int month, int day, double& date)
{
    // Months carry into years first, then the day counts from the first of
    // that month, so day 0 is the last day of the month before.
    long long y = year + (month - 1) / 12;
    long long m = (month - 1) % 12;
    if (m < 0)
    {
        m += 12;
        --y;
    }
    if (y < -100000 || y > 100000)
        return kOverflow;
    const long long serial = DaysFromCivil(y, m + 1, 1) - kEpoch + (day - 1);
    if (serial < kFirstDay || serial > kLastDay)
        return kOverflow;
    date = static_cast<double>(serial);
    return kOk;
}

double TimeOfDay(int hour, int minute)
{
    return (hour * 60.0 + minute) / 1440.0;
}

bool SplitDate(double date, DateParts& parts)
{
    if (!std::isfinite(date) || date < static_cast<double>(kFirstDay) - 1 ||
        date >= static_cast<double>(kLastDay) + 1)
        return false;
    double whole = std::trunc(date);
    long long seconds = std::llround(std::fabs(date - whole) * 86400.0);
    // The fraction counts forward from midnight on either side of the epoch,
    // so rounding up to a whole day always moves to the next calendar day.
    if (seconds >= 86400)
    {
        seconds -= 86400;
        whole += 1;
    }
    const long long days = static_cast<long long>(whole);
    if (days < kFirstDay || days > kLastDay)
        return false;
    CivilFromDays(days + kEpoch, parts.year, parts.month, parts.day);
    parts.hour = static_cast<int>(seconds / 3600);
    parts.minute = static_cast<int>(seconds / 60 % 60);
    parts.second = static_cast<int>(seconds % 60);
    return true;
}

double DateFromSystemTime(const SystemTime& t)
{
    if (t.year < 100 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > DaysInMonth(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 59)
        return 0.0;
    const long long days = DaysFromCivil(t.year, t.month, t.day) - kEpoch;
    const double time = (t.hour * 3600.0 + t.minute * 60.0 + t.second) / 86400.0;
    return days < 0 ? days - time : days + time;
}

} // namespace qw::sched
