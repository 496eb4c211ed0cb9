// The classes root of the registry: keys named by "\"-separated paths, each with an
// optional default string value. On POSIX a key store of the program's own, kept in a
// text file under the user's configuration folder, whose changes below `*\shell` are also
// exported as context-menu entries of the desktop's file managers (see shell_menu.h). On
// Windows the registry itself, below the current user's Software\Classes key.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace platform {

// Where the store and the exported entries live.
struct RegistryPaths {
  std::string storeFile;  // the key store itself; on Windows the key below HKEY_CURRENT_USER
  std::string dataHome;   // base of the file managers' folders; empty: export nothing

  // $XDG_CONFIG_HOME/sundrix/registry.ini and $XDG_DATA_HOME, with the defaults
  // ~/.config and ~/.local/share when the variables are unset or not absolute. On
  // Windows Software\Classes, and nothing to export.
  static RegistryPaths fromEnvironment();
};

enum class RegistryRoot { ClassesRoot };

// Key paths are relative to the root, components separated by "\" ("*\shell\split").
// Names compare without regard to ASCII letter case, as registry key names do, and keep
// the spelling they were created with. Every call reads the file afresh, so several
// Registry objects (or processes) see each other's changes.
class Registry {
 public:
  explicit Registry(RegistryPaths paths = RegistryPaths::fromEnvironment());

  void setRoot(RegistryRoot root) { m_root = root; }
  RegistryRoot root() const { return m_root; }
  const RegistryPaths& paths() const { return m_paths; }

  // Opens `key`, creating it and every missing key above it (created keys are stored at
  // once). The key stays open until closeKey() or the next openKey().
  bool openKey(std::string_view key, IoError& err);
  // Sets the default value of the open key; fails when no key is open. A failure to
  // export the file-manager entries is reported too, with the value already stored.
  bool writeDefaultString(std::string_view value, IoError& err);
  void closeKey() { m_openKey.reset(); }

  bool keyExists(std::string_view key) const;
  // Deletes `key` with every key below it. A missing key is an error ("not found").
  bool deleteKey(std::string_view key, IoError& err);

  // The key's default value; nothing for a missing key or one without a value.
  std::optional<std::string> readDefaultString(std::string_view key) const;
  // Names of the keys directly below `key`, as spelled when created.
  std::vector<std::string> subKeyNames(std::string_view key) const;

 private:
  std::string fullPath(std::string_view key) const;

  RegistryPaths m_paths;
  RegistryRoot m_root = RegistryRoot::ClassesRoot;
  std::optional<std::string> m_openKey;  // full path, root included
};

// One key as stored: its path with the root's name in front, and its value.
struct RegistryKey {
  std::string path;
  std::optional<std::string> value;
};

// The file store's text form (POSIX only), exposed for the exporter and for tests.
std::string formatRegistryStore(const std::vector<RegistryKey>& keys);
std::vector<RegistryKey> parseRegistryStore(std::string_view text);

}  // namespace platform
