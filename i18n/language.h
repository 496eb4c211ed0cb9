// Language files: finding them, reading their texts with the profile rules, applying
// them to the interface in key-table order, and naming their Language-menu items.
// Nothing here reports an error: a missing folder, file, section or key leaves the
// texts as they are.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "i18n/text_keys.h"
#include "platform/ini.h"

namespace i18n {

// The only section of a language file that is read.
inline constexpr std::string_view kInterfaceSection = "Interface";

// The language folder for a program in `programFolder` (with a trailing separator):
// programFolder + "language" when that folder exists, else the "language" folder of the
// installed data, found relative to programFolder (bin/../share/sundrix/language). The
// result has no trailing separator.
std::string languageFolder(const std::string& programFolder);

// Names of the entries of `folder` (files and folders, hidden ones too) whose names
// contain ".ini" anywhere, letter case counting, sorted without regard to case (ties in
// byte order). A missing folder gives an empty list.
std::vector<std::string> ListLanguageFiles(std::string folder);

// A language's name: the file name cut before its first ".ini" ("x.ini.old" -> "x").
std::string languageNameOf(std::string_view fileName);

// The file of the language `name` in `folder`: folder + name + ".ini".
std::string languageFilePath(std::string_view folder, std::string_view name);

// One language file, read whole when opened.
class LanguageFile {
 public:
  LanguageFile() = default;  // a file without keys
  explicit LanguageFile(platform::IniProfile profile) : m_profile(std::move(profile)) {}

  // Reads folder + name + ".ini". When no file has exactly that name, a file whose name
  // differs only in letter case is taken, as on the file systems the language names come
  // from. A missing file reads as a file without keys.
  static LanguageFile open(const std::string& folder, std::string_view name);

  // The value of `key` in section Interface, with the profile rules; `currentText` when
  // the key (or the section) is missing. An empty value gives an empty text.
  std::string read(std::string_view key, std::string_view currentText) const;
  // The same from section Messages.
  std::string readMessage(std::string_view key, std::string_view fallback) const;

 private:
  platform::IniProfile m_profile;
};

// `message` with each archive-component text in it (kMessageKeys, "%s" matching what
// varies) replaced by `file`'s text for its key, or the English text where the file has
// none.
std::string translateMessage(std::string message, const LanguageFile& file);

// The language file's name ("French") for a POSIX locale name ("fr_FR.UTF-8", "fr");
// "" for C, POSIX and languages without a file.
std::string languageForLocale(std::string_view locale);

// The window side of a load: gives the current text of each key's target and takes the
// new one.
class TextTargets {
 public:
  virtual ~TextTargets() = default;
  // The target's text now, or nothing when the target does not exist (a Language-menu
  // position the menu lacks); such a row is skipped.
  virtual std::optional<std::string> currentText(const TextKey& row) = 0;
  virtual void setText(const TextKey& row, const std::string& text) = 0;
};

// Applies every row of kTextKeys in table order, each read with its target's current
// text as the default. Refreshing the part-count/part-size label afterwards is the
// caller's step.
void applyLanguage(const LanguageFile& file, TextTargets& targets);

// One choice of an open-file dialog's filter.
struct DialogFilter {
  std::string description;
  std::vector<std::string> patterns;  // "*.txt;*.log" gives two
};

// Splits a filter of the form "Description|pattern|Description|pattern..." into its
// choices; a description without a pattern after it gets none.
std::vector<DialogFilter> parseDialogFilter(std::string_view filter);

// The same choices as name filters of the kind "Description (pattern pattern)": a
// parenthesised group at the end of the description gives way to the patterns, and
// "*.*" becomes "*", since on this platform "*.*" would pass over names without a dot.
std::vector<std::string> dialogNameFilters(std::string_view filter);

// True for a name of letters, digits and underscores (ASCII) that does not begin with a
// digit.
bool isIdentifier(std::string_view name);

// Object names for the items of one Language menu, handed out in menu order.
class LanguageItemNames {
 public:
  // "MLang" + languageName when languageName is an identifier and no earlier item got
  // the same object name (compared without regard to case); otherwise "", and the item
  // stays unnamed.
  std::string next(std::string_view languageName);

 private:
  std::vector<std::string> m_used;  // lower-cased
};

// One item of the Language menu.
struct LanguageMenuEntry {
  std::string fileName;      // the entry of the language list; its index is the item's tag
  std::string languageName;  // the caption, and the name a pick loads
  std::string objectName;    // see LanguageItemNames; may be empty
  bool checked = false;      // the name equals the current language exactly
};

// The items for the language list `files`, in its order.
std::vector<LanguageMenuEntry> languageMenuEntries(const std::vector<std::string>& files,
                                                   std::string_view currentLanguage);

}  // namespace i18n
