#pragma once
// The optional calendar date-time that listing entries carry, and its ordering.

#include <windows.h>

#include <cstdint>

#include "support/orelib_string.h"

struct date_time {
  SYSTEMTIME value{};
  bool valid = false;  // false: no date-time is known and value is never read
};

// Fills every field, the day of the week computed; valid when the fields are within bounds.
date_time make_date_time(std::uint16_t year, std::uint16_t month, std::uint16_t day,
                         std::uint16_t hour, std::uint16_t minute, std::uint16_t second,
                         std::uint16_t millisecond);

// 0 = Sunday ... 6 = Saturday.
int day_of_week(int year, int month, int day);

// Clears valid when a field is out of bounds; answers whether all are within them.
bool check_date_time(date_time& time);

// An absent value sorts before every present one.
bool date_time_less(const date_time& a, const date_time& b);
bool date_time_equal(const date_time& a, const date_time& b);

// The file's last-write time (UTC); absent when the file cannot be opened or read.
date_time local_file_time(const orelib::string& path);
