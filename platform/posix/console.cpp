// The locale's date and time formats from the C library, the terminal from isatty().
#include "platform/console.h"

#include <fcntl.h>
#include <langinfo.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

// The first character of a locale format that is not part of a conversion.
char formatSeparator(const char* format, char fallback) {
  if (format == nullptr) return fallback;
  for (const char* p = format; *p != 0; ++p) {
    if (*p == '%') {
      if (p[1] == 0) break;
      ++p;
      while (*p == 'E' || *p == 'O') ++p;
      if (*p == 0) break;
      continue;
    }
    if (*p != ' ') return *p;
  }
  return fallback;
}

}  // namespace

char localDateSeparator(char fallback) {
  return formatSeparator(::nl_langinfo(D_FMT), fallback);
}

char localTimeSeparator(char fallback) {
  return formatSeparator(::nl_langinfo(T_FMT), fallback);
}

bool errorStreamIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

int fillClosedStandardStreams() {
  int closed = 0;
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    closed |= 1 << fd;
    // The lowest free descriptor is this one.
    if (::open("/dev/null", O_RDWR) != fd) break;
  }
  return closed;
}

std::vector<std::string> commandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

}  // namespace platform
