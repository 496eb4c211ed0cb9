// Windows helpers shared by the back end: UTF-8 at the interface, UTF-16 towards the
// system, paths in the long form, times as FILETIMEs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace platform::win32 {

std::wstring toWide(std::string_view utf8);
std::string toUtf8(std::wstring_view wide);

// `path` as the wide-character API wants it: absolute, "\" separated and with the
// "\\?\" prefix, so that it may be longer than 260 characters. "" stays "".
std::wstring longPath(const std::string& path);

// The system's text for an error code, without the final line break.
std::string systemMessage(DWORD code);

// Opens `path` for nothing but its attributes (folders too); `flags` adds to
// FILE_FLAG_BACKUP_SEMANTICS, e.g. FILE_FLAG_OPEN_REPARSE_POINT to see a link itself.
HANDLE openForAttributes(const std::string& path, DWORD access, DWORD flags);

std::int64_t fileTimeToNs(const FILETIME& ft);  // since 1970, UTC
std::int64_t fileTimeToNs(LARGE_INTEGER ft);
std::time_t fileTimeToTime(const FILETIME& ft);
FILETIME timeToFileTime(std::time_t when);

inline HANDLE asHandle(std::intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}
inline std::intptr_t fromHandle(HANDLE h) {
  return reinterpret_cast<std::intptr_t>(h);
}

// A handle closed when the holder goes.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE h) : m_handle(h) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() {
    if (valid()) ::CloseHandle(m_handle);
  }
  bool valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
  HANDLE get() const { return m_handle; }

 private:
  HANDLE m_handle;
};

}  // namespace platform::win32
