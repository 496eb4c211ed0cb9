// MS-DOS date and time through the system's own conversions, which apply the time zone
// rule of the date converted.
#include "platform/dos_time.h"

#include "platform/win32/wide.h"

namespace platform {

DosDateTime toDosDateTime(std::time_t utc) {
  const FILETIME ft = win32::timeToFileTime(utc);
  FILETIME local{};
  SYSTEMTIME st{};
  if (::FileTimeToLocalFileTime(&ft, &local) == 0 || ::FileTimeToSystemTime(&local, &st) == 0 ||
      st.wYear < 1980) {
    return DosDateTime{static_cast<std::uint16_t>((1 << 5) | 1), 0};
  }
  if (st.wYear > 2107) {
    return DosDateTime{static_cast<std::uint16_t>((127 << 9) | (12 << 5) | 31),
                       static_cast<std::uint16_t>((23 << 11) | (59 << 5) | 29)};
  }
  WORD date = 0, time = 0;
  if (::FileTimeToDosDateTime(&local, &date, &time) == 0) {
    return DosDateTime{static_cast<std::uint16_t>((1 << 5) | 1), 0};
  }
  return DosDateTime{date, time};
}

bool fromDosDateTime(DosDateTime dos, std::time_t& out) {
  DosFields f{};
  if (!decodeDosDateTime(dos, f)) return false;
  FILETIME local{}, utc{};
  if (::DosDateTimeToFileTime(dos.date, dos.time, &local) == 0 ||
      ::LocalFileTimeToFileTime(&local, &utc) == 0) {
    return false;
  }
  out = win32::fileTimeToTime(utc);
  return true;
}

}  // namespace platform
