// MS-DOS date and time, as ZIP, LHA (levels 0 and 1), CAB and RAR 1.5-4.x store them: in the
// local time of the machine that made the archive, which ours is the best guess for.
#ifndef DIZOR_LIBS_ENGINE_DOS_TIME_H_
#define DIZOR_LIBS_ENGINE_DOS_TIME_H_

#include <cstdint>

namespace engine {

// Seconds since 1970 of a local date and time (month 1-12); 0 for a date that is none (day
// or month 0, month above 12) or that the system cannot convert.
int64_t LocalTimeToUnix(int year, int month, int day, int hour, int minute, int second);

// The same for the packed form: the date in the high 16 bits, the time in the low 16.
int64_t DosTimeToUnix(uint32_t dos_time);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_DOS_TIME_H_
