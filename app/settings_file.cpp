// Reading and writing the settings file with the profile rules.
#include "app/settings_file.h"

#include <cstdlib>

#include "platform/ini.h"
#include "platform/path.h"

namespace app {
namespace {

constexpr const char* kSection = "Options";

const char* boolText(bool value) {
  return value ? "1" : "0";
}

}  // namespace

std::string settingsFilePath(const std::string& executablePath) {
  const char* overridePath = std::getenv("SUNDRIX_SETTINGS");
  if (overridePath != nullptr && *overridePath != '\0') return overridePath;
  const std::string beside = platform::replaceExtension(executablePath, ".ini");
  if (platform::folderWritable(platform::folderPart(beside))) return beside;
  return platform::userConfigFolder() + platform::namePart(beside);
}

Settings readSettings(const std::string& path) {
  const platform::IniProfile profile = platform::IniProfile::load(path);
  const Settings defaults;
  Settings settings;
  settings.language = profile.readString(kSection, "Language", defaults.language);
  settings.deleteInput = profile.readBool(kSection, "deleteInput", defaults.deleteInput);
  settings.deleteParts = profile.readBool(kSection, "deleteParts", defaults.deleteParts);
  settings.compress = profile.readBool(kSection, "compress", defaults.compress);
  settings.contextMenu = profile.readBool(kSection, "contextMenu", defaults.contextMenu);
  settings.checksum = profile.readBool(kSection, "checksum", defaults.checksum);
  settings.shScript = profile.readBool(kSection, "shScript", defaults.shScript);
  settings.deflate = profile.readBool(kSection, "deflate", defaults.deflate);
  settings.recovery = profile.readString(kSection, "recovery", defaults.recovery);
  return settings;
}

bool writeSettings(const std::string& path, const Settings& settings, platform::IoError& err) {
  const std::string folder = platform::folderPart(path);
  if (!folder.empty() && !platform::folderExists(folder) && !platform::createFolders(folder, err))
    return false;
  return platform::writeProfileString(path, kSection, "Language", settings.language, err) &&
         platform::writeProfileString(path, kSection, "deleteInput", boolText(settings.deleteInput),
                                      err) &&
         platform::writeProfileString(path, kSection, "deleteParts", boolText(settings.deleteParts),
                                      err) &&
         platform::writeProfileString(path, kSection, "compress", boolText(settings.compress),
                                      err) &&
         platform::writeProfileString(path, kSection, "contextMenu", boolText(settings.contextMenu),
                                      err) &&
         platform::writeProfileString(path, kSection, "checksum", boolText(settings.checksum),
                                      err) &&
         platform::writeProfileString(path, kSection, "shScript", boolText(settings.shScript),
                                      err) &&
         platform::writeProfileString(path, kSection, "deflate", boolText(settings.deflate), err) &&
         platform::writeProfileString(path, kSection, "recovery", settings.recovery, err);
}

}  // namespace app
