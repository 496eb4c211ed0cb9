// Listing, reading and applying language files.
#include "i18n/language.h"

#include "i18n/message_keys.h"

#include <algorithm>
#include <cctype>

#include "platform/dir_search.h"
#include "platform/file.h"
#include "platform/path.h"

// The installed data folder as seen from the installed program's folder, so that an
// install works wherever it is put and wherever it is moved.
#ifndef SUNDRIX_DATA_FROM_BIN
#define SUNDRIX_DATA_FROM_BIN "../share/sundrix"
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

// Bytes of the UTF-8 character that begins with `lead`; 0 for a byte that begins none.
std::size_t sequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 0;
}

// A value cut at the profile limit may end inside a multi-byte UTF-8 character; the
// partial character would show as garbage, so it goes.
void dropCutCharacter(std::string& text) {
  std::size_t lead = text.size();
  while (lead > 0 && text.size() - lead < 4) {
    --lead;
    if ((static_cast<unsigned char>(text[lead]) & 0xC0) != 0x80) break;
  }
  const std::size_t length = sequenceLength(static_cast<unsigned char>(text[lead]));
  if (length > text.size() - lead) text.resize(lead);
}

// "*.txt;*.log" -> {"*.txt", "*.log"}; empty pieces are dropped.
std::vector<std::string> splitPatterns(std::string_view field) {
  std::vector<std::string> patterns;
  std::size_t from = 0;
  while (from <= field.size()) {
    std::size_t semicolon = field.find(';', from);
    if (semicolon == std::string_view::npos) semicolon = field.size();
    if (semicolon > from) patterns.emplace_back(field.substr(from, semicolon - from));
    from = semicolon + 1;
  }
  return patterns;
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
  return platform::absolutePath(programFolder + SUNDRIX_DATA_FROM_BIN "/language");
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
  std::optional<std::string> value = m_profile.find(kInterfaceSection, key);
  if (!value) return std::string(currentText);
  if (value->size() == platform::kMaxProfileValue) dropCutCharacter(*value);
  return std::move(*value);
}

std::string LanguageFile::readMessage(std::string_view key, std::string_view fallback) const {
  std::optional<std::string> value = m_profile.find(kMessagesSection, key);
  return value && !value->empty() ? std::move(*value) : std::string(fallback);
}

std::string translateMessage(std::string message, const LanguageFile& file) {
  for (const MessageKey& row : kMessageKeys) {
    const std::size_t hole = row.czech.find("%s");
    const std::string_view head = row.czech.substr(0, hole);
    const std::size_t at = message.find(head);
    if (at == std::string::npos) continue;
    std::string text = file.readMessage(row.key, row.english);
    std::size_t end = at + head.size();
    if (hole != std::string_view::npos) {
      const std::string_view tail = row.czech.substr(hole + 2);
      const std::size_t tailAt = tail.empty() ? message.size() : message.find(tail, end);
      if (tailAt == std::string::npos) continue;
      const std::size_t textHole = text.find("%s");
      const std::string varying = message.substr(end, tailAt - end);
      if (textHole != std::string::npos) text.replace(textHole, 2, varying);
      end = tailAt + tail.size();
    }
    message.replace(at, end - at, text);
  }
  return message;
}

std::string languageForLocale(std::string_view locale) {
  static constexpr std::pair<std::string_view, std::string_view> kNames[] = {
      {"ar", "Arabic"},  {"zh", "Chinese"}, {"nl", "Dutch"},   {"en", "English"}, {"fr", "French"},
      {"it", "Italian"}, {"ru", "Russian"}, {"es", "Spanish"}, {"tr", "Turkish"},
  };
  const std::string_view code = locale.substr(0, locale.find_first_of("_.@"));
  for (const auto& [prefix, name] : kNames) {
    if (code == prefix) return std::string(name);
  }
  return "";
}

void applyLanguage(const LanguageFile& file, TextTargets& targets) {
  for (const TextKey& row : kTextKeys) {
    const std::optional<std::string> current = targets.currentText(row);
    if (!current) continue;
    targets.setText(row, file.read(row.key, *current));
  }
}

std::vector<DialogFilter> parseDialogFilter(std::string_view filter) {
  std::vector<DialogFilter> choices;
  bool isPattern = false;
  std::size_t start = 0;
  while (start <= filter.size() && !filter.empty()) {
    std::size_t bar = filter.find('|', start);
    if (bar == std::string_view::npos) bar = filter.size();
    const std::string_view field = filter.substr(start, bar - start);
    if (!isPattern) {
      if (field.empty() && bar == filter.size()) break;  // a closing "|"
      choices.push_back({std::string(field), {}});
    } else {
      choices.back().patterns = splitPatterns(field);
    }
    isPattern = !isPattern;
    start = bar + 1;
  }
  return choices;
}

std::vector<std::string> dialogNameFilters(std::string_view filter) {
  std::vector<std::string> result;
  for (const DialogFilter& choice : parseDialogFilter(filter)) {
    std::string_view description = choice.description;
    if (description.ends_with(')')) {
      const std::size_t open = description.rfind('(');
      if (open != std::string_view::npos) description = description.substr(0, open);
    }
    while (description.ends_with(' ')) description.remove_suffix(1);
    std::string patterns;
    for (const std::string& pattern : choice.patterns) {
      if (!patterns.empty()) patterns += ' ';
      patterns += pattern == "*.*" ? "*" : pattern;
    }
    std::string text(description);
    if (!text.empty()) text += ' ';
    result.push_back(text + "(" + patterns + ")");
  }
  return result;
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

std::vector<LanguageMenuEntry> languageMenuEntries(const std::vector<std::string>& files,
                                                   std::string_view currentLanguage) {
  std::vector<LanguageMenuEntry> entries;
  LanguageItemNames names;
  for (const std::string& file : files) {
    LanguageMenuEntry entry;
    entry.fileName = file;
    entry.languageName = languageNameOf(file);
    entry.objectName = names.next(entry.languageName);
    entry.checked = entry.languageName == currentLanguage;
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace i18n
