// UTF-8 and UTF-16, long paths, system messages and FILETIMEs.
#include "platform/win32/wide.h"

#include <vector>

namespace platform::win32 {
namespace {

// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kEpochOffset = 116444736000000000LL;

}  // namespace

std::wstring toWide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), n);
  return out;
}

std::string toUtf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring longPath(const std::string& path) {
  if (path.empty()) return {};
  std::wstring wide = toWide(path);
  if (wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  const DWORD need = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (need == 0) return wide;
  std::vector<wchar_t> full(need + 1);
  const DWORD got = ::GetFullPathNameW(wide.c_str(), need + 1, full.data(), nullptr);
  if (got == 0 || got > need) return wide;
  std::wstring absolute(full.data(), got);
  // "\\server\share\..." becomes "\\?\UNC\server\share\...".
  if (absolute.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + absolute.substr(2);
  return L"\\\\?\\" + absolute;
}

std::string systemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message;
  if (n > 0 && text != nullptr) message = toUtf8(std::wstring_view(text, n));
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message.empty() ? "system error " + std::to_string(code) : message;
}

HANDLE openForAttributes(const std::string& path, DWORD access, DWORD flags) {
  return ::CreateFileW(longPath(path).c_str(), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

std::int64_t fileTimeToNs(LARGE_INTEGER ft) {
  return (ft.QuadPart - kEpochOffset) * 100;
}

std::int64_t fileTimeToNs(const FILETIME& ft) {
  LARGE_INTEGER value;
  value.LowPart = ft.dwLowDateTime;
  value.HighPart = static_cast<LONG>(ft.dwHighDateTime);
  return fileTimeToNs(value);
}

std::time_t fileTimeToTime(const FILETIME& ft) {
  const std::int64_t ns = fileTimeToNs(ft);
  // Round towards minus infinity, as st_mtime does for times before 1970.
  return static_cast<std::time_t>(ns >= 0 ? ns / 1'000'000'000
                                          : -((-ns + 999'999'999) / 1'000'000'000));
}

FILETIME timeToFileTime(std::time_t when) {
  const std::int64_t ticks = static_cast<std::int64_t>(when) * 10'000'000 + kEpochOffset;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
  return ft;
}

}  // namespace platform::win32
