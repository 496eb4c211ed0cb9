// The split's compress option end to end: only archives remain, another tool unpacks
// them, and the join restores the input.
#include <gtest/gtest.h>

#include "support/temp_dir.h"

using testing_support::TempDir;

namespace {

TEST(ZipSplit, ArchivesUnpackAndJoinBackToTheInput) {
  if (testing_support::runCommand("command -v unzip >/dev/null") != 0) {
    GTEST_SKIP() << "Info-ZIP unzip is not installed";
  }
  TempDir dir;
  // Text-like data, so that every part really is shrunk.
  std::string text;
  for (int i = 0; text.size() < 200'000; ++i)
    text += "line " + std::to_string(i * 7919 % 1000) + " of the input\n";
  testing_support::writeText(dir.file("notes.txt"), text);
  const std::string cli = SUNDRIX_CLI;
  ASSERT_EQ(testing_support::runCommand(cli + " split '" + dir.file("notes.txt") +
                                        "' --parts 3 --zip --delete-input 2>&1"),
            0);
  EXPECT_EQ(
      testing_support::listFolder(dir.path()),
      (std::vector<std::string>{"notes.txt.001.zip", "notes.txt.002.zip", "notes.txt.003.zip",
                                "notes.txt.sha256"}));
  for (const char* n : {"001", "002", "003"}) {
    std::string out;
    ASSERT_EQ(testing_support::runCommand(
                  "unzip -t '" + dir.file(std::string("notes.txt.") + n + ".zip") + "'", &out),
              0)
        << out;
    ASSERT_EQ(testing_support::runCommand("cd '" + dir.path() + "' && unzip -q 'notes.txt." + n +
                                          ".zip'"),
              0);
  }
  ASSERT_EQ(testing_support::runCommand(cli + " join '" + dir.file("notes.txt.001") + "' 2>&1"), 0);
  EXPECT_EQ(testing_support::readText(dir.file("notes.txt")), text);
}

}  // namespace
