// The join: counting at selection, order, deletion, refusals, faults.
#include "engine/combine.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "engine/part_names.h"
#include "engine_fakes.h"
#include "support/temp_dir.h"

using namespace engine;
using namespace engine_test;
using testing_support::TempDir;

namespace {

class CombineTest : public ::testing::Test {
 protected:
  TempDir dir;
  FakeCombineOptions options;
  RecordingSink sink;
  StopToken stop;
  std::vector<std::vector<std::uint8_t>> parts;

  // Writes movie.avi.001 .. with the given sizes.
  void makeParts(std::initializer_list<std::size_t> sizes, const std::string& base = "movie.avi") {
    std::uint32_t seed = 1;
    for (std::size_t size : sizes) {
      parts.push_back(testing_support::makeBytes(size, seed));
      char suffix[16];
      std::snprintf(suffix, sizeof suffix, ".%03u", seed);
      testing_support::writeFile(dir.file(base + suffix), parts.back());
      ++seed;
    }
  }
  JobResult combine(const std::string& first, const std::string& output) {
    const CombineSelection selection = SelectFirstPart(first);
    return CombineFiles({first, output, selection.combineCount}, options, sink, stop);
  }
  std::vector<std::uint8_t> joined(std::initializer_list<std::size_t> indices) {
    std::vector<std::uint8_t> all;
    for (std::size_t i : indices) all.insert(all.end(), parts[i].begin(), parts[i].end());
    return all;
  }
};

TEST_F(CombineTest, SelectionProposesTheNameAndCountsTheParts) {
  makeParts({10, 10, 10});
  for (const char* chosen : {"movie.avi.001", "movie.avi.002"}) {
    SCOPED_TRACE(chosen);
    const CombineSelection s = SelectFirstPart(dir.file(chosen));
    EXPECT_EQ(s.folder, dir.path());
    EXPECT_EQ(s.firstName, chosen);
    EXPECT_EQ(s.outputName, "movie.avi");
    EXPECT_EQ(s.combineCount, 4);
  }
  EXPECT_EQ(SelectFirstPart(dir.file("README")).outputName, "");
  EXPECT_EQ(SelectFirstPart(dir.file("movie.avi.009")).combineCount, 1);
}

TEST_F(CombineTest, JoinsInNumberOrderWithTheExactProgressTexts) {
  makeParts({3'333'333, 3'333'333, 3'333'334});
  const JobResult result = combine(dir.file("movie.avi.001"), dir.file("out.avi"));
  ASSERT_EQ(result.outcome, JobOutcome::Done) << result.message();
  EXPECT_EQ(testing_support::readFile(dir.file("out.avi")), joined({0, 1, 2}));
  ASSERT_EQ(sink.updates.size(), 300u);
  EXPECT_EQ(sink.updates[149].status, " 1627 Kb / 3255 Kb - movie.avi.002");
  EXPECT_EQ(sink.updates[149].title, "2 - 49% - movie.avi.002");
  EXPECT_EQ(sink.updates[100].gauge, 0);  // the gauge restarts for every part
  EXPECT_EQ(sink.updates[299].gauge, 100);
  EXPECT_TRUE(testing_support::exists(dir.file("movie.avi.001")));
}

TEST_F(CombineTest, EmptyPartsAddNothing) {
  makeParts({0, 50, 0});
  ASSERT_EQ(combine(dir.file("movie.avi.001"), dir.file("out")).outcome, JobOutcome::Done);
  EXPECT_EQ(testing_support::readFile(dir.file("out")), joined({1}));
}

TEST_F(CombineTest, DeletesEachPartAfterItIsCopied) {
  options.remove = true;
  makeParts({100, 200});
  ASSERT_EQ(combine(dir.file("movie.avi.001"), dir.file("out")).outcome, JobOutcome::Done);
  EXPECT_EQ(testing_support::listFolder(dir.path()), std::vector<std::string>{"out"});
  EXPECT_EQ(testing_support::sizeOf(dir.file("out")), 300);
}

TEST_F(CombineTest, StopDuringPartTwoKeepsWhatIsNotCopied) {
  options.remove = true;
  makeParts({10'000, 10'000, 10'000});
  sink.stop = &stop;
  sink.stopAfter = 150;
  EXPECT_EQ(combine(dir.file("movie.avi.001"), dir.file("out")).outcome, JobOutcome::Stopped);
  EXPECT_FALSE(testing_support::exists(dir.file("movie.avi.001")));
  EXPECT_TRUE(testing_support::exists(dir.file("movie.avi.002")));
  EXPECT_TRUE(testing_support::exists(dir.file("movie.avi.003")));
  // Nothing unfinished takes the output's name; its bytes wait beside it, with the journal.
  EXPECT_FALSE(testing_support::exists(dir.file("out")));
  // Bytes move in chunks, not blocks: the file holds at most the chunk under way.
  EXPECT_GE(testing_support::sizeOf(dir.file(".out.sundrix-join")), 15'000);
  EXPECT_LE(testing_support::sizeOf(dir.file(".out.sundrix-join")), 20'000);
  // The same join again continues exactly where the deleted part's bytes end.
  stop.reset();
  sink.stop = nullptr;
  ASSERT_EQ(combine(dir.file("movie.avi.001"), dir.file("out")).outcome, JobOutcome::Done);
  EXPECT_EQ(testing_support::readFile(dir.file("out")), joined({0, 1, 2}));
  EXPECT_EQ(testing_support::listFolder(dir.path()), std::vector<std::string>{"out"});
}

TEST_F(CombineTest, RefusalsWriteNothing) {
  makeParts({100, 100});
  testing_support::writeText(dir.file("precious"), "keep me");
  struct Row {
    const char* what;
    std::string first, output;
  };
  const Row rows[] = {
      {"output is a part", dir.file("movie.avi.001"), dir.file("movie.avi.002")},
      {"output is a part by another spelling", dir.file("movie.avi.001"),
       dir.path() + "./movie.avi.001"},
      {"empty output name", dir.file("movie.avi.001"), dir.path()},
      {"no part exists", dir.file("precious.001"), dir.file("precious")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const JobResult result = combine(row.first, row.output);
    EXPECT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_FALSE(result.reason.empty());
  }
  EXPECT_EQ(testing_support::readText(dir.file("precious")), "keep me");
  EXPECT_EQ(testing_support::sizeOf(dir.file("movie.avi.001")), 100);
  EXPECT_EQ(testing_support::sizeOf(dir.file("movie.avi.002")), 100);
}

TEST_F(CombineTest, AJoinAgainAfterAnUnfinishedOneKeepsItsOutput) {
  options.remove = true;
  makeParts({10'000, 10'000, 10'000});
  sink.stop = &stop;
  sink.stopAfter = 150;
  ASSERT_EQ(combine(dir.file("movie.avi.001"), dir.file("movie.avi")).outcome, JobOutcome::Stopped);
  ASSERT_FALSE(testing_support::exists(dir.file("movie.avi.001")));
  stop.reset();
  sink.stop = nullptr;
  // Chosen again, by the part that is left: part 1's bytes live only in the journal's file,
  // and the join continues from there.
  const JobResult again = combine(dir.file("movie.avi.002"), dir.file("movie.avi"));
  ASSERT_EQ(again.outcome, JobOutcome::Done) << again.message();
  EXPECT_EQ(testing_support::readFile(dir.file("movie.avi")), joined({0, 1, 2}));
  EXPECT_EQ(testing_support::listFolder(dir.path()), std::vector<std::string>{"movie.avi"});
}

TEST_F(CombineTest, AStopAfterAPartsLastBlockKeepsThePart) {
  options.remove = true;
  makeParts({1000, 1000});
  sink.stop = &stop;
  sink.stopAfter = 200;
  EXPECT_EQ(combine(dir.file("movie.avi.001"), dir.file("out")).outcome, JobOutcome::Stopped);
  EXPECT_FALSE(testing_support::exists(dir.file("movie.avi.001")));
  EXPECT_TRUE(testing_support::exists(dir.file("movie.avi.002")));
}

TEST_F(CombineTest, RefusesWhenTheJoinedFileCannotFit) {
  makeParts({30'000, 30'000, 10'000});
  {
    TightDisk disk(69'999);
    const JobResult result = combine(dir.file("movie.avi.001"), dir.file("out"));
    ASSERT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_NE(result.reason.find("needs 70000 bytes, 69999 are free"), std::string::npos)
        << result.reason;
    EXPECT_FALSE(testing_support::exists(dir.file("out")));
  }
  // Parts deleted on the way free their room: the largest part is all that must fit.
  options.remove = true;
  TightDisk disk(30'000);
  EXPECT_EQ(combine(dir.file("movie.avi.001"), dir.file("out")).outcome, JobOutcome::Done);
  EXPECT_EQ(testing_support::sizeOf(dir.file("out")), 70'000);
}

TEST_F(CombineTest, AWriteFailureStopsTheJoinAndDeletesNothingMore) {
  options.remove = true;
  makeParts({1000, 1000, 1000});
  // The output's writes: one per part this small; the one of part 2 fails.
  {
    FailNth fault(platform::FileOp::Write, 2, osCode(platform::ErrorKind::DiskFull),
                  ".out.sundrix-join");
    const JobResult result = combine(dir.file("movie.avi.001"), dir.file("out"));
    ASSERT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_NE(result.reason.find("out.sundrix-join: " + systemText(platform::ErrorKind::DiskFull)),
              std::string::npos)
        << result.reason;
  }
  EXPECT_FALSE(testing_support::exists(dir.file("movie.avi.001")));
  EXPECT_TRUE(testing_support::exists(dir.file("movie.avi.002")));
  EXPECT_TRUE(testing_support::exists(dir.file("movie.avi.003")));
  ASSERT_EQ(combine(dir.file("movie.avi.001"), dir.file("out")).outcome, JobOutcome::Done);
  EXPECT_EQ(testing_support::readFile(dir.file("out")), joined({0, 1, 2}));
}

TEST_F(CombineTest, AFailedFlushKeepsThePart) {
  options.remove = true;
  makeParts({1000, 1000});
  FailNth fault(platform::FileOp::Sync, 1, EIO);
  const JobResult result = combine(dir.file("movie.avi.001"), dir.file("out"));
  EXPECT_EQ(result.outcome, JobOutcome::Done);
  ASSERT_EQ(result.warnings.size(), 1u);
  EXPECT_NE(result.warnings[0].find("movie.avi.001 was kept"), std::string::npos);
  EXPECT_TRUE(testing_support::exists(dir.file("movie.avi.001")));
  EXPECT_FALSE(testing_support::exists(dir.file("movie.avi.002")));
}

TEST(PartNames, ANumberIsReadOnlyFromTheNameThatPartFileNameWrites) {
  const struct {
    const char* name;
    std::int64_t number;
  } rows[] = {
      {"a.bin.001", 1},   {"a.bin.999", 999},         {"a.bin.1000", 1000},
      {"a.bin.000", 0},   {"a.bin.01", 0},            {"a.bin.0001", 0},
      {"a.bin.0999", 0},  {"a.bin.2147483647", 2147483647}, {"a.bin.99999999999", 0},
      {"a.bin.00a", 0},   {"a.bin.-01", 0},           {"a.bin.", 0},
      {"a.binx001", 0},   {"b.bin.001", 0},           {"a.bin.001.zip", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(partNumberOf(row.name, "a.bin.000"), row.number);
    if (row.number > 0) {
      EXPECT_EQ(partFileName("a.bin.000", row.number), row.name);
    }
  }
  // At least three digits, zeros in front to make them up.
  EXPECT_EQ(partFileName("a.bin.000", 0), "a.bin.000");
  EXPECT_EQ(partFileName("a.bin.000", 42), "a.bin.042");
  EXPECT_EQ(partFileName("a.bin.000", 12345), "a.bin.12345");
  EXPECT_EQ(partFileName("a", 7), "a.007");
}

TEST_F(CombineTest, NumbersPastNineHundredNinetyNine) {
  for (int i = 1; i <= 1001; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "a.bin.%03d", i);
    testing_support::writeText(dir.file(name), std::string(1, static_cast<char>('a' + i % 26)));
  }
  const CombineSelection s = SelectFirstPart(dir.file("a.bin.001"));
  EXPECT_EQ(s.combineCount, 1002);
  ASSERT_EQ(combine(dir.file("a.bin.001"), dir.file("a.bin")).outcome, JobOutcome::Done);
  const std::string text = testing_support::readText(dir.file("a.bin"));
  ASSERT_EQ(text.size(), 1001u);
  EXPECT_EQ(text[999], static_cast<char>('a' + 1000 % 26));
}

}  // namespace
