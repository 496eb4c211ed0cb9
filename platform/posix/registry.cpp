// The key store: a text file in the manner of a registry export, one section per key
// ([HKEY_CLASSES_ROOT\*\shell\split]) and an optional @="value" line for its default
// value. The whole file is replaced atomically on every change.
#include "platform/registry.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/path.h"
#include "platform/shell_menu.h"

namespace platform {
namespace {

constexpr std::string_view kClassesRootName = "HKEY_CLASSES_ROOT";

std::string folded(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return out;
}

bool sameKey(std::string_view a, std::string_view b) {
  return folded(a) == folded(b);
}

// `path` is `ancestor` or lies below it.
bool isWithin(std::string_view path, std::string_view ancestor) {
  const std::string p = folded(path);
  const std::string a = folded(ancestor);
  return p == a || (p.size() > a.size() && p.compare(0, a.size(), a) == 0 && p[a.size()] == '\\');
}

// Key names are non-empty and hold no control characters; "\" only separates them.
bool validKeyPath(std::string_view key) {
  if (key.empty() || key.front() == '\\' || key.back() == '\\') return false;
  if (key.find("\\\\") != std::string_view::npos) return false;
  return std::none_of(key.begin(), key.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

std::string homeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return {};
}

std::string xdgFolder(const char* variable, const char* fallbackBelowHome) {
  // The base-directory rules ignore relative values.
  if (const char* value = std::getenv(variable); value != nullptr && *value == '/') return value;
  const std::string home = homeFolder();
  return home.empty() ? std::string{} : home + "/" + fallbackBelowHome;
}

std::string escapeValue(std::string_view value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::optional<std::string> unescapeValue(std::string_view quoted) {
  if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') return std::nullopt;
  std::string out;
  for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
    char c = quoted[i];
    if (c == '\\' && i + 2 < quoted.size()) {
      c = quoted[++i];
      if (c == 'n')
        c = '\n';
      else if (c == 'r')
        c = '\r';
      else if (c == 't')
        c = '\t';
      else if (c == '0')
        c = '\0';
    }
    out += c;
  }
  return out;
}

template <typename Keys>
auto findKey(Keys& keys, std::string_view path) {
  return std::find_if(keys.begin(), keys.end(),
                      [&](const RegistryKey& k) { return sameKey(k.path, path); });
}

// Every key's parents exist, as they do in a real registry, however the file was edited.
void addMissingParents(std::vector<RegistryKey>& keys) {
  std::vector<RegistryKey> complete;
  for (const RegistryKey& key : keys) {
    // The first component is the root, which is no key of its own.
    const std::size_t root = key.path.find('\\');
    for (std::size_t pos = root == std::string::npos ? root : key.path.find('\\', root + 1);
         pos != std::string::npos; pos = key.path.find('\\', pos + 1)) {
      const std::string parent = key.path.substr(0, pos);
      if (findKey(complete, parent) == complete.end()) complete.push_back({parent, std::nullopt});
    }
    auto existing = findKey(complete, key.path);
    if (existing == complete.end())
      complete.push_back(key);
    else if (key.value)
      existing->value = key.value;
  }
  keys = std::move(complete);
}

// The store as it is on disk. A missing file is an empty store; an unreadable one is
// empty for reading, and `err` tells writers not to replace what they could not read.
std::vector<RegistryKey> loadKeys(const std::string& storeFile, IoError* err) {
  IoError readErr;
  if (storeFile.empty()) {
    readErr = {"open", storeFile, ENOENT, "no configuration folder (HOME is not set)"};
    if (err != nullptr) *err = readErr;
    return {};
  }
  if (!pathExists(storeFile)) return {};
  File file = File::open(storeFile, File::Mode::Read, readErr);
  std::string text;
  if (file.isOpen()) {
    const std::int64_t size = file.size(readErr);
    if (size >= 0) {
      text.resize(static_cast<std::size_t>(size));
      if (!file.readExact(text.data(), size, readErr)) text.clear();
    }
  }
  if (readErr.isSet()) {
    if (err != nullptr) *err = readErr;
    return {};
  }
  return parseRegistryStore(text);
}

// The store for a change: false with `err` set when it could not be read, since saving
// what was not read would lose it.
bool loadKeysToChange(const std::string& storeFile, std::vector<RegistryKey>& keys,
                      IoError& err) {
  IoError readErr;
  keys = loadKeys(storeFile, &readErr);
  if (!readErr.isSet()) return true;
  err = readErr;
  return false;
}

bool saveKeys(const std::string& storeFile, const std::vector<RegistryKey>& keys, IoError& err) {
  if (!createFolders(folderPart(storeFile), err)) return false;
  return replaceFileContents(storeFile, formatRegistryStore(keys), err);
}

std::string rootName(RegistryRoot) {
  return std::string(kClassesRootName);
}

std::string shellPath() {
  return std::string(kClassesRootName) + "\\*\\shell";
}

// A change at or below `changed` can alter the entries when it touches *\shell or
// anything above it.
bool touchesShellVerbs(std::string_view changed) {
  const std::string shell = shellPath();
  return isWithin(changed, shell) || isWithin(shell, changed);
}

std::vector<ShellVerb> shellVerbs(const std::vector<RegistryKey>& keys) {
  const std::string shell = shellPath();
  std::vector<ShellVerb> verbs;
  for (const RegistryKey& key : keys) {
    if (!isWithin(key.path, shell) || key.path.size() == shell.size()) continue;
    const std::string verb = key.path.substr(shell.size() + 1);
    if (verb.find('\\') != std::string::npos) continue;
    auto command = findKey(keys, key.path + "\\command");
    if (command == keys.end() || !command->value || command->value->empty()) continue;
    verbs.push_back({verb, key.value.value_or(""), *command->value});
  }
  return verbs;
}

bool exportVerbs(const RegistryPaths& paths, const std::vector<RegistryKey>& keys, IoError& err) {
  if (paths.dataHome.empty()) return true;
  return exportShellMenus(shellVerbs(keys), paths.dataHome, err);
}

}  // namespace

RegistryPaths RegistryPaths::fromEnvironment() {
  RegistryPaths paths;
  const std::string config = xdgFolder("XDG_CONFIG_HOME", ".config");
  if (!config.empty()) paths.storeFile = config + "/sundrix/registry.ini";
  paths.dataHome = xdgFolder("XDG_DATA_HOME", ".local/share");
  return paths;
}

Registry::Registry(RegistryPaths paths) : m_paths(std::move(paths)) {}

std::string Registry::fullPath(std::string_view key) const {
  return rootName(m_root) + "\\" + std::string(key);
}

bool Registry::openKey(std::string_view key, IoError& err) {
  m_openKey.reset();
  if (!validKeyPath(key)) {
    err = {"open key", std::string(key), EINVAL, "invalid key name"};
    return false;
  }
  const std::string path = fullPath(key);
  std::vector<RegistryKey> keys;
  if (!loadKeysToChange(m_paths.storeFile, keys, err)) return false;
  if (findKey(keys, path) == keys.end()) {
    keys.push_back({path, std::nullopt});
    addMissingParents(keys);
    if (!saveKeys(m_paths.storeFile, keys, err)) return false;
  }
  m_openKey = path;
  return true;
}

bool Registry::writeDefaultString(std::string_view value, IoError& err) {
  if (!m_openKey) {
    err = {"write", m_paths.storeFile, EBADF, "no key is open"};
    return false;
  }
  std::vector<RegistryKey> keys;
  if (!loadKeysToChange(m_paths.storeFile, keys, err)) return false;
  auto key = findKey(keys, *m_openKey);
  if (key == keys.end()) {  // deleted by someone else since it was opened
    keys.push_back({*m_openKey, std::nullopt});
    addMissingParents(keys);
    key = findKey(keys, *m_openKey);
  }
  key->value = std::string(value);
  if (!saveKeys(m_paths.storeFile, keys, err)) return false;
  return !touchesShellVerbs(*m_openKey) || exportVerbs(m_paths, keys, err);
}

bool Registry::keyExists(std::string_view key) const {
  if (!validKeyPath(key)) return false;
  std::vector<RegistryKey> keys = loadKeys(m_paths.storeFile, nullptr);
  return findKey(keys, fullPath(key)) != keys.end();
}

bool Registry::deleteKey(std::string_view key, IoError& err) {
  const std::string path = fullPath(key);
  std::vector<RegistryKey> keys;
  if (!loadKeysToChange(m_paths.storeFile, keys, err)) return false;
  if (!validKeyPath(key) || findKey(keys, path) == keys.end()) {
    err = {"delete key", std::string(key), ENOENT, "not found"};
    return false;
  }
  std::erase_if(keys, [&](const RegistryKey& k) { return isWithin(k.path, path); });
  if (!saveKeys(m_paths.storeFile, keys, err)) return false;
  if (m_openKey && isWithin(*m_openKey, path)) m_openKey.reset();
  return !touchesShellVerbs(path) || exportVerbs(m_paths, keys, err);
}

std::optional<std::string> Registry::readDefaultString(std::string_view key) const {
  std::vector<RegistryKey> keys = loadKeys(m_paths.storeFile, nullptr);
  auto found = findKey(keys, fullPath(key));
  return found == keys.end() ? std::nullopt : found->value;
}

std::vector<std::string> Registry::subKeyNames(std::string_view key) const {
  const std::string path = fullPath(key);
  std::vector<std::string> names;
  for (const RegistryKey& k : loadKeys(m_paths.storeFile, nullptr)) {
    if (!isWithin(k.path, path) || k.path.size() == path.size()) continue;
    const std::string rest = k.path.substr(path.size() + 1);
    if (rest.find('\\') == std::string::npos) names.push_back(rest);
  }
  return names;
}

std::string formatRegistryStore(const std::vector<RegistryKey>& keys) {
  std::string text = "; Sundrix key store (context-menu keys of the classes root)\n";
  for (const RegistryKey& key : keys) {
    text += "\n[" + key.path + "]\n";
    if (key.value) text += "@=\"" + escapeValue(*key.value) + "\"\n";
  }
  return text;
}

std::vector<RegistryKey> parseRegistryStore(std::string_view text) {
  std::vector<RegistryKey> keys;
  // Lines after a malformed section name belong to no key.
  constexpr std::size_t kNoKey = static_cast<std::size_t>(-1);
  std::size_t current = kNoKey;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      const std::string_view path = line.substr(1, line.size() - 2);
      current = kNoKey;
      if (!validKeyPath(path) || path.find('\\') == std::string_view::npos) continue;
      auto found = findKey(keys, path);
      if (found == keys.end()) found = keys.insert(keys.end(), {std::string(path), std::nullopt});
      current = static_cast<std::size_t>(found - keys.begin());
    } else if (current != kNoKey && line.substr(0, 2) == "@=") {
      if (auto value = unescapeValue(line.substr(2))) keys[current].value = std::move(value);
    }
  }
  addMissingParents(keys);
  return keys;
}

}  // namespace platform
