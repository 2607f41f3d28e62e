#pragma once

// Automation dates: days since 30 December 1899 as a double, the time of day
// as its fraction. Before that day the fraction still counts forward from
// midnight (-1.25 is 29 December 1899, 06:00).

#include "scheduler/task_service.h"

namespace qw::sched
{

struct DateParts
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Builds a date; a day or month beyond its range carries into the next month
// or year (month 13 is January of the next year, day 0 the last of the month
// before). kOverflow when the result lies outside years 100 to 9999.
Hr DateFromParts(int year, int month, int day, double& date);

// The time of day of hour and minute, seconds 0.
double TimeOfDay(int hour, int minute);

// The parts of a date, rounded to the second. False outside years 100 to 9999.
bool SplitDate(double date, DateParts& parts);

// The date of a system time; the zero date when the time is not a valid one
// (an all-zero time means "never").
double DateFromSystemTime(const SystemTime& time);

} // namespace qw::sched
