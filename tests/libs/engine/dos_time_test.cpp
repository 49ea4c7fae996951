// MS-DOS times read as local time: the same seconds as mktime() gives for every time of a
// year, daylight-saving changes included, in zones east and west of Greenwich; impossible
// dates give 0.
#include "engine/dos_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <random>
#include <thread>

namespace engine {
namespace {

int64_t WithMktime(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&tm));
}

uint32_t Pack(int year, int month, int day, int hour, int minute, int second) {
  return static_cast<uint32_t>((year - 1980) << 25 | month << 21 | day << 16 | hour << 11 |
                               minute << 5 | second / 2);
}

TEST(DosTime, SameAsMktimeThroughTheYearInEveryZone) {
  // POSIX rules, so that no time-zone database is needed.
  const char* const kZones[] = {"JST-9", "CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0",
                                "UTC0"};
  const char* const saved = std::getenv("TZ");
  for (const char* zone : kZones) {
    SCOPED_TRACE(zone);
    setenv("TZ", zone, 1);
    tzset();
    // A thread of its own: the cache is per thread and knows nothing of a change of zone.
    std::thread([] {
      std::mt19937 random(5);
      for (int i = 0; i < 20000; ++i) {
        const int year = 1980 + static_cast<int>(random() % 60);
        const int month = 1 + static_cast<int>(random() % 12);
        const int day = 1 + static_cast<int>(random() % 28);
        const int hour = static_cast<int>(random() % 24);
        const int minute = static_cast<int>(random() % 60);
        const int second = static_cast<int>(random() % 30) * 2;
        ASSERT_EQ(DosTimeToUnix(Pack(year, month, day, hour, minute, second)),
                  WithMktime(year, month, day, hour, minute, second))
            << year << "-" << month << "-" << day << " " << hour << ":" << minute;
      }
      // Every minute of the days the clocks change in Europe and America.
      for (int day : {8, 10, 26, 27, 28, 29, 30, 31}) {
        for (int minute = 0; minute < 24 * 60; minute += 7) {
          for (int month : {3, 10, 11}) {
            ASSERT_EQ(LocalTimeToUnix(2024, month, day, minute / 60, minute % 60, 0),
                      WithMktime(2024, month, day, minute / 60, minute % 60, 0))
                << month << "/" << day << " " << minute;
          }
        }
      }
    }).join();
  }
  if (saved != nullptr) {
    setenv("TZ", saved, 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

TEST(DosTime, DatesThatAreNoneGiveZero) {
  EXPECT_EQ(DosTimeToUnix(0), 0);
  EXPECT_EQ(DosTimeToUnix(0x00200000), 0);                  // month 1, day 0
  EXPECT_EQ(DosTimeToUnix(Pack(2024, 13, 1, 0, 0, 0)), 0);  // month 13
  EXPECT_EQ(DosTimeToUnix(0x00010000), 0);                  // month 0
  EXPECT_EQ(LocalTimeToUnix(2024, 0, 1, 0, 0, 0), 0);
}

}  // namespace
}  // namespace engine
