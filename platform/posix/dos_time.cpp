// MS-DOS date and time conversion through the C library's local time.
#include "platform/dos_time.h"

namespace platform {

DosDateTime toDosDateTime(std::time_t utc) {
  std::tm local{};
  if (::localtime_r(&utc, &local) == nullptr || local.tm_year < 80) {
    return DosDateTime{static_cast<std::uint16_t>((1 << 5) | 1), 0};
  }
  if (local.tm_year > 207) {
    return DosDateTime{static_cast<std::uint16_t>((127 << 9) | (12 << 5) | 31),
                       static_cast<std::uint16_t>((23 << 11) | (59 << 5) | 29)};
  }
  DosDateTime dos;
  dos.date = static_cast<std::uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) |
                                        local.tm_mday);
  // A leap second (60) would not fit the 5-bit field; it rounds down to 58.
  const int seconds = local.tm_sec > 59 ? 59 : local.tm_sec;
  dos.time =
      static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (seconds / 2));
  return dos;
}

bool fromDosDateTime(DosDateTime dos, std::time_t& out) {
  DosFields f{};
  if (!decodeDosDateTime(dos, f)) return false;
  std::tm local{};
  local.tm_year = f.year - 1900;
  local.tm_mon = f.month - 1;
  local.tm_mday = f.day;
  local.tm_hour = f.hour;
  local.tm_min = f.minute;
  local.tm_sec = f.second;
  local.tm_isdst = -1;
  const std::time_t t = std::mktime(&local);
  if (t == static_cast<std::time_t>(-1)) return false;
  out = t;
  return true;
}

}  // namespace platform
