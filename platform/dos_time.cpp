// Decoding of the packed MS-DOS fields, the same on every OS.
#include "platform/dos_time.h"

namespace platform {

static bool isLeap(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool decodeDosDateTime(DosDateTime dos, DosFields& out) {
  out.year = 1980 + (dos.date >> 9);
  out.month = (dos.date >> 5) & 15;
  out.day = dos.date & 31;
  out.hour = dos.time >> 11;
  out.minute = (dos.time >> 5) & 63;
  out.second = (dos.time & 31) * 2;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (out.month < 1 || out.month > 12 || out.day < 1) return false;
  const int days = kDays[out.month - 1] + (out.month == 2 && isLeap(out.year) ? 1 : 0);
  if (out.day > days) return false;
  return out.hour < 24 && out.minute < 60 && out.second < 60;
}

}  // namespace platform
