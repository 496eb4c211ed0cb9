// MS-DOS packed date and time, in local time, as ZIP headers carry them.
#pragma once

#include <cstdint>
#include <ctime>

namespace platform {

struct DosDateTime {
  std::uint16_t date = 0;  // years since 1980 << 9 | month << 5 | day
  std::uint16_t time = 0;  // hours << 11 | minutes << 5 | seconds / 2
};

// A UTC time as local MS-DOS date and time; times before 1980 become 1980-01-01 00:00:00,
// times after 2107 become 2107-12-31 23:59:58.
DosDateTime toDosDateTime(std::time_t utc);

// The broken-down fields; false when they are not a real calendar date and time.
struct DosFields {
  int year, month, day, hour, minute, second;
};
bool decodeDosDateTime(DosDateTime dos, DosFields& out);

// The local MS-DOS date and time as UTC seconds; false when not a valid date and time.
bool fromDosDateTime(DosDateTime dos, std::time_t& out);

}  // namespace platform
