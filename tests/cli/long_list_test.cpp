// A split into very many parts holds little per part: its list, its ledger and the join's
// tables grow by tens of bytes a part, not hundreds. Measured as the peak memory of the
// program run at two part counts (bench/long_list.sh runs 700,000 parts).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Runs the program with `arguments` (its output thrown away) and gives its peak memory in
// bytes, or -1 when it did not run or did not succeed.
long peakOf(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return -1;
  }
  return usage.ru_maxrss * 1024L;
}

TEST(LongList, ManyPartsCostTensOfBytesEachToSplitAndJoin) {
  if (kSanitized) GTEST_SKIP() << "the sanitizers' own memory hides what a part costs";
  // What the extra parts of the second run cost, from the difference of the two peaks.
  constexpr long kFewer = 10'000, kMore = 50'000;
  constexpr long kMostPerPart = 160;  // bytes; a list of strings and a ledger of paths took 300 to 400
  long splitPeak[2] = {}, joinPeak[2] = {};
  for (const int run : {0, 1}) {
    const long count = run == 0 ? kFewer : kMore;
    SCOPED_TRACE(count);
    testing_support::TempDir dir;
    const auto bytes = testing_support::makeBytes(static_cast<std::size_t>(count), 27);
    testing_support::writeFile(dir.file("in.bin"), bytes);
    splitPeak[run] = peakOf({SUNDRIX_CLI, "split", dir.file("in.bin"), "--size", "1", "-q"});
    ASSERT_GT(splitPeak[run], 0);
    joinPeak[run] =
        peakOf({SUNDRIX_CLI, "join", dir.file("in.bin.001"), "--out", dir.file("joined"), "-q"});
    ASSERT_GT(joinPeak[run], 0);
    EXPECT_EQ(testing_support::readFile(dir.file("joined")), bytes);
  }
  const long more = kMore - kFewer;
  EXPECT_LE((splitPeak[1] - splitPeak[0]) / more, kMostPerPart)
      << "split: " << splitPeak[0] << " then " << splitPeak[1] << " bytes";
  EXPECT_LE((joinPeak[1] - joinPeak[0]) / more, kMostPerPart)
      << "join: " << joinPeak[0] << " then " << joinPeak[1] << " bytes";
}

}  // namespace
