// A join with --delete-parts ended by a kill or Ctrl-C, then the same command run again
// (or the command its message gives): the file comes back byte for byte, every time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

using testing_support::runCommand;
const auto& quoted = testing_support::shellQuoted;

const std::string kCli = quoted(SUNDRIX_CLI);

// The folder of a fresh series of `parts` parts of big.bin, with or without its list.
struct Series {
  testing_support::TempDir dir;
  std::vector<std::uint8_t> bytes;
  std::string join;  // the command, run in the folder
  Series(std::size_t size, int parts, bool list, const std::string& more = "") {
    bytes = testing_support::makeBytes(size, 21);
    testing_support::writeFile(dir.file("big bin"), bytes);
    std::string out;
    EXPECT_EQ(runCommand("cd " + quoted(dir.path()) + " && " + kCli + " split 'big bin' --parts " +
                             std::to_string(parts) + (list ? "" : " --no-checksum") +
                             more + " --delete-input 2>&1",
                         &out),
              0)
        << out;
    join = kCli + " join 'big bin.001' --delete-parts";
  }
  // Runs the join in the background and sends it `signal` after `ms` milliseconds; the
  // messages it printed come back.
  std::string interrupted(const char* signal, int ms) {
    std::string out;
    runCommand("cd " + quoted(dir.path()) + " && { " + join + " 2>&1 & pid=$!; sleep " +
                   std::to_string(ms / 1000.0) + "; kill -" + signal + " $pid 2>/dev/null; wait $pid; }",
               &out);
    return out;
  }
  // Runs the join in the background and sends it `signal` as soon as its first part is
  // gone, so that it stops while it is deleting parts, however fast the machine is.
  void interruptedWhileDeleting(const char* signal) {
    std::string out;
    runCommand("cd " + quoted(dir.path()) + " && { " + join + " >/dev/null 2>&1 & pid=$!; " +
                   "while kill -0 $pid 2>/dev/null && [ -e 'big bin.001' ]; do :; done; kill -" +
                   signal + " $pid 2>/dev/null; wait $pid; }",
               &out);
  }
  std::vector<std::string> names() const { return testing_support::listFolder(dir.path()); }
};

TEST(JoinResume, AKilledJoinRunAgainGivesTheFileBack) {
  int resumed = 0;
  for (const bool list : {false, true}) {
    for (const int ms : {10, 40, 80, 130}) {
      SCOPED_TRACE(std::string(list ? "with" : "without") + " a list, killed after " +
                   std::to_string(ms) + " ms");
      Series s(24 << 20, 200, list);
      s.interrupted("KILL", ms);
      const std::vector<std::string> done =
          list ? std::vector<std::string>{"big bin", "big bin.sha256"}
               : std::vector<std::string>{"big bin"};
      std::string out;
      // A join that had finished before the kill is not run again: its parts are gone.
      if (s.names() != done) {
        ++resumed;
        ASSERT_EQ(runCommand("cd " + quoted(s.dir.path()) + " && " + s.join + " 2>&1", &out), 0)
            << out;
      }
      EXPECT_EQ(testing_support::readFile(s.dir.file("big bin")), s.bytes);
      EXPECT_EQ(s.names(), done) << out;
    }
  }
  EXPECT_GT(resumed, 0) << "no kill came while the join was under way";
}

// The command that an interrupted join names is run as printed, through a shell.
TEST(JoinResume, TheCommandAnInterruptedJoinGivesFinishesIt) {
  int followed = 0;
  for (const int ms : {20, 50, 90, 140}) {
    SCOPED_TRACE("interrupted after " + std::to_string(ms) + " ms");
    Series s(24 << 20, 200, false);
    const std::string said = s.interrupted("INT", ms);
    const std::string marker = "run the same join again: ";
    const std::size_t at = said.find(marker);
    if (at == std::string::npos) continue;  // it ended before any part was deleted, or had finished
    const std::string command = said.substr(at + marker.size(), said.find('\n', at) - at - marker.size());
    std::string out;
    const std::string cliFolder = std::string(SUNDRIX_CLI).substr(0, std::string(SUNDRIX_CLI).rfind('/'));
    ASSERT_EQ(runCommand("cd " + quoted(s.dir.path()) + " && export PATH=" + quoted(cliFolder) +
                             ":\"$PATH\" && " + command + " 2>&1",
                         &out),
              0)
        << command << "\n" << out;
    EXPECT_EQ(testing_support::readFile(s.dir.file("big bin")), s.bytes);
    EXPECT_EQ(s.names(), std::vector<std::string>{"big bin"}) << out;
    ++followed;
  }
  EXPECT_GT(followed, 0) << "no interruption came while parts were being deleted";
}

// Recovery data beside the parts of a join interrupted after deleting some: those parts are
// in the join's file, so verify points at the join and repair rebuilds nothing; rebuilt
// parts under their names would stop the join from continuing.
TEST(JoinResume, RepairLeavesAnInterruptedJoinsPartsToIt) {
  int checked = 0;
  for (int attempt = 0; attempt < 3 && checked == 0; ++attempt) {
    SCOPED_TRACE("attempt " + std::to_string(attempt));
    Series s(24 << 20, 200, false, " --recovery 50%");
    s.interruptedWhileDeleting("INT");
    if (!testing_support::exists(s.dir.file(".big bin.sundrix-journal")) ||
        testing_support::exists(s.dir.file("big bin.001"))) {
      continue;  // it ended before it deleted a part, or had finished
    }
    const std::vector<std::string> before = s.names();
    const std::string in = "cd " + quoted(s.dir.path()) + " && ";
    std::string out;
    EXPECT_EQ(runCommand(in + kCli + " verify 'big bin.050' 2>&1", &out), 1);
    EXPECT_NE(out.find("a join of this series is under way"), std::string::npos) << out;
    EXPECT_EQ(out.find("run 'sundrix-cli repair"), std::string::npos) << out;
    EXPECT_EQ(runCommand(in + kCli + " repair 'big bin.050' 2>&1", &out), 1);
    EXPECT_NE(out.find("nothing was rebuilt"), std::string::npos) << out;
    EXPECT_EQ(s.names(), before);
    ASSERT_EQ(runCommand(in + s.join + " 2>&1", &out), 0) << out;
    EXPECT_EQ(testing_support::readFile(s.dir.file("big bin")), s.bytes);
    for (const std::string& name : s.names()) EXPECT_FALSE(name.starts_with("big bin.0")) << name;
    ++checked;
  }
  EXPECT_GT(checked, 0) << "no interruption came while parts were being deleted";
}

// A split of standard input stopped while it waits for bytes ends as stopped when the
// input ends, and writes no list that would vouch for what may be cut short.
TEST(JoinResume, AStreamSplitStoppedWhileWaitingWritesNoList) {
  testing_support::TempDir dir;
  std::string out;
  const int status = runCommand(
      "cd " + quoted(dir.path()) + " && mkfifo in && { (head -c 25 /dev/zero; sleep 2) > in & " +
          kCli + " split - -b 10 --name r < in & pid=$!; sleep 1; kill -TERM $pid; wait $pid; " +
          "echo \"exit $?\"; wait; }",
      &out);
  EXPECT_EQ(status, 0);
  EXPECT_NE(out.find("exit 143"), std::string::npos) << out;
  EXPECT_FALSE(testing_support::exists(dir.file("r.sha256")));
}

}  // namespace
