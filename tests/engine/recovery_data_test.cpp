// Rebuilding parts from recovery data when something is in the way or fails part way:
// names taken by others, a full disk, a hostile set. Each ends with every file there
// before exactly as it was, and no file of the rebuild left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <map>
#include <set>

#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include "engine/recovery_data.h"
#include "platform/file.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;

constexpr std::size_t kPart = 40000;

std::map<std::string, std::vector<std::uint8_t>> snapshot(const TempDir& dir) {
  std::map<std::string, std::vector<std::uint8_t>> files;
  for (const std::string& name : testing_support::listFolder(dir.path())) {
    files[name] = testing_support::readFile(dir.file(name));
  }
  return files;
}

// Parts d.bin.001 to .004 and recovery data over `covered` (paths, by default the parts)
// with `blocks` recovery blocks.
void makeSeries(const TempDir& dir, std::uint32_t blocks, std::vector<std::string> covered = {}) {
  for (int i = 1; i <= 4; ++i) {
    testing_support::writeFile(dir.file("d.bin.00" + std::to_string(i)),
                               testing_support::makeBytes(kPart, static_cast<std::uint32_t>(40 + i)));
  }
  if (covered.empty()) {
    for (int i = 1; i <= 4; ++i) covered.push_back(dir.file("d.bin.00" + std::to_string(i)));
  }
  engine::RecoveryPlan plan;
  std::string problem;
  ASSERT_TRUE(engine::planRecovery({static_cast<int>(blocks), 0}, kPart,
                                   static_cast<std::int64_t>(covered.size()), plan, problem))
      << problem;
  engine::StopToken stop;
  std::vector<std::string> written;
  const engine::JobResult made =
      engine::writeRecoveryFiles(covered, plan, dir.file("d.bin"), stop, written);
  ASSERT_EQ(made.outcome, engine::JobOutcome::Done) << made.message();
}

// Fails the operations on paths ending in `suffix` with `code`, or runs `act` before them,
// from the second such path on: the first rebuilt part then is written and checked.
struct Fault : platform::FaultInjector {
  platform::FileOp op;
  std::string suffix;
  int code = 0;
  std::function<void(const std::string&)> act;
  std::set<std::string> seen;
  Fault(platform::FileOp o, std::string s, int c, std::function<void(const std::string&)> a = {})
      : op(o), suffix(std::move(s)), code(c), act(std::move(a)) {
    platform::setFaultInjector(this);
  }
  ~Fault() override { platform::setFaultInjector(nullptr); }
  int before(platform::FileOp o, const std::string& path) override {
    if (o != op || !path.ends_with(suffix)) return 0;
    seen.insert(path);
    if (seen.size() < 2) return 0;
    if (act) act(path);
    return code;
  }
};

TEST(RecoveryRebuild, NothingInTheWayIsTouchedAndNothingIsLeftBehind) {
  struct Row {
    const char* name;
    std::function<void(const TempDir&)> setup;  // after the damage, before the snapshot
    std::function<std::unique_ptr<Fault>(const TempDir&)> fault;
    engine::JobOutcome outcome;
    const char* says;  // in the result's message, or the report's summary when Done
    bool otherRun = false;  // another run holds the folder (a split writing parts there)
  };
  const std::vector<Row> rows = {
      {"another run is writing into the folder", nullptr, nullptr, engine::JobOutcome::Failed,
       "another run of this program is writing into this folder", true},
      {"a file of the user's at PART.damaged",
       [](const TempDir& d) { testing_support::writeText(d.file("d.bin.003.damaged"), "mine"); },
       nullptr, engine::JobOutcome::Failed, "d.bin.003.damaged is in the way"},
      {"the disk fills while the second part is rebuilt", nullptr,
       [](const TempDir&) {
         return std::make_unique<Fault>(platform::FileOp::Write, ".rebuilding", ENOSPC);
       },
       engine::JobOutcome::Failed, "Nothing was changed"},
      {"another repair takes PART.rebuilding after the check", nullptr,
       [](const TempDir&) {
         return std::make_unique<Fault>(platform::FileOp::Create, ".rebuilding", 0,
                                        [](const std::string& path) {
                                          testing_support::writeText(path, "theirs");
                                        });
       },
       engine::JobOutcome::Failed, "Nothing was changed"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    makeSeries(dir, 2);
    const auto whole = snapshot(dir);
    platform::IoError err;
    ASSERT_TRUE(platform::removeFile(dir.file("d.bin.002"), err));
    testing_support::writeFile(dir.file("d.bin.003"), testing_support::makeBytes(kPart, 9));
    if (row.setup) row.setup(dir);
    auto before = snapshot(dir);
    engine::StopToken stop;
    engine::RecoveryReport report;
    engine::JobResult result;
    {
      const std::unique_ptr<Fault> fault = row.fault ? row.fault(dir) : nullptr;
      platform::FolderLock other;
      if (row.otherRun) {
        ASSERT_TRUE(other.acquire(dir.path(), err)) << err.message();
      }
      result = engine::checkRecovery(dir.file("d.bin.001"), true, stop, report);
    }
    EXPECT_EQ(result.outcome, row.outcome) << result.message();
    EXPECT_NE(result.message().find(row.says), std::string::npos) << result.message();
    // What another process put in the way during the rebuild is its own, and stays.
    for (const char* name : {"d.bin.002.rebuilding", "d.bin.003.rebuilding"}) {
      if (testing_support::exists(dir.file(name)) && !before.contains(name)) {
        EXPECT_EQ(testing_support::readText(dir.file(name)), "theirs");
        before[name] = testing_support::readFile(dir.file(name));
      }
    }
    EXPECT_EQ(snapshot(dir), before);
    // With the way clear, the same rebuild puts back the very parts that were lost.
    for (const auto& [name, bytes] : before) {
      if (!whole.contains(name)) platform::removeFile(dir.file(name), err);
    }
    ASSERT_EQ(engine::checkRecovery(dir.file("d.bin.001"), true, stop, report).outcome,
              engine::JobOutcome::Done);
    std::sort(report.rebuilt.begin(), report.rebuilt.end());
    EXPECT_EQ(report.rebuilt, (std::vector<std::string>{"d.bin.002", "d.bin.003"}));
    EXPECT_EQ(testing_support::readFile(dir.file("d.bin.002")), whole.at("d.bin.002"));
    EXPECT_EQ(testing_support::readFile(dir.file("d.bin.003")), whole.at("d.bin.003"));
  }
}

// Another run that holds the folder while the parts are checked and lets go of it before
// the rebuild (a split that ends, having written a part the check found missing) leaves
// that check behind: the rebuild is refused rather than putting back the older part over
// the one just written.
TEST(RecoveryRebuild, ARunThatEndsDuringTheCheckIsNotOverwritten) {
  struct Ends : platform::FaultInjector {
    const TempDir& dir;
    std::unique_ptr<platform::FolderLock>& other;
    Ends(const TempDir& d, std::unique_ptr<platform::FolderLock>& o) : dir(d), other(o) {
      platform::setFaultInjector(this);
    }
    ~Ends() override { platform::setFaultInjector(nullptr); }
    int before(platform::FileOp op, const std::string& path) override {
      if (op != platform::FileOp::Read || !path.ends_with("d.bin.004") || !other) return 0;
      testing_support::writeText(dir.file("d.bin.002"), "the other run's part");
      other.reset();
      return 0;
    }
  };
  TempDir dir;
  makeSeries(dir, 2);
  platform::IoError err;
  ASSERT_TRUE(platform::removeFile(dir.file("d.bin.002"), err));
  auto other = std::make_unique<platform::FolderLock>();
  ASSERT_TRUE(other->acquire(dir.path(), err)) << err.message();
  engine::StopToken stop;
  engine::RecoveryReport report;
  engine::JobResult result;
  {
    Ends ends(dir, other);
    result = engine::checkRecovery(dir.file("d.bin.001"), true, stop, report);
  }
  EXPECT_EQ(other, nullptr) << "the check never read d.bin.004";
  EXPECT_EQ(result.outcome, engine::JobOutcome::Failed) << result.message();
  EXPECT_NE(result.message().find("another run of this program"), std::string::npos)
      << result.message();
  EXPECT_EQ(testing_support::readText(dir.file("d.bin.002")), "the other run's part");
  EXPECT_TRUE(report.rebuilt.empty());
  EXPECT_FALSE(testing_support::exists(dir.file("d.bin.002.damaged")));
}

// A set describing one part name twice (one of them over other bytes) would rebuild a
// good part into something else: it is not used, and no part changes.
TEST(RecoveryRebuild, ASetNamingAPartTwiceIsNotUsed) {
  TempDir dir;
  TempDir other;
  testing_support::writeFile(other.file("d.bin.002"), testing_support::makeBytes(kPart, 77));
  makeSeries(dir, 1,
             {dir.file("d.bin.001"), dir.file("d.bin.002"), other.file("d.bin.002"),
              dir.file("d.bin.003"), dir.file("d.bin.004")});
  const auto before = snapshot(dir);
  engine::StopToken stop;
  engine::RecoveryReport report;
  const engine::JobResult result = engine::checkRecovery(dir.file("d.bin.001"), true, stop, report);
  EXPECT_EQ(result.outcome, engine::JobOutcome::Done);
  EXPECT_FALSE(report.usable);
  EXPECT_TRUE(report.rebuilt.empty());
  EXPECT_NE(report.summary.find("d.bin.002 twice"), std::string::npos) << report.summary;
  EXPECT_EQ(snapshot(dir), before);
}

#if !defined(_WIN32)
// A split falls back to reading its parts back when the input changed under the copy; a
// series of more parts than the process may hold open still gets its recovery data.
TEST(RecoveryWrite, MorePartsThanOpenFilesAllowed) {
  constexpr int kParts = 200;
  constexpr std::size_t kSmall = 300;
  TempDir dir;
  std::vector<std::string> parts;
  for (int i = 1; i <= kParts; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "m.bin.%03d", i);
    parts.push_back(dir.file(name));
    testing_support::writeFile(parts.back(),
                               testing_support::makeBytes(kSmall, static_cast<std::uint32_t>(i)));
  }
  engine::RecoveryPlan plan;
  std::string problem;
  ASSERT_TRUE(engine::planRecovery({2, 0}, kSmall, kParts, plan, problem)) << problem;
  rlimit was{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &was), 0);
  rlimit low = was;
  low.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  engine::StopToken stop;
  std::vector<std::string> written;
  const engine::JobResult made =
      engine::writeRecoveryFiles(parts, plan, dir.file("m.bin"), stop, written);
  setrlimit(RLIMIT_NOFILE, &was);
  ASSERT_EQ(made.outcome, engine::JobOutcome::Done) << made.message();
  const auto lost = testing_support::readFile(parts[150]);
  std::remove(parts[150].c_str());
  engine::RecoveryReport report;
  ASSERT_EQ(engine::checkRecovery(parts[0], true, stop, report).outcome, engine::JobOutcome::Done);
  EXPECT_EQ(testing_support::readFile(parts[150]), lost) << report.summary;
}
#endif

}  // namespace
