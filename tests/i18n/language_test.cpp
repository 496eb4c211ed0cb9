// Listing, reading and applying language files, and naming their menu items.
#include "i18n/language.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <tuple>

#include "platform/path.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

void writeFile(const TempDir& dir, const std::string& name, const std::string& text) {
  testing_support::writeText(dir.file(name), text);
}

// The folder of `dir` without its trailing separator.
std::string bare(const TempDir& dir) {
  return dir.path().substr(0, dir.path().size() - 1);
}

TEST(ListLanguageFiles, TakesEveryEntryWithIniInItsNameSortedWithoutRegardToCase) {
  TempDir dir;
  for (const char* name : {"English.ini", "russian.ini", "Arabic.ini", "Turkish.INI", "x.ini.old",
                           ".hidden.ini", "notes.txt", "ini", "B.ini", "b.ini"}) {
    if (testing_support::kNamesKeepCase || std::string(name) != "b.ini") {
      writeFile(dir, name, "[Interface]\n");
    }
  }
  fs::create_directory(dir.file("dir.ini"));
  fs::create_directory(dir.file("sub"));

  // Byte order would put "dir.ini" after "English.ini" and "b.ini" after "x.ini.old".
  std::vector<std::string> expected{".hidden.ini", "Arabic.ini",  "B.ini",       "b.ini",
                                    "dir.ini",     "English.ini", "russian.ini", "x.ini.old"};
  if (!testing_support::kNamesKeepCase) std::erase(expected, "b.ini");
  EXPECT_EQ(i18n::ListLanguageFiles(bare(dir)), expected);
  EXPECT_EQ(i18n::ListLanguageFiles(dir.path()), expected);
}

TEST(ListLanguageFiles, MissingFolderGivesAnEmptyList) {
  TempDir dir;
  EXPECT_TRUE(i18n::ListLanguageFiles(dir.file("language")).empty());
}

TEST(LanguageNames, AreCutBeforeTheFirstIni) {
  const std::pair<const char*, const char*> rows[] = {
      {"Russian.ini", "Russian"}, {"x.ini.old", "x"},     {"a.ini.ini", "a"}, {".ini", ""},
      {"dir.ini", "dir"},         {"Pt-BR.ini", "Pt-BR"},
  };
  for (const auto& [file, name] : rows) {
    SCOPED_TRACE(file);
    EXPECT_EQ(i18n::languageNameOf(file), name);
  }
}

TEST(LanguageFolder, PrefersTheFolderBesideTheProgram) {
  TempDir program;
  EXPECT_EQ(i18n::languageFolder(program.path()).find(bare(program)), std::string::npos);
  const std::string sep(1, platform::kPathSeparator);
  EXPECT_TRUE(i18n::languageFolder(program.path()).ends_with(sep + "sundrix" + sep + "language"))
      << i18n::languageFolder(program.path());
  fs::create_directory(program.file("language"));
  EXPECT_EQ(i18n::languageFolder(program.path()), program.path() + "language");
}

TEST(LanguageFile, ReadsSectionInterfaceWithTheProfileRules) {
  TempDir dir;
  const std::string longValue(3000, 'x');
  writeFile(dir, "Test.ini",
            "[Other]\nMFile->Caption=wrong\n"
            "[interface]\n"
            "mfile->caption =  Datei  \n"
            "GroupBoxSplit->Caption=\" Datei teilen \"\n"
            "LabelOutput->Caption=\n"
            "LabelSite->Caption=" +
                longValue + "\n");
  const i18n::LanguageFile file = i18n::LanguageFile::open(bare(dir), "Test");

  EXPECT_EQ(file.read("MFile->Caption", "File"), "Datei");
  EXPECT_EQ(file.read("GroupBoxSplit->Caption", " Split File "), " Datei teilen ");
  EXPECT_EQ(file.read("LabelOutput->Caption", "Output File: "), "");
  EXPECT_EQ(file.read("MExit->Caption", "current"), "current");
  EXPECT_EQ(file.read("LabelSite->Caption", ""), std::string(2047, 'x'));
}

TEST(LanguageFile, CutAtTheLimitDropsAPartialCharacter) {
  // "ж" is two bytes: 2046 ASCII bytes leave room for its first byte only.
  const std::string cutInside = std::string(2046, 'a') + "жж";
  const std::string cutBetween = std::string(2045, 'a') + "жж";
  const std::string threeBytes = std::string(2045, 'a') + "中";
  const i18n::LanguageFile file(platform::IniProfile(
      "[Interface]\nA=" + cutInside + "\nB=" + cutBetween + "\nC=" + threeBytes + "\n"));
  EXPECT_EQ(file.read("A", ""), std::string(2046, 'a'));
  EXPECT_EQ(file.read("B", ""), std::string(2045, 'a') + "ж");
  EXPECT_EQ(file.read("C", ""), std::string(2045, 'a'));
}

TEST(LanguageFile, MissingFileKeepsEveryText) {
  TempDir dir;
  const i18n::LanguageFile file = i18n::LanguageFile::open(bare(dir), "Klingon");
  EXPECT_EQ(file.read("MFile->Caption", "File"), "File");
  EXPECT_EQ(file.read("StringWESplit", ""), "");
}

TEST(LanguageFile, FindsAFileWhoseNameDiffersOnlyInLetterCase) {
  TempDir dir;
  writeFile(dir, "english.ini", "[Interface]\nMFile->Caption=lower\n");
  writeFile(dir, "Other.ini", "[Interface]\nMFile->Caption=other\n");
  EXPECT_EQ(i18n::LanguageFile::open(bare(dir), "English").read("MFile->Caption", "-"), "lower");
  EXPECT_EQ(i18n::LanguageFile::open(dir.path(), "english").read("MFile->Caption", "-"), "lower");
  // An exact name wins over a case-blind one.
  writeFile(dir, "English.ini", "[Interface]\nMFile->Caption=exact\n");
  EXPECT_EQ(i18n::LanguageFile::open(bare(dir), "English").read("MFile->Caption", "-"), "exact");
}

// Texts held by key, with a Language menu of a given length; records the order of writes.
class FakeTargets : public i18n::TextTargets {
 public:
  explicit FakeTargets(std::vector<std::string> languageItems) : items(std::move(languageItems)) {
    for (const i18n::TextKey& row : i18n::kTextKeys) {
      if (row.target != i18n::Target::LanguageItem) texts[std::string(row.key)] = row.builtIn;
    }
  }
  std::optional<std::string> currentText(const i18n::TextKey& row) override {
    if (row.target != i18n::Target::LanguageItem) return texts.at(std::string(row.key));
    const auto position = static_cast<std::size_t>(row.index);
    if (position > items.size()) return std::nullopt;
    return items[position - 1];
  }
  void setText(const i18n::TextKey& row, const std::string& text) override {
    written.emplace_back(row.key);
    if (row.target == i18n::Target::LanguageItem) {
      items[static_cast<std::size_t>(row.index) - 1] = text;
    } else {
      texts[std::string(row.key)] = text;
    }
  }

  std::map<std::string, std::string> texts;
  std::vector<std::string> items;
  std::vector<std::string> written;
};

i18n::LanguageFile fileOf(std::string_view text) {
  return i18n::LanguageFile(platform::IniProfile(text));
}

TEST(ApplyLanguage, MissingKeysKeepWhatTheLanguageBeforePutThere) {
  FakeTargets targets({"English", "Russian"});
  i18n::applyLanguage(fileOf("[Interface]\nGroupBoxSplit->Caption=\" Файл \"\n"
                             "StringPartsNumber=Частей:\nMFile->Caption=\n"),
                      targets);
  i18n::applyLanguage(fileOf("[Interface]\nMExit->Caption=Quitter\n"), targets);

  EXPECT_EQ(targets.texts["GroupBoxSplit->Caption"], " Файл ");
  EXPECT_EQ(targets.texts["StringPartsNumber"], "Частей:");
  EXPECT_EQ(targets.texts["MFile->Caption"], "");
  EXPECT_EQ(targets.texts["MExit->Caption"], "Quitter");
  EXPECT_EQ(targets.texts["LabelFileSize->Caption"], "FiIe Size (Kb):");
  EXPECT_EQ(targets.texts["StringWEJoin"], "");
}

TEST(ApplyLanguage, LanguageNameKeysGoByPositionAndSkipMissingOnes) {
  const std::string file =
      "[Interface]\nMLangArabic->Caption=first\nMLangChinese->Caption=second\n"
      "MLangDutch->Caption=third\nMLangTurkish->Caption=ninth\nMAbout->Caption=Info\n";
  {
    SCOPED_TRACE("two items");
    FakeTargets targets({"English", "Russian"});
    i18n::applyLanguage(fileOf(file), targets);
    EXPECT_EQ(targets.items, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(targets.texts["MAbout->Caption"], "Info");  // rows after the gap still apply
  }
  {
    SCOPED_TRACE("ten items");
    std::vector<std::string> names{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"};
    FakeTargets targets(names);
    i18n::applyLanguage(fileOf(file), targets);
    names[0] = "first";
    names[1] = "second";
    names[2] = "third";
    names[8] = "ninth";
    EXPECT_EQ(targets.items, names);
  }
}

TEST(ApplyLanguage, WritesInTableOrder) {
  FakeTargets targets({"English"});
  i18n::applyLanguage(i18n::LanguageFile(), targets);
  std::vector<std::string> expected;
  for (const i18n::TextKey& row : i18n::kTextKeys) {
    if (row.target != i18n::Target::LanguageItem || row.index == 1) expected.emplace_back(row.key);
  }
  EXPECT_EQ(targets.written, expected);
  EXPECT_EQ(targets.items[0], "English");
}

TEST(TextKeys, AreUniqueAndTheLanguagePositionsRunOneToNine) {
  std::set<std::string_view> keys;
  int position = 0;
  for (const i18n::TextKey& row : i18n::kTextKeys) {
    EXPECT_TRUE(keys.insert(row.key).second) << row.key;
    EXPECT_EQ(i18n::findTextKey(row.key), &row);
    if (row.target == i18n::Target::LanguageItem) {
      EXPECT_EQ(row.index, ++position) << row.key;
    }
  }
  EXPECT_EQ(position, i18n::kLanguageItemKeys);
  EXPECT_EQ(i18n::findTextKey("mfile->caption"), nullptr);
}

TEST(LanguageItemNames, NameOnlyIdentifiersAndOnlyOnce) {
  i18n::LanguageItemNames names;
  const std::pair<const char*, const char*> rows[] = {
      {"English", "MLangEnglish"},
      {"Pt-BR", ""},
      {"Chinese Simplified", ""},
      {"English", ""},
      {"english", ""},
      {"3D", ""},
      {"", ""},
      {"Русский", ""},
      {"_x2", "MLang_x2"},
      {"Russian", "MLangRussian"},
  };
  for (const auto& [language, objectName] : rows) {
    SCOPED_TRACE(language);
    EXPECT_EQ(names.next(language), objectName);
  }
}

TEST(LanguageMenu, EntriesCarryNameTagOrderObjectNameAndCheckMark) {
  const std::vector<std::string> files{"English.ini", "Pt-BR.ini", "Russian.ini",
                                       "Russian.ini.bak"};
  const std::vector<i18n::LanguageMenuEntry> entries = i18n::languageMenuEntries(files, "Russian");
  ASSERT_EQ(entries.size(), 4u);
  const std::tuple<const char*, const char*, bool> expected[] = {
      {"English", "MLangEnglish", false},
      {"Pt-BR", "", false},
      {"Russian", "MLangRussian", true},
      {"Russian", "", true},
  };
  for (std::size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(files[i]);
    EXPECT_EQ(entries[i].fileName, files[i]);
    EXPECT_EQ(entries[i].languageName, std::get<0>(expected[i]));
    EXPECT_EQ(entries[i].objectName, std::get<1>(expected[i]));
    EXPECT_EQ(entries[i].checked, std::get<2>(expected[i]));
  }
  EXPECT_FALSE(i18n::languageMenuEntries({"english.ini"}, "English")[0].checked);
}

TEST(DialogFilters, SplitIntoChoicesAndBecomeNameFilters) {
  struct Row {
    const char* filter;
    std::vector<std::string> nameFilters;
  };
  const Row rows[] = {
      {"All Files (*.*)|*.*", {"All Files (*)"}},
      {"Split Files (*.001)|*.001", {"Split Files (*.001)"}},
      {"Texts|*.txt;*.log|Everything|*", {"Texts (*.txt *.log)", "Everything (*)"}},
      {"Dangling", {"Dangling ()"}},
      {"Split Files (*.001)|*.001|", {"Split Files (*.001)"}},
      {"", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.filter);
    EXPECT_EQ(i18n::dialogNameFilters(row.filter), row.nameFilters);
  }
  const auto choices = i18n::parseDialogFilter("Texts|*.txt;;*.log|Empty|");
  ASSERT_EQ(choices.size(), 2u);
  EXPECT_EQ(choices[0].patterns, (std::vector<std::string>{"*.txt", "*.log"}));
  EXPECT_EQ(choices[1].description, "Empty");
  EXPECT_TRUE(choices[1].patterns.empty());
}

}  // namespace

// The archive messages as the command line prints them: in the file's language where it
// has the key, in English where it has not, with what varies carried over; text around
// them stays.
TEST(ArchiveMessages, TranslateWithTheVaryingPartKept) {
  const i18n::LanguageFile french(platform::IniProfile(
      "[Messages]\nZipHeaderMissing=En-tête absent dans %s\nZipDiskFull=\n[Interface]\nZipBadName=x\n"));
  const i18n::LanguageFile none;
  const struct Row {
    const i18n::LanguageFile* file;
    const char* message;
    const char* shown;
  } rows[] = {
      {&none, "Hlava chybí nebo je poškozena u a b.zip", "A header is missing or damaged in a b.zip"},
      {&french, "Hlava chybí nebo je poškozena u a.zip", "En-tête absent dans a.zip"},
      {&french, "Disk je plný", "The disk is full"},    // an empty value: English
      {&french, "Jméno je chybné !", "The name is wrong!"},  // only section Messages counts
      {&none, "Nejde otevřít x.txt.  Překračuji ...", "Cannot open x.txt. Skipping ..."},
      {&none, "Promiňte, přetekl mi zásobník (8192)!", "Sorry, my stack overflowed (8192)!"},
      {&none, "x.bin: Kód se jeví chybný ! (member 2)", "x.bin: A code seems wrong! (member 2)"},
      {&none, "Vstupně/výstupní chyba 5", "Input/output error 5"},
      {&none, "cannot open a.zip: No such file", "cannot open a.zip: No such file"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    EXPECT_EQ(i18n::translateMessage(row.message, *row.file), row.shown);
  }
  const std::pair<const char*, const char*> locales[] = {
      {"fr_FR.UTF-8", "French"}, {"zh_CN", "Chinese"}, {"ru", "Russian"}, {"en_GB.UTF-8", "English"},
      {"C.UTF-8", ""},           {"POSIX", ""},         {"", ""},          {"de_DE.UTF-8", ""},
      {"tr_TR@euro", "Turkish"}, {"fra", ""},
  };
  for (const auto& [locale, language] : locales) {
    EXPECT_EQ(i18n::languageForLocale(locale), language) << locale;
  }
}
