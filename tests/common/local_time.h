// Unix milliseconds of a local date and time, by the C library's own mktime,
// so that a test's expected local-time text holds in any time zone.
#pragma once

#include <cstdint>
#include <ctime>

namespace norvane::test {

inline std::int64_t LocalMs(int year, int month, int day, int hour, int minute, int second, int ms = 0) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&local)) * 1000 + ms;
}

}  // namespace norvane::test
