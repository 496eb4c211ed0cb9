// The language files that ship with the program: every key of the table, nothing else,
// valid UTF-8, and the positions of the language-name keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "i18n/language.h"
#include "i18n/message_keys.h"

namespace {

const std::string kFolder = std::string(SUNDRIX_SOURCE_DIR) + "/language";
const char* const kLanguages[] = {"Arabic",  "Chinese", "Dutch",   "English", "French",
                                  "Italian", "Russian", "Spanish", "Turkish"};

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool validUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto lead = static_cast<unsigned char>(s[i]);
    std::size_t more = 0;
    char32_t code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      more = 1;
      code = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
      more = 2;
      code = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
      more = 3;
      code = lead & 0x07u;
    } else {
      return false;
    }
    if (i + more >= s.size()) return false;
    for (std::size_t k = 1; k <= more; ++k) {
      const auto next = static_cast<unsigned char>(s[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3Fu);
    }
    const char32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    if (code < smallest[more] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += more + 1;
  }
  return true;
}

TEST(Utf8Check, RejectsBrokenSequences) {
  EXPECT_TRUE(
      validUtf8("Fran\xC3\xA7"
                "ais \xE4\xB8\xAD"));
  EXPECT_FALSE(
      validUtf8("Fran\xE7"
                "ais"));                    // a code-page byte
  EXPECT_FALSE(validUtf8("\xC3"));          // cut short
  EXPECT_FALSE(validUtf8("\xC0\xAF"));      // overlong
  EXPECT_FALSE(validUtf8("\xED\xA0\x80"));  // surrogate
}

class ShippedLanguage : public testing::TestWithParam<const char*> {};

TEST_P(ShippedLanguage, SetsEveryKeyOfTheTableAndNothingElse) {
  const std::string text = readAll(i18n::languageFilePath(kFolder, GetParam()));
  ASSERT_FALSE(text.empty());
  EXPECT_TRUE(validUtf8(text));
  EXPECT_FALSE(text.starts_with("\xEF\xBB\xBF")) << "a byte-order mark hides the first section";

  const platform::IniProfile profile(text);
  for (const i18n::TextKey& row : i18n::kTextKeys) {
    EXPECT_TRUE(profile.find(i18n::kInterfaceSection, row.key).has_value()) << row.key;
  }
  for (const i18n::MessageKey& row : i18n::kMessageKeys) {
    const std::optional<std::string> value = profile.find(i18n::kMessagesSection, row.key);
    EXPECT_TRUE(value && !value->empty()) << row.key;
    // What varies in the message must have its place in every language.
    if (value && row.czech.find("%s") != std::string_view::npos) {
      EXPECT_NE(value->find("%s"), std::string::npos) << row.key;
    }
  }
  std::istringstream lines(text);
  std::string line;
  std::string section;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      section = line;
      EXPECT_TRUE(line == "[Interface]" || line == "[Messages]") << line;
      continue;
    }
    const std::size_t eq = line.find('=');
    ASSERT_NE(eq, std::string::npos) << line;
    const std::string key = line.substr(0, eq);
    const bool known = section == "[Interface]"
                           ? i18n::findTextKey(key) != nullptr
                           : std::any_of(i18n::kMessageKeys.begin(), i18n::kMessageKeys.end(),
                                         [&](const i18n::MessageKey& row) { return row.key == key; });
    EXPECT_TRUE(known) << "unknown key: " << line;
  }
}

INSTANTIATE_TEST_SUITE_P(All, ShippedLanguage, testing::ValuesIn(kLanguages));

TEST(ShippedLanguages, EnglishRepeatsTheBuiltInTextsAndFixesOneTypo) {
  const i18n::LanguageFile english = i18n::LanguageFile::open(kFolder, "English");
  for (const i18n::TextKey& row : i18n::kTextKeys) {
    if (row.builtIn.empty()) continue;
    SCOPED_TRACE(row.key);
    const std::string expected =
        row.key == "LabelFileSize->Caption" ? "File Size (Kb):" : std::string(row.builtIn);
    EXPECT_EQ(english.read(row.key, "<missing>"), expected);
  }
  EXPECT_EQ(english.read("StringPartsNumber", ""), "Parts Number: ");
  EXPECT_EQ(english.read("StringPartsSize", ""), "Part Size: ");
}

TEST(ShippedLanguages, ListInTheOrderTheLanguageNameKeysAssume) {
  const std::vector<std::string> files = i18n::ListLanguageFiles(kFolder);
  ASSERT_EQ(files.size(), std::size(kLanguages));
  for (const i18n::TextKey& row : i18n::kTextKeys) {
    if (row.target != i18n::Target::LanguageItem) continue;
    const std::string name = i18n::languageNameOf(files[static_cast<std::size_t>(row.index) - 1]);
    EXPECT_EQ(row.key, "MLang" + name + "->Caption");
  }
}

TEST(ShippedLanguages, EveryFileKeepsTheBlanksOfFramedCaptions) {
  for (const char* language : kLanguages) {
    SCOPED_TRACE(language);
    const i18n::LanguageFile file = i18n::LanguageFile::open(kFolder, language);
    for (const char* key : {"GroupBoxSplit->Caption", "GroupBoxCombine->Caption",
                            "RadioGroupSplitOptions->Caption"}) {
      const std::string text = file.read(key, "");
      EXPECT_TRUE(text.starts_with(' ') && text.ends_with(' ')) << key << ": " << text;
    }
    const std::string filter = file.read("OpenDialogCombine->Filter", "");
    // First parts, then the archives of packed first parts.
    EXPECT_NE(filter.find("(*.001)|*.001|"), std::string::npos) << filter;
    EXPECT_TRUE(filter.ends_with("(*.001.zip)|*.001.zip")) << filter;
  }
}

}  // namespace
