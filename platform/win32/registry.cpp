// The key store on the system registry: the classes root is the current user's
// Software\Classes key (what the system merges into HKEY_CLASSES_ROOT for that user), so
// the keys need no administrator and the system's file manager reads them directly.
#include "platform/registry.h"

#include <algorithm>

#include "platform/win32/wide.h"

namespace platform {
namespace {

// Key names are non-empty and hold no control characters; "\" only separates them.
bool validKeyPath(std::string_view key) {
  if (key.empty() || key.front() == '\\' || key.back() == '\\') return false;
  if (key.find("\\\\") != std::string_view::npos) return false;
  return std::none_of(key.begin(), key.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

// An open registry key, closed when the holder goes.
class Key {
 public:
  Key() = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (m_key != nullptr) ::RegCloseKey(m_key);
  }
  HKEY* out() { return &m_key; }
  HKEY get() const { return m_key; }

 private:
  HKEY m_key = nullptr;
};

IoError registryError(const char* operation, std::string_view key, LSTATUS status) {
  return {operation, std::string(key), static_cast<int>(status), {}};
}

}  // namespace

RegistryPaths RegistryPaths::fromEnvironment() {
  RegistryPaths paths;
  paths.storeFile = "Software\\Classes";
  return paths;
}

Registry::Registry(RegistryPaths paths) : m_paths(std::move(paths)) {}

std::string Registry::fullPath(std::string_view key) const {
  return m_paths.storeFile + "\\" + std::string(key);
}

bool Registry::openKey(std::string_view key, IoError& err) {
  m_openKey.reset();
  if (!validKeyPath(key)) {
    err = {"open key", std::string(key), ERROR_INVALID_NAME, "invalid key name"};
    return false;
  }
  const std::string path = fullPath(key);
  Key created;
  const LSTATUS status =
      ::RegCreateKeyExW(HKEY_CURRENT_USER, win32::toWide(path).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, created.out(), nullptr);
  if (status != ERROR_SUCCESS) {
    err = registryError("open key", key, status);
    return false;
  }
  m_openKey = path;
  return true;
}

bool Registry::writeDefaultString(std::string_view value, IoError& err) {
  if (!m_openKey) {
    err = {"write", m_paths.storeFile, ERROR_INVALID_HANDLE, "no key is open"};
    return false;
  }
  // The key may have been deleted by someone else since it was opened: create it again.
  Key key;
  LSTATUS status =
      ::RegCreateKeyExW(HKEY_CURRENT_USER, win32::toWide(*m_openKey).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.out(), nullptr);
  if (status == ERROR_SUCCESS) {
    const std::wstring wide = win32::toWide(value);
    status = ::RegSetValueExW(key.get(), nullptr, 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(wide.c_str()),
                              static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
  }
  if (status != ERROR_SUCCESS) {
    err = registryError("write", *m_openKey, status);
    return false;
  }
  return true;
}

bool Registry::keyExists(std::string_view key) const {
  if (!validKeyPath(key)) return false;
  Key opened;
  return ::RegOpenKeyExW(HKEY_CURRENT_USER, win32::toWide(fullPath(key)).c_str(), 0, KEY_READ,
                         opened.out()) == ERROR_SUCCESS;
}

bool Registry::deleteKey(std::string_view key, IoError& err) {
  if (!keyExists(key)) {
    err = {"delete key", std::string(key), ERROR_FILE_NOT_FOUND, "not found"};
    return false;
  }
  const std::string path = fullPath(key);
  const LSTATUS status = ::RegDeleteTreeW(HKEY_CURRENT_USER, win32::toWide(path).c_str());
  if (status != ERROR_SUCCESS) {
    err = registryError("delete key", key, status);
    return false;
  }
  // RegDeleteTreeW empties the key; the key itself goes with RegDeleteKeyW.
  if (keyExists(key)) ::RegDeleteKeyW(HKEY_CURRENT_USER, win32::toWide(path).c_str());
  if (m_openKey && (*m_openKey == path || m_openKey->rfind(path + "\\", 0) == 0)) {
    m_openKey.reset();
  }
  return true;
}

std::optional<std::string> Registry::readDefaultString(std::string_view key) const {
  if (!validKeyPath(key)) return std::nullopt;
  const std::wstring path = win32::toWide(fullPath(key));
  DWORD bytes = 0;
  if (::RegGetValueW(HKEY_CURRENT_USER, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, nullptr,
                     &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (::RegGetValueW(HKEY_CURRENT_USER, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr,
                     value.data(), &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.resize(std::wcslen(value.c_str()));
  return win32::toUtf8(value);
}

std::vector<std::string> Registry::subKeyNames(std::string_view key) const {
  std::vector<std::string> names;
  Key opened;
  if (!validKeyPath(key) ||
      ::RegOpenKeyExW(HKEY_CURRENT_USER, win32::toWide(fullPath(key)).c_str(), 0,
                      KEY_ENUMERATE_SUB_KEYS, opened.out()) != ERROR_SUCCESS) {
    return names;
  }
  wchar_t name[256];  // the longest key name the registry allows, and its end
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (::RegEnumKeyExW(opened.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    names.push_back(win32::toUtf8(std::wstring_view(name, length)));
  }
  return names;
}

}  // namespace platform
