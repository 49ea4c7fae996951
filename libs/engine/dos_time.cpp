#include "engine/dos_time.h"

#include <ctime>

namespace engine {
namespace {

// mktime() looks at /etc/localtime each time it is called (where TZ is unset): one system
// call per entry, 20,000 of them for an archive of 20,000 small files. Offsets from UTC
// change on the hour (daylight saving, a new zone rule), so the start of each hour is
// converted once and the minutes and seconds are added to it. Entries mostly share a few
// hours, so a small cache per thread serves nearly all of them.
struct HourStart {
  int year = -1, month = 0, day = 0, hour = 0;
  int64_t unix = 0;
};

int64_t StartOfHour(int year, int month, int day, int hour) {
  constexpr int kSlots = 16;
  thread_local HourStart cache[kSlots];
  HourStart& slot = cache[static_cast<unsigned>(year * 31 * 24 + day * 24 + hour + month) % kSlots];
  if (slot.year == year && slot.month == month && slot.day == day && slot.hour == hour) {
    return slot.unix;
  }
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  const int64_t unix = t == static_cast<std::time_t>(-1) ? -1 : static_cast<int64_t>(t);
  slot = {year, month, day, hour, unix};
  return unix;
}

}  // namespace

int64_t LocalTimeToUnix(int year, int month, int day, int hour, int minute, int second) {
  if (day == 0 || month < 1 || month > 12) return 0;
  const int64_t start = StartOfHour(year, month, day, hour);
  return start < 0 ? 0 : start + minute * 60 + second;
}

int64_t DosTimeToUnix(uint32_t dos_time) {
  if (dos_time == 0) return 0;
  const uint32_t date = dos_time >> 16;
  const uint32_t time = dos_time & 0xFFFF;
  return LocalTimeToUnix(static_cast<int>(date >> 9) + 1980, static_cast<int>((date >> 5) & 15),
                         static_cast<int>(date & 31), static_cast<int>(time >> 11),
                         static_cast<int>((time >> 5) & 63), static_cast<int>((time & 31) * 2));
}

}  // namespace engine
