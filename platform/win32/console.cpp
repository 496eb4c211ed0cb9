// The user's date and time separators from the locale settings; the terminal is a
// console when the handle answers the console's mode query.
#include "platform/console.h"

#include "platform/win32/wide.h"

#include <shellapi.h>

namespace platform {
namespace {

char localeSeparator(LCTYPE type, char fallback) {
  wchar_t buffer[8] = {};
  if (::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, 8) == 0) return fallback;
  // Only a one-byte separator fits the listing's field.
  return buffer[0] > 0 && buffer[0] < 0x80 && buffer[1] == 0 ? static_cast<char>(buffer[0])
                                                              : fallback;
}

}  // namespace

char localDateSeparator(char fallback) {
  return localeSeparator(LOCALE_SDATE, fallback);
}

char localTimeSeparator(char fallback) {
  return localeSeparator(LOCALE_STIME, fallback);
}

int fillClosedStandardStreams() {
  // A Windows process without a standard handle gets none by opening a file.
  return 0;
}

bool errorStreamIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::vector<std::string> commandLineArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr || count != argc) {
    if (wide != nullptr) ::LocalFree(wide);
    return std::vector<std::string>(argv, argv + argc);
  }
  std::vector<std::string> args;
  args.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) args.push_back(win32::toUtf8(wide[i]));
  ::LocalFree(wide);
  return args;
}

}  // namespace platform
