// Listing, reading and applying language files.
#include "i18n/language.h"

#include <algorithm>
#include <cctype>

#include "platform/dir_search.h"
#include "platform/file.h"
#include "platform/path.h"

#ifndef SUNDRIX_DATA_DIR
#define SUNDRIX_DATA_DIR "/usr/local/share/sundrix"
#endif

namespace i18n {
namespace {

constexpr std::string_view kIniMark = ".ini";

char lowerAscii(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::string lowerAscii(std::string_view s) {
  std::string result(s);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](char c) { return lowerAscii(c); });
  return result;
}

// Case-blind order on bytes; bytes above 127 compare as unsigned values.
bool lessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(lowerAscii(x)) < static_cast<unsigned char>(lowerAscii(y));
  });
}

bool isAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string languageFolder(const std::string& programFolder) {
  std::string beside = programFolder + "language";
  if (platform::folderExists(beside)) return beside;
  return std::string(SUNDRIX_DATA_DIR) + "/language";
}

std::vector<std::string> ListLanguageFiles(std::string folder) {
  if (folder.empty() || folder.back() != platform::kPathSeparator) {
    folder += platform::kPathSeparator;
  }
  std::vector<std::string> names;
  for (platform::DirEntry& entry : platform::findFiles(folder + "*.*", platform::SearchKind::Any)) {
    if (entry.name.find(kIniMark) != std::string::npos) names.push_back(std::move(entry.name));
  }
  // The search hands the names over in byte order; the positions of the language-name
  // keys rest on the case-blind order of the usual Windows file systems.
  std::stable_sort(names.begin(), names.end(), lessNoCase);
  return names;
}

std::string languageNameOf(std::string_view fileName) {
  return std::string(fileName.substr(0, fileName.find(kIniMark)));
}

std::string languageFilePath(std::string_view folder, std::string_view name) {
  std::string path = platform::withTrailingSeparator(folder);
  path += name;
  path += kIniMark;
  return path;
}

LanguageFile LanguageFile::open(const std::string& folder, std::string_view name) {
  std::string path = languageFilePath(folder, name);
  if (!platform::fileExists(path)) {
    const std::string wanted = lowerAscii(platform::namePart(path));
    const std::string dir = platform::folderPart(path);
    for (const platform::DirEntry& entry :
         platform::findFiles(dir + "*.*", platform::SearchKind::Files)) {
      if (lowerAscii(entry.name) == wanted) {
        path = dir + entry.name;
        break;
      }
    }
  }
  return LanguageFile(platform::IniProfile::load(path));
}

std::string LanguageFile::read(std::string_view key, std::string_view currentText) const {
  return m_profile.readString(kInterfaceSection, key, currentText);
}

void applyLanguage(const LanguageFile& file, TextTargets& targets) {
  for (const TextKey& row : kTextKeys) {
    const std::optional<std::string> current = targets.currentText(row);
    if (!current) continue;
    targets.setText(row, file.read(row.key, *current));
  }
}

bool isIdentifier(std::string_view name) {
  if (name.empty() || isAsciiDigit(name.front())) return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return isAsciiLetter(c) || isAsciiDigit(c) || c == '_'; });
}

std::string LanguageItemNames::next(std::string_view languageName) {
  if (!isIdentifier(languageName)) return {};
  std::string objectName = "MLang" + std::string(languageName);
  std::string folded = lowerAscii(objectName);
  if (std::find(m_used.begin(), m_used.end(), folded) != m_used.end()) return {};
  m_used.push_back(std::move(folded));
  return objectName;
}

}  // namespace i18n
