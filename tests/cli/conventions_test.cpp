// Conventions of sundrix-cli: the version line, and a progress line on stderr only for a
// terminal and never under --quiet.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

// The console's line end: text written to the standard streams ends lines the system's way.
#ifdef _WIN32
const char* const kLineEnd = "\r\n";
#else
const char* const kLineEnd = "\n";
#endif

TEST(CliConventions, VersionNamesTheToolAndItsVersion) {
  for (const char* option : {"--version", "-V"}) {
    SCOPED_TRACE(option);
    std::string output;
    EXPECT_EQ(testing_support::runProgram({SUNDRIX_CLI, option}, &output), 0);
    EXPECT_EQ(output, std::string("sundrix-cli " SUNDRIX_VERSION) + kLineEnd);
  }
}

// Through a pipe there is no progress line, and the parts are the same on every OS.
TEST(CliConventions, SplitAndJoinByArgumentList) {
  testing_support::TempDir dir;
  const std::string input = dir.file("in put.bin");  // a blank in the name
  const auto bytes = testing_support::makeBytes(300000, 7);
  testing_support::writeFile(input, bytes);
  std::string output;
  ASSERT_EQ(testing_support::runProgram({SUNDRIX_CLI, "split", input, "--parts", "3"}, &output), 0)
      << output;
  EXPECT_EQ(output.find("100%"), std::string::npos) << output;
  EXPECT_EQ(testing_support::sizeOf(dir.file("in put.bin.003")), 100000);
  ASSERT_EQ(testing_support::runProgram(
                {SUNDRIX_CLI, "join", dir.file("in put.bin.001"), "--out", dir.file("joined")},
                &output),
            0)
      << output;
  EXPECT_EQ(testing_support::readFile(dir.file("joined")), bytes);
  // The last line says whether a checksum file proved the bytes.
  EXPECT_NE(output.find("Verified: "), std::string::npos) << output;
  std::remove(dir.file("in put.bin.sha256").c_str());
  output.clear();
  ASSERT_EQ(
      testing_support::runProgram(
          {SUNDRIX_CLI, "join", dir.file("in put.bin.001"), "--out", dir.file("again")}, &output),
      0)
      << output;
  EXPECT_EQ(output,
            std::string("Not verified: no checksum file was found beside the parts.") + kLineEnd);
}

#ifndef _WIN32  // a terminal through script(1) and a POSIX shell
using testing_support::runCommand;
using testing_support::shellQuoted;

const std::string kCli = shellQuoted(SUNDRIX_CLI);

TEST(CliConventions, ProgressGoesToATerminalOnlyAndNeverUnderQuiet) {
  if (runCommand("command -v script >/dev/null") != 0)
    GTEST_SKIP() << "no script(1) for a terminal";
  testing_support::TempDir dir;
  const std::string input = dir.file("in.bin");
  testing_support::writeFile(input, testing_support::makeBytes(300000, 7));
  struct Row {
    const char* how;
    bool terminal;
    std::string arguments;
    bool progress;
  } rows[] = {
      {"terminal", true, shellQuoted(input) + " --parts 3", true},
      {"terminal, --quiet last", true, shellQuoted(input) + " --parts 3 --quiet", false},
      {"terminal, -q first", true, "-q " + shellQuoted(input) + " --parts 3", false},
      {"pipe", false, shellQuoted(input) + " --parts 3", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.how);
    std::string command = kCli + " split " + row.arguments + " 2>&1";
    // script(1) runs the command on a new terminal and copies what it shows.
    if (row.terminal) command = "script -qec " + shellQuoted(command) + " /dev/null";
    std::string output;
    EXPECT_EQ(runCommand(command, &output), 0) << output;
    EXPECT_EQ(output.find("100%") != std::string::npos, row.progress) << output;
    EXPECT_EQ(testing_support::sizeOf(dir.file("in.bin.003")), 100000);
  }
}

#endif

}  // namespace
