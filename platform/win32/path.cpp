// Paths on Windows: "\", "/" and the drive's ":" all end a folder part; absolute paths
// come from the system, which knows drives, shares and each drive's current folder.
#include "platform/path.h"

#include <vector>

#include "platform/win32/wide.h"

namespace platform {

bool isPathSeparator(char c) {
  return c == '\\' || c == '/' || c == ':';
}

std::string currentFolder() {
  const DWORD need = ::GetCurrentDirectoryW(0, nullptr);
  std::vector<wchar_t> buffer(need + 1);
  const DWORD n = ::GetCurrentDirectoryW(need + 1, buffer.data());
  if (n == 0 || n > need) return std::string(1, kPathSeparator);
  return withTrailingSeparator(win32::toUtf8(std::wstring_view(buffer.data(), n)));
}

std::string absolutePath(std::string_view path) {
  std::wstring wide = win32::toWide(path.empty() ? std::string_view(".\\") : path);
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  const DWORD need = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (need == 0) return std::string(path);
  std::vector<wchar_t> buffer(need + 1);
  const DWORD n = ::GetFullPathNameW(wide.c_str(), need + 1, buffer.data(), nullptr);
  if (n == 0 || n > need) return std::string(path);
  return win32::toUtf8(std::wstring_view(buffer.data(), n));
}

std::string executablePath() {
  // The path may be longer than 260 characters; grow until it fits.
  for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
    std::vector<wchar_t> buffer(size);
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), size);
    if (n == 0) return {};
    if (n < size) return win32::toUtf8(std::wstring_view(buffer.data(), n));
  }
  return {};
}

}  // namespace platform
