// Profile reading rules and in-place writing.
#include "platform/ini.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>

#include "support/temp_dir.h"

using platform::IniProfile;

namespace {

TEST(IniProfile, ReadingFollowsTheProfileRules) {
  const IniProfile ini(
      "; comment\r\n"
      "[other]\r\n"
      "Language=Wrong\r\n"
      "[ OPTIONS ]\r\n"
      "  language =  Russian  \r\n"
      "quoted=\"  two blanks  \"\r\n"
      "single='x'\r\n"
      "empty=\r\n"
      "language=Second\r\n");
  EXPECT_EQ(ini.readString("Options", "Language", "English"), "Russian");
  EXPECT_EQ(ini.readString("options", "QUOTED", ""), "  two blanks  ");
  EXPECT_EQ(ini.readString("Options", "single", ""), "x");
  EXPECT_EQ(ini.readString("Options", "empty", "dflt"), "");
  EXPECT_EQ(ini.readString("Options", "missing", "dflt"), "dflt");
  EXPECT_EQ(ini.readString("Nowhere", "Language", "English"), "English");
}

TEST(IniProfile, LongValuesAreCut) {
  const IniProfile ini("[s]\nk=" + std::string(5000, 'v') + "\n");
  EXPECT_EQ(ini.readString("s", "k", "").size(), platform::kMaxProfileValue);
}

TEST(IniProfile, Booleans) {
  struct Row {
    const char* text;
    bool defaultValue, expected;
  };
  const Row rows[] = {
      {"1", false, true},  {"0", true, false},    {"2", false, true},          {"-1", false, true},
      {"+0", true, false}, {"yes", false, false}, {"yes", true, true},         {"", false, false},
      {"", true, true},    {"0x0", true, false},  {"0X10", false, true},       {"0x", true, true},
      {"abc", true, true}, {"1.5", false, false}, {"99999999999", true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const IniProfile ini(std::string("[Options]\nkey=") + row.text + "\n");
    EXPECT_EQ(ini.readBool("Options", "key", row.defaultValue), row.expected);
  }
  EXPECT_TRUE(IniProfile().readBool("Options", "key", true));
}

TEST(IniProfile, WritingKeepsEverythingElse) {
  IniProfile ini("; keep me\n[Options]\nLanguage=English\n\n[Other]\nx=1\n");
  ini.write("options", "Language", "Russian");
  ini.write("Options", "compress", "0");
  ini.write("New", "k", "v");
  EXPECT_EQ(ini.text(),
            "; keep me\n[Options]\nLanguage=Russian\ncompress=0\n\n[Other]\nx=1\n\n[New]\nk=v\n");
}

TEST(IniProfile, WritesToAMissingFileCreateItInOrder) {
  testing_support::TempDir dir;
  const std::string path = dir.file("sundrix.ini");
  platform::IoError err;
  for (const char* key : {"Language", "deleteInput", "deleteParts"}) {
    ASSERT_TRUE(platform::writeProfileString(path, "Options", key, "1", err)) << err.message();
  }
  EXPECT_EQ(testing_support::readText(path),
            "[Options]\nLanguage=1\ndeleteInput=1\ndeleteParts=1\n");
  EXPECT_EQ(testing_support::listFolder(dir.path()), std::vector<std::string>{"sundrix.ini"});
}

TEST(IniProfile, AFailedWriteLeavesTheOldFileWhole) {
  testing_support::TempDir dir;
  const std::string path = dir.file("missing-folder/x.ini");
  platform::IoError err;
  EXPECT_FALSE(platform::writeProfileString(path, "Options", "k", "v", err));
  EXPECT_NE(err.message().find("missing-folder"), std::string::npos);
}

}  // namespace

namespace {

TEST(IniProfile, AnUnreadableFileIsNotReplaced) {
  // Something that exists but cannot be read as a profile (here a folder) stays as it is.
  testing_support::TempDir dir;
  ASSERT_TRUE(std::filesystem::create_directory(dir.file("settings.ini")));
  testing_support::writeText(dir.file("settings.ini/inside"), "x");
  platform::IoError err;
  EXPECT_FALSE(platform::writeProfileString(dir.file("settings.ini"), "Options", "k", "v", err));
  EXPECT_TRUE(err.isSet());
  EXPECT_EQ(testing_support::readText(dir.file("settings.ini/inside")), "x");
}

#ifndef _WIN32  // links need privileges on Windows
TEST(IniProfile, WritingThroughALinkChangesTheLinkedFile) {
  testing_support::TempDir dir;
  testing_support::writeText(dir.file("real.ini"), "[Other]\nkeep=1\n");
  ASSERT_EQ(::symlink(dir.file("real.ini").c_str(), dir.file("link.ini").c_str()), 0);
  platform::IoError err;
  ASSERT_TRUE(platform::writeProfileString(dir.file("link.ini"), "Options", "k", "v", err));
  EXPECT_EQ(testing_support::readText(dir.file("real.ini")), "[Other]\nkeep=1\n\n[Options]\nk=v\n");
  char target[256] = {};
  EXPECT_GT(::readlink(dir.file("link.ini").c_str(), target, sizeof target - 1), 0);
}
#endif

}  // namespace
