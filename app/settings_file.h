// The settings file: where it lies, and the keys of section Options.
#pragma once

#include <string>

#include "platform/file.h"

namespace app {

struct Settings {
  std::string language = "English";
  bool deleteInput = false;
  bool deleteParts = true;
  bool compress = false;
  bool contextMenu = true;
  bool checksum = true;   // a split writes its checksum file
  bool shScript = false;  // the join script gets a POSIX twin
  bool deflate = false;   // compressed parts are deflated rather than shrunk
  // Recovery data a split writes: "none", "1" or "2" parts, or "10%".
  std::string recovery = "none";
};

// The executable's path with ".ini" in place of its extension when its folder may be
// written; otherwise the same file name in the user's settings folder
// (platform::userConfigFolder(): ~/.config/sundrix/, %APPDATA%\sundrix\).
// SUNDRIX_SETTINGS, when set, names the file outright.
std::string settingsFilePath(const std::string& executablePath);

// Missing file, section or key, or a boolean that is not an integer: the default.
Settings readSettings(const std::string& path);

// Writes the keys one after the other, each reaching the file before the next; stops
// at the first failure, leaving the keys written before it in place.
bool writeSettings(const std::string& path, const Settings& settings, platform::IoError& err);

}  // namespace app
