// Paths on Windows: "\", "/" and the drive's ":" all end a folder part; absolute paths
// come from the system, which knows drives, shares and each drive's current folder.
#include "platform/path.h"

#include <shlobj.h>

#include <cstdlib>
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

std::string userConfigFolder() {
  // The roaming application data: the session's APPDATA when it names a drive's folder
  // or a share, else the folder the system keeps for the user (a relative APPDATA would
  // put the settings wherever the program was started from).
  const wchar_t* appData = ::_wgetenv(L"APPDATA");
  if (appData != nullptr) {
    const std::wstring value = appData;
    const bool onDrive = value.size() >= 3 && value[1] == L':' &&
                         (value[2] == L'\\' || value[2] == L'/');
    const bool onShare = value.size() >= 3 && value[0] == L'\\' && value[1] == L'\\';
    if (onDrive || onShare) return withTrailingSeparator(win32::toUtf8(value)) + "sundrix\\";
  }
  PWSTR known = nullptr;
  std::string folder;
  if (::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &known) == S_OK)
    folder = win32::toUtf8(known);
  ::CoTaskMemFree(known);
  if (folder.empty()) return currentFolder() + "sundrix\\";
  return withTrailingSeparator(folder) + "sundrix\\";
}

// NTFS, FAT32 and exFAT take names of 255 UTF-16 units; the long form of a path
// ("\\?\" and the absolute path) may have 32,767 of them.
bool nameFits(const std::string& folder, const std::string& name, std::string& why) {
  constexpr std::size_t kNameMax = 255;
  constexpr std::size_t kPathMax = 32767;
  const std::size_t nameUnits = win32::toWide(name).size();
  if (nameUnits > kNameMax) {
    why = "the name " + name + " is " + std::to_string(nameUnits) +
          " characters long, and Windows takes names of at most " + std::to_string(kNameMax);
    return false;
  }
  const std::size_t pathUnits = win32::longPath(folder + name).size();
  if (pathUnits > kPathMax) {
    why = "the path " + folder + name + " is " + std::to_string(pathUnits) +
          " characters long, and Windows opens paths of at most " + std::to_string(kPathMax);
    return false;
  }
  return true;
}

}  // namespace platform
