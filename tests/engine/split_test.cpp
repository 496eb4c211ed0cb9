// The split: sizes, names, progress texts, the script, deletion and failures.
#include "engine/split.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "engine/join_script.h"
#include "engine_fakes.h"
#include "platform/file.h"
#include "support/temp_dir.h"

using namespace engine;
using namespace engine_test;
using testing_support::TempDir;

namespace {

struct PlanRow {
  std::int64_t fileSize, value;
  SplitMode mode;
  int unit;
  std::int64_t partSize, partCount;
};

TEST(PlanSplit, PartSizesAndCounts) {
  const PlanRow rows[] = {
      {10'000'000, 3, SplitMode::ByNumber, 1, 3'333'333, 3},
      {10, 20, SplitMode::ByNumber, 1, 0, 20},
      {10'000'000, 4, SplitMode::BySize, 2, 4'194'304, 3},
      {8'388'608, 4, SplitMode::BySize, 2, 4'194'304, 3},  // exact multiple: empty last part
      {5'000'000'000, 2, SplitMode::BySize, 3, 2'147'483'648, 3},
      {100, 1000, SplitMode::BySize, 0, 1000, 1},
      {100, 100, SplitMode::BySize, 0, 100, 2},
      {0, 5, SplitMode::ByNumber, 1, 0, 5},
      {0, 1, SplitMode::BySize, 1, 1024, 1},
  };
  for (const PlanRow& row : rows) {
    SCOPED_TRACE(std::to_string(row.fileSize) + " / " + std::to_string(row.value));
    SplitPlan plan;
    std::string problem;
    ASSERT_TRUE(planSplit(row.fileSize, row.value, row.mode, row.unit, plan, problem)) << problem;
    EXPECT_EQ(plan.partSize, row.partSize);
    EXPECT_EQ(plan.partCount, row.partCount);
  }
}

TEST(PlanSplit, RefusesValuesThatMakeNoParts) {
  SplitPlan plan;
  std::string problem;
  EXPECT_FALSE(planSplit(100, 0, SplitMode::ByNumber, 1, plan, problem));
  EXPECT_NE(problem.find("number of parts"), std::string::npos);
  EXPECT_FALSE(planSplit(100, -3, SplitMode::ByNumber, 1, plan, problem));
  EXPECT_FALSE(planSplit(100, 0, SplitMode::BySize, 1, plan, problem));
  EXPECT_FALSE(planSplit(100, 4'000'000'000, SplitMode::ByNumber, 1, plan, problem));
  EXPECT_FALSE(planSplit(100, 5, SplitMode::BySize, -1, plan, problem));
  // One-byte parts of a 3 GiB file would be more parts than a 32-bit count holds.
  EXPECT_FALSE(planSplit(3'000'000'000, 1, SplitMode::BySize, 0, plan, problem));
  EXPECT_NE(problem.find("at most"), std::string::npos);
}

class SplitTest : public ::testing::Test {
 protected:
  TempDir dir;
  FakeSplitOptions options;
  RecordingSink sink;
  StopToken stop;

  void SetUp() override { options.folder = dir.path(); }
  std::string input(std::size_t size, const std::string& name = "movie.avi") {
    testing_support::writeFile(dir.file(name), testing_support::makeBytes(size, 7));
    return dir.file(name);
  }
  JobResult split(const std::string& path, std::int64_t value, PartArchiver* archiver = nullptr) {
    return SplitFile({path, value, "Sundrix 1.72"}, options, sink, stop, archiver);
  }
};

TEST_F(SplitTest, ThreePartsOfTenMillionBytes) {
  const std::string path = input(10'000'000);
  const JobResult result = split(path, 3);
  ASSERT_EQ(result.outcome, JobOutcome::Done) << result.message();
  EXPECT_EQ(testing_support::sizeOf(dir.file("movie.avi.001")), 3'333'333);
  EXPECT_EQ(testing_support::sizeOf(dir.file("movie.avi.002")), 3'333'333);
  EXPECT_EQ(testing_support::sizeOf(dir.file("movie.avi.003")), 3'333'334);
  ASSERT_EQ(sink.updates.size(), 300u);
  EXPECT_EQ(sink.updates[0].gauge, 0);
  EXPECT_EQ(sink.updates[0].status, " 32 Kb / 9765 Kb");
  EXPECT_EQ(sink.updates[0].title, "1 - 0% - Sundrix 1.72");
  EXPECT_EQ(sink.updates[99].gauge, 33);
  EXPECT_EQ(sink.updates[99].status, " 3255 Kb / 9765 Kb");
  EXPECT_EQ(sink.updates[199].gauge, 66);
  EXPECT_EQ(sink.updates[299].title, "3 - 100% - Sundrix 1.72");
  EXPECT_EQ(sink.updates[299].status, " 9765 Kb / 9765 Kb");
  EXPECT_TRUE(testing_support::exists(path));
}

TEST_F(SplitTest, SizeModeEndsWithAnEmptyPartOnAnExactMultiple) {
  options.splitMode = SplitMode::BySize;
  options.unit = 0;
  const std::string path = input(300, "data.bin");
  ASSERT_EQ(split(path, 100).outcome, JobOutcome::Done);
  EXPECT_EQ(testing_support::listFolder(dir.path()),
            (std::vector<std::string>{"data.bin", "data.bin.001", "data.bin.002", "data.bin.003",
                                      "data.bin.004"}));
  EXPECT_EQ(testing_support::sizeOf(dir.file("data.bin.004")), 0);
}

TEST_F(SplitTest, EmptyInputGivesEmptyPartsAndFullProgress) {
  const std::string path = input(0, "README");
  ASSERT_EQ(split(path, 2).outcome, JobOutcome::Done);
  EXPECT_EQ(testing_support::sizeOf(dir.file("README.001")), 0);
  EXPECT_EQ(testing_support::sizeOf(dir.file("README.002")), 0);
  EXPECT_EQ(sink.updates.back().gauge, 100);
}

TEST_F(SplitTest, PartNumbersGrowPastThreeDigits) {
  options.splitMode = SplitMode::BySize;
  options.unit = 0;
  const std::string path = input(1001, "a.bin");
  ASSERT_EQ(split(path, 1).outcome, JobOutcome::Done);
  EXPECT_EQ(testing_support::sizeOf(dir.file("a.bin.999")), 1);
  EXPECT_EQ(testing_support::sizeOf(dir.file("a.bin.1000")), 1);
  EXPECT_EQ(testing_support::sizeOf(dir.file("a.bin.1002")), 0);
  EXPECT_FALSE(testing_support::exists(dir.file("a.bin.1003")));
}

TEST_F(SplitTest, ScriptNamesThePartsAndJoinsThem) {
  options.withBat = true;
  options.batDelete = true;
  const std::string path = input(3000);
  ASSERT_EQ(split(path, 3).outcome, JobOutcome::Done);
  EXPECT_TRUE(testing_support::exists(dir.file("temp.003")));
  EXPECT_FALSE(testing_support::exists(dir.file("movie.avi.001")));
  EXPECT_EQ(testing_support::readText(dir.file("temp.bat")),
            "Copy /b \"temp.001\"+\"temp.002\"+\"temp.003\" \"temp\"\r\n"
            "Rename \"temp\" \"movie.avi\"\r\n"
            "if not errorlevel 1 for %%F in (\"movie.avi\") do if \"%%~zF\"==\"3000\" "
            "Del \"temp.001\" \"temp.002\" \"temp.003\" \"temp.bat\"\r\n");
}

TEST_F(SplitTest, ScriptVariants) {
  struct Row {
    std::string bat;
    std::int64_t parts;
    bool deleteLine;
    std::string scriptFile, expected;
  };
  const Row rows[] = {
      {"temp", 1, false, "temp.bat",
       "Copy /b \"temp.001\" \"temp\"\r\nRename \"temp\" \"data.bin\"\r\n"},
      {"my.x", 2, false, "my.x.bat",
       "Copy /b \"my.001\"+\"my.002\" \"my.x\"\r\nRename \"my.x\" \"data.bin\"\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.scriptFile);
    TempDir local;
    options.folder = local.path();
    options.withBat = true;
    options.bat = row.bat;
    options.batDelete = row.deleteLine;
    testing_support::writeFile(local.file("data.bin"), testing_support::makeBytes(10, 1));
    ASSERT_EQ(split(local.file("data.bin"), row.parts).outcome, JobOutcome::Done);
    EXPECT_EQ(testing_support::readText(local.file(row.scriptFile)), row.expected);
  }
}

TEST_F(SplitTest, ScriptOptionIsReadForEveryPartAndAtTheEnd) {
  // Read 1 checks the planned names; reads 2-3 (name and list of part 1) on, 4-5 (part 2)
  // off, then on again for part 3 and the end.
  options.createBatAt = [](int read) { return read != 4 && read != 5; };
  const std::string path = input(30);
  ASSERT_EQ(split(path, 3).outcome, JobOutcome::Done);
  EXPECT_EQ(options.createBatReads, 1 + 3 * 2 + 1);
  EXPECT_TRUE(testing_support::exists(dir.file("temp.001")));
  EXPECT_TRUE(testing_support::exists(dir.file("movie.avi.002")));
  EXPECT_TRUE(testing_support::exists(dir.file("temp.003")));
  EXPECT_EQ(testing_support::readText(dir.file("temp.bat")),
            "Copy /b \"temp.001\"+\"temp.003\" \"temp\"\r\nRename \"temp\" \"movie.avi\"\r\n");
}

// Parts of two names (the script option changed during the split) get no recovery data,
// with a warning: a set over both would be refused as one over another series' parts, by
// a join and by the next split at the name.
TEST_F(SplitTest, PartsOfTwoNamesGetNoRecoveryData) {
  struct Row { const char* name; bool withBat; const char* firstPart; };
  const Row rows[] = {
      {"script turned off for part 2", true, "temp.001"},
      {"script turned on for part 2", false, "movie.avi.001"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir folder;
    options.folder = folder.path();
    options.withBat = row.withBat;
    options.createBatReads = 0;
    // Read 1 names the series; reads 2-3 are part 1's, 4-5 part 2's.
    options.createBatAt = [&row](int read) { return (read == 4 || read == 5) != row.withBat; };
    options.recoveryAmount = {1, 0};
    const std::string path = folder.file("movie.avi");
    testing_support::writeFile(path, testing_support::makeBytes(90'000, 9));
    const JobResult result = SplitFile({path, 3, "t"}, options, sink, stop, nullptr);
    ASSERT_EQ(result.outcome, JobOutcome::Done) << result.message();
    ASSERT_TRUE(testing_support::exists(folder.file(row.firstPart)));
    ASSERT_EQ(result.warnings.size(), 1u);
    EXPECT_NE(result.warnings[0].find("No recovery data was written"), std::string::npos)
        << result.warnings[0];
    for (const std::string& name : testing_support::listFolder(folder.path())) {
      EXPECT_FALSE(name.ends_with(".par2")) << name;
    }
  }
}

TEST_F(SplitTest, DeletesTheInputOnlyAfterEveryPartIsWritten) {
  options.removeInput = true;
  const std::string path = input(5000);
  ASSERT_EQ(split(path, 2).outcome, JobOutcome::Done);
  EXPECT_FALSE(testing_support::exists(path));
  EXPECT_EQ(testing_support::sizeOf(dir.file("movie.avi.002")), 2500);
}

TEST_F(SplitTest, StopInTheSecondPartLeavesTheRestUndone) {
  options.removeInput = true;
  options.withBat = true;
  sink.stop = &stop;
  sink.stopAfter = 150;
  const std::string path = input(300'000);
  EXPECT_EQ(split(path, 3).outcome, JobOutcome::Stopped);
  EXPECT_EQ(testing_support::sizeOf(dir.file("temp.001")), 100'000);
  // Bytes move in chunks, not blocks: the part holds at most the chunk under way.
  EXPECT_GE(testing_support::sizeOf(dir.file("temp.002")), 50'000);
  EXPECT_LE(testing_support::sizeOf(dir.file("temp.002")), 100'000);
  EXPECT_FALSE(testing_support::exists(dir.file("temp.003")));
  EXPECT_FALSE(testing_support::exists(dir.file("temp.bat")));
  EXPECT_TRUE(testing_support::exists(path));
  EXPECT_EQ(sink.updates.size(), 150u);
}

TEST_F(SplitTest, AFullDiskStopsTheJobAndKeepsTheInput) {
  options.removeInput = true;
  const std::string path = input(10'000);
  FailNth fault(platform::FileOp::Write, 1, osCode(platform::ErrorKind::DiskFull), ".002");
  const JobResult result = split(path, 3);
  ASSERT_EQ(result.outcome, JobOutcome::Failed);
  EXPECT_EQ(result.file, dir.file("movie.avi.002"));
  EXPECT_NE(result.reason.find(systemText(platform::ErrorKind::DiskFull)), std::string::npos)
      << result.reason;
  EXPECT_NE(result.reason.find("movie.avi.002"), std::string::npos);
  EXPECT_FALSE(testing_support::exists(dir.file("movie.avi.003")));
  EXPECT_TRUE(testing_support::exists(path));
}

TEST_F(SplitTest, FailuresNameTheFileAndTheReason) {
  {
    SCOPED_TRACE("missing input");
    const JobResult result = split(dir.file("nothing.bin"), 2);
    EXPECT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_NE(result.reason.find("nothing.bin: " + systemText(platform::ErrorKind::NotFound)),
              std::string::npos);
  }
  {
    SCOPED_TRACE("read-only folder");
    const std::string path = input(100);
    FailNth fault(platform::FileOp::Create, 1, osCode(platform::ErrorKind::Denied));
    const JobResult result = split(path, 2);
    EXPECT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_NE(result.reason.find(systemText(platform::ErrorKind::Denied)), std::string::npos);
  }
  {
    SCOPED_TRACE("read error");
    const std::string path = input(100);
    FailNth fault(platform::FileOp::Read, 1, EIO);
    const JobResult result = split(path, 2);
    EXPECT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_EQ(result.file, path);
  }
  {
    SCOPED_TRACE("bad number");
    const std::string path = input(100, "other.bin");
    const JobResult result = split(path, 0);
    EXPECT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_FALSE(testing_support::exists(dir.file("other.bin.001")));
  }
}

TEST_F(SplitTest, RefusesWhenThePartsCannotFit) {
  const std::string path = input(10'000);
  {
    TightDisk disk(9'999);
    const JobResult result = split(path, 3);
    ASSERT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_NE(result.reason.find("need 10000 bytes, 9999 are free"), std::string::npos)
        << result.reason;
    EXPECT_EQ(testing_support::listFolder(dir.path()), std::vector<std::string>{"movie.avi"});
  }
  TightDisk disk(10'000);
  EXPECT_EQ(split(path, 3).outcome, JobOutcome::Done);
}

TEST_F(SplitTest, APartNeverReplacesTheInput) {
  options.withBat = true;
  options.bat = "temp";
  const std::string path = input(100, "temp.001");
  const auto before = testing_support::readFile(path);
  const JobResult result = split(path, 2);
  EXPECT_EQ(result.outcome, JobOutcome::Failed);
  EXPECT_EQ(testing_support::readFile(path), before);
}

TEST_F(SplitTest, PlannedNamesThatHitTheInputAreRefusedBeforeAnyPart) {
  options.withBat = true;
  {
    SCOPED_TRACE("script named like the input");
    options.bat = "x";
    const std::string path = input(100, "x.bat");
    EXPECT_EQ(split(path, 2).outcome, JobOutcome::Failed);
    EXPECT_FALSE(testing_support::exists(dir.file("x.001")));
  }
  {
    SCOPED_TRACE("a later part named like the input");
    options.bat = "temp";
    const std::string path = input(100, "temp.002");
    const JobResult result = split(path, 3);
    EXPECT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_NE(result.reason.find("part 2 would be written over it"), std::string::npos);
    EXPECT_FALSE(testing_support::exists(dir.file("temp.001")));
  }
}

TEST_F(SplitTest, AStopAfterTheLastBlockKeepsTheInputAndWritesNoScript) {
  options.removeInput = true;
  options.withBat = true;
  sink.stop = &stop;
  sink.stopAfter = 200;  // the last update of the last part
  const std::string path = input(2000);
  EXPECT_EQ(split(path, 2).outcome, JobOutcome::Stopped);
  EXPECT_TRUE(testing_support::exists(path));
  EXPECT_FALSE(testing_support::exists(dir.file("temp.bat")));
}

// Appends to the input while the first part is written, as a download still running would.
struct GrowingInput : RecordingSink {
  std::string path;
  void publish(const engine::Progress& p) override {
    RecordingSink::publish(p);
    if (updates.size() == 50) {
      FILE* f = std::fopen(path.c_str(), "ab");
      std::fputs("late bytes", f);
      std::fclose(f);
    }
  }
};

TEST_F(SplitTest, AnInputThatGrowsWhileSplitIsKept) {
  options.removeInput = true;
  GrowingInput growing;
  growing.path = input(10'000);
  const JobResult result = SplitFile({growing.path, 2, "t"}, options, growing, stop, nullptr);
  EXPECT_EQ(result.outcome, JobOutcome::Done);
  ASSERT_EQ(result.warnings.size(), 1u);
  EXPECT_NE(result.warnings[0].find("changed while it was split"), std::string::npos);
  EXPECT_EQ(testing_support::sizeOf(growing.path), 10'010);
}

// Writes into the input while the first part is copied, at `offset`.
struct ChangingInput : RecordingSink {
  std::string path;
  long offset = 0;
  void publish(const engine::Progress& p) override {
    RecordingSink::publish(p);
    if (updates.size() == 10) {
      FILE* f = std::fopen(path.c_str(), "r+b");
      std::fseek(f, offset, SEEK_SET);
      std::fputs("changed", f);
      std::fclose(f);
    }
  }
};

// The recovery data is made from the parts' bytes as they are copied; whatever the input
// does meanwhile, it describes the parts as they were written.
TEST_F(SplitTest, RecoveryDataDescribesThePartsWrittenWhenTheInputChanges) {
  constexpr long kPart = 40'000;
  struct Row { const char* name; long offset; bool checksum; };
  const Row rows[] = {
      {"unchanged", -1, true},
      {"unchanged, without the checksum file", -1, false},
      {"a later part's first bytes change", 2 * kPart + 10, true},
      {"... without the checksum file", 2 * kPart + 10, false},
      {"a later part's bytes past its first 16 KiB change", 2 * kPart + 30'000, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir folder;
    options.folder = folder.path();
    options.checksum = row.checksum;
    options.recoveryAmount = {1, 0};
    ChangingInput changing;
    changing.path = folder.file("movie.avi");
    testing_support::writeFile(changing.path, testing_support::makeBytes(3 * kPart, 7));
    changing.offset = row.offset < 0 ? 3 * kPart : row.offset;  // past the end: no change
    const JobResult result = SplitFile({changing.path, 3, "t"}, options, changing, stop, nullptr);
    ASSERT_EQ(result.outcome, JobOutcome::Done) << result.message();
    ASSERT_TRUE(testing_support::exists(folder.file("movie.avi.par2")));
    RecoveryReport report;
    ASSERT_EQ(checkRecovery(folder.file("movie.avi.001"), false, stop, report).outcome,
              JobOutcome::Done);
    EXPECT_TRUE(report.usable) << report.summary;
    EXPECT_TRUE(report.damaged.empty()) << report.summary;
    // And a lost part comes back as it was written.
    const auto third = testing_support::readFile(folder.file("movie.avi.003"));
    std::remove(folder.file("movie.avi.003").c_str());
    ASSERT_EQ(checkRecovery(folder.file("movie.avi.001"), true, stop, report).outcome,
              JobOutcome::Done);
    EXPECT_EQ(testing_support::readFile(folder.file("movie.avi.003")), third) << report.summary;
  }
}

#if defined(__GLIBC__)
// The heap in use whenever a part is read (only the recovery data's fallback reads them).
struct HeapAtPartReads : platform::FaultInjector {
  std::size_t most = 0;
  HeapAtPartReads() { platform::setFaultInjector(this); }
  ~HeapAtPartReads() override { platform::setFaultInjector(nullptr); }
  int before(platform::FileOp op, const std::string& path) override {
    if (op == platform::FileOp::Read && path.find(".avi.00") != std::string::npos) {
      const struct mallinfo2 m = mallinfo2();
      most = std::max(most, m.uordblks + m.hblkhd);
    }
    return 0;
  }
};

// When the parts are read back, the recovery slices made on the way are let go first: the
// memory the plan allows is not held twice.
TEST_F(SplitTest, ReadingThePartsBackHoldsTheRecoverySlicesOnce) {
  constexpr std::size_t kPart = 40u << 20;  // the one recovery slice, larger than any buffer
  TempDir folder;
  options.folder = folder.path();
  options.recoveryAmount = {1, 0};
  ChangingInput changing;
  changing.path = folder.file("movie.avi");
  testing_support::writeFile(changing.path, {});
  std::filesystem::resize_file(changing.path, 3 * kPart);  // holes: quick to copy
  changing.offset = 2 * kPart + 10;  // the third part's first bytes: the parts are read back
  const struct mallinfo2 at = mallinfo2();
  JobResult result;
  std::size_t most = 0;
  {
    HeapAtPartReads heap;
    result = SplitFile({changing.path, 3, "t"}, options, changing, stop, nullptr);
    most = heap.most;
  }
  ASSERT_EQ(result.outcome, JobOutcome::Done) << result.message();
  ASSERT_GT(most, at.uordblks + at.hblkhd);  // the parts were read back
  EXPECT_LT(most - (at.uordblks + at.hblkhd), kPart * 3 / 2);
  RecoveryReport report;
  ASSERT_EQ(checkRecovery(folder.file("movie.avi.001"), false, stop, report).outcome,
            JobOutcome::Done);
  EXPECT_TRUE(report.usable && report.damaged.empty()) << report.summary;
}
#endif

// Stops the job at the `at`-th read of a file named `name`, and counts the reads after it.
struct StopAtRead : platform::FaultInjector {
  std::string name;
  int at = 0;
  StopToken* stop = nullptr;
  int reads = 0, after = 0;
  StopAtRead() { platform::setFaultInjector(this); }
  ~StopAtRead() override { platform::setFaultInjector(nullptr); }
  int before(platform::FileOp op, const std::string& path) override {
    if (op != platform::FileOp::Read || !path.ends_with(name)) return 0;
    if (stop->stopRequested()) ++after;
    if (++reads == at) stop->requestStop();
    return 0;
  }
};

// Each part's first bytes are read from the input before the copy, one read a part; a stop
// among them ends the split there, with nothing written.
TEST_F(SplitTest, AStopWhileThePartsFirstBytesAreReadEndsTheSplit) {
  TempDir folder;
  options.folder = folder.path();
  options.recoveryAmount = {1, 0};
  const std::string path = folder.file("movie.avi");
  testing_support::writeFile(path, testing_support::makeBytes(200 * 100, 3));
  JobResult result;
  int after = 0;
  {
    StopAtRead reads;
    reads.name = "movie.avi";
    reads.at = 5;
    reads.stop = &stop;
    result = SplitFile({path, 200, "t"}, options, sink, stop, nullptr);
    after = reads.after;
  }
  EXPECT_EQ(result.outcome, JobOutcome::Stopped) << result.message();
  EXPECT_EQ(after, 0);
  EXPECT_EQ(testing_support::listFolder(folder.path()), (std::vector<std::string>{"movie.avi"}));
}

TEST_F(SplitTest, CompressedPartsLeaveOnlyArchives) {
  options.compress = true;
  options.removeInput = true;
  CopyArchiver archiver;
  const std::string path = input(1000);
  ASSERT_EQ(split(path, 2, &archiver).outcome, JobOutcome::Done);
  EXPECT_EQ(testing_support::listFolder(dir.path()),
            (std::vector<std::string>{"movie.avi.001.zip", "movie.avi.002.zip"}));
}

TEST_F(SplitTest, AFailedArchiveKeepsThePartAndTheInput) {
  options.compress = true;
  options.removeInput = true;
  CopyArchiver archiver;
  archiver.failFor = {""};  // every part
  archiver.failure = "the disk is full";
  archiver.leaveHalf = false;
  const std::string path = input(1000);
  const JobResult result = split(path, 2, &archiver);
  EXPECT_EQ(result.outcome, JobOutcome::Done);
  ASSERT_EQ(result.warnings.size(), 3u);  // two parts kept, input kept
  EXPECT_NE(result.warnings[0].find("the disk is full"), std::string::npos);
  EXPECT_TRUE(testing_support::exists(path));
  EXPECT_EQ(testing_support::sizeOf(dir.file("movie.avi.001")), 500);
}

TEST(JoinScript, ListsGrowWithEachPart) {
  JoinScript script;
  script.addPart("a.001", false, 7);
  script.addPart("a.002", true, 5);
  EXPECT_EQ(script.copyList(), "\"a.001\"+\"a.002\"");
  EXPECT_EQ(script.delList(), "\"a.001\" \"a.002\"");
  EXPECT_EQ(script.lines("a", "a.bin", true).back(),
            "if not errorlevel 1 for %%F in (\"a.bin\") do if \"%%~zF\"==\"12\" Del \"a.001\" "
            "\"a.002\" \"a.bat\"");
  script.clear();
  EXPECT_EQ(script.copyList(), "");
  script.addPart("a.001", true, 3);
  EXPECT_NE(script.lines("a", "a.bin", true).back().find("==\"3\""), std::string::npos);
}

}  // namespace
