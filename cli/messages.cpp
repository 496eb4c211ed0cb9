// The language file of the user's locale, read once.
#include "cli/messages.h"

#include <cstdlib>

#include "i18n/language.h"
#include "platform/path.h"

namespace cli {
namespace {

i18n::LanguageFile userLanguage() {
  std::string locale;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      locale = value;
      break;
    }
  }
  const std::string language = i18n::languageForLocale(locale);
  if (language.empty()) return i18n::LanguageFile();
  const std::string folder =
      i18n::languageFolder(platform::folderPart(platform::executablePath()));
  return i18n::LanguageFile::open(folder, language);
}

}  // namespace

std::string localized(const std::string& message) {
  static const i18n::LanguageFile file = userLanguage();
  return i18n::translateMessage(message, file);
}

}  // namespace cli
