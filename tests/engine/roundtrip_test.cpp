// Split then join gives back the input byte for byte, in every mode, through the
// library and through sundrix-cli.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/combine.h"
#include "engine/split.h"
#include "engine_fakes.h"
#include "support/temp_dir.h"
#include "zip/crc32.h"

using namespace engine;
using namespace engine_test;
using testing_support::TempDir;

namespace {

struct Mode {
  const char* name;
  SplitMode mode;
  int unit;
  std::int64_t value;
  std::size_t fileSize;
  bool bat;
};

class RoundTrip : public ::testing::TestWithParam<Mode> {};

TEST_P(RoundTrip, SplitThenJoinRestoresTheInput) {
  const Mode& m = GetParam();
  TempDir dir;
  const auto bytes = testing_support::makeBytes(m.fileSize, 99);
  testing_support::writeFile(dir.file("input.dat"), bytes);
  FakeSplitOptions split;
  split.folder = dir.path();
  split.splitMode = m.mode;
  split.unit = m.unit;
  split.withBat = m.bat;
  split.removeInput = true;
  RecordingSink sink;
  StopToken stop;
  ASSERT_EQ(SplitFile({dir.file("input.dat"), m.value, "t"}, split, sink, stop, nullptr).outcome,
            JobOutcome::Done);
  ASSERT_FALSE(testing_support::exists(dir.file("input.dat")));

  const std::string first = dir.file(m.bat ? "temp.001" : "input.dat.001");
  const CombineSelection selection = SelectFirstPart(first);
  FakeCombineOptions join;
  join.remove = true;
  const std::string output = dir.file("joined");
  ASSERT_EQ(CombineFiles({first, output, selection.combineCount}, join, sink, stop).outcome,
            JobOutcome::Done);
  EXPECT_EQ(testing_support::readFile(output), bytes);
  const auto left = testing_support::listFolder(dir.path());
  const std::vector<std::string> expected =
      m.bat ? std::vector<std::string>{"joined", "temp.bat"} : std::vector<std::string>{"joined"};
  EXPECT_EQ(left, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, RoundTrip,
    ::testing::Values(Mode{"ByNumber", SplitMode::ByNumber, 1, 7, 100'003, false},
                      Mode{"OnePart", SplitMode::ByNumber, 1, 1, 5000, false},
                      Mode{"MorePartsThanBytes", SplitMode::ByNumber, 1, 20, 10, false},
                      Mode{"Bytes", SplitMode::BySize, 0, 999, 10'000, false},
                      Mode{"Kilobytes", SplitMode::BySize, 1, 3, 10'240, false},
                      Mode{"Megabytes", SplitMode::BySize, 2, 1, 2'500'000, false},
                      Mode{"Gigabytes", SplitMode::BySize, 3, 1, 70'000, false},
                      Mode{"WithScript", SplitMode::ByNumber, 1, 4, 4097, true},
                      Mode{"OverNineHundredNinetyNine", SplitMode::BySize, 0, 3, 3100, false},
                      Mode{"EmptyInput", SplitMode::ByNumber, 1, 3, 0, false}),
    [](const ::testing::TestParamInfo<Mode>& row) { return std::string(row.param.name); });

std::string cli() {
  return SUNDRIX_CLI;
}

TEST(CliRoundTrip, ExitStatusesAndBytes) {
  TempDir dir;
  const auto bytes = testing_support::makeBytes(300'000, 5);
  testing_support::writeFile(dir.file("a b.bin"), bytes);
  const std::string in = "'" + dir.file("a b.bin") + "'";
  EXPECT_EQ(testing_support::runCommand(cli() + " split " + in + " --size 100K 2>&1"), 0);
  EXPECT_EQ(testing_support::sizeOf(dir.file("a b.bin.003")), 300'000 - 2 * 102'400);
  EXPECT_EQ(testing_support::runCommand(cli() + " join '" + dir.file("a b.bin.001") + "' --out '" +
                                        dir.file("joined") + "' 2>&1"),
            0);
  EXPECT_EQ(testing_support::readFile(dir.file("joined")), bytes);
  EXPECT_TRUE(testing_support::exists(dir.file("a b.bin.001")));  // parts kept unless asked
  EXPECT_EQ(testing_support::runCommand(cli() + " split " + in + " --parts 0 2>&1"), 2);
  EXPECT_EQ(testing_support::runCommand(cli() + " split " + in + " --parts x 2>&1"), 2);
  EXPECT_EQ(testing_support::runCommand(cli() + " split " + in + " 2>&1"), 2);
  EXPECT_EQ(testing_support::runCommand(cli() + " split '" + dir.file("none") + "' --parts 2 2>&1"),
            1);
  std::string out;
  EXPECT_EQ(testing_support::runCommand(cli() + " join '" + dir.file("none.001") + "' 2>&1", &out),
            1);
  EXPECT_NE(out.find("none.001"), std::string::npos);
  EXPECT_EQ(testing_support::runCommand(cli() + " split --help", &out), 0);
}

// A sparse file past 4 GiB with a few marked blocks: what it must read back as.
constexpr std::int64_t kBigSize = 5'000'000'000;
const std::int64_t kMarks[] = {0, 2'147'483'000, 4'294'967'000, kBigSize - 4096};

std::uint8_t expectedByte(std::int64_t at, const std::vector<std::uint8_t>& mark) {
  for (std::int64_t m : kMarks) {
    if (at >= m && at < m + 4096) return mark[static_cast<std::size_t>(at - m)];
  }
  return 0;
}

// Compares every data extent of the file with the expectation; holes read as zeros by
// definition, so only the size and the extents need checking.
void expectSparseContent(const std::string& path, const std::vector<std::uint8_t>& mark) {
  ASSERT_EQ(testing_support::sizeOf(path), kBigSize);
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  std::vector<std::uint8_t> buffer(1 << 20);
  off_t pos = 0;
  std::int64_t checked = 0;
  while (true) {
    const off_t data = ::lseek(fd, pos, SEEK_DATA);
    if (data < 0) break;
    const off_t hole = ::lseek(fd, data, SEEK_HOLE);
    for (off_t at = data; at < hole;) {
      const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), at);
      ASSERT_GT(got, 0);
      for (ssize_t i = 0; i < got; ++i) {
        ASSERT_EQ(buffer[static_cast<std::size_t>(i)], expectedByte(at + i, mark))
            << "at " << at + i;
      }
      at += got;
      checked += got;
    }
    pos = hole;
  }
  ::close(fd);
  EXPECT_GE(checked, 4 * 4096);
  EXPECT_LT(checked, 64 * 1024 * 1024) << "the joined file should stay sparse";
}

// Cut into 2 GiB parts: sizes beyond 32 bits all the way.
TEST(LargeRoundTrip, SparseFilePastFourGiB) {
  TempDir dir;
  const std::string path = dir.file("big.img");
  const auto mark = testing_support::makeBytes(4096, 3);
  {
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    for (std::int64_t at : kMarks) ASSERT_EQ(::pwrite(fd, mark.data(), mark.size(), at), 4096);
    ::close(fd);
  }
  // Without the checksum file: hashing 5 GB of zeros twice would cost seconds here.
  const std::string command =
      cli() + " split '" + path + "' --size 2G --delete-input --no-checksum 2>&1";
  ASSERT_EQ(testing_support::runCommand(command), 0);
  EXPECT_FALSE(testing_support::exists(path));
  EXPECT_EQ(testing_support::sizeOf(dir.file("big.img.001")), 2'147'483'648);
  EXPECT_EQ(testing_support::sizeOf(dir.file("big.img.002")), 2'147'483'648);
  EXPECT_EQ(testing_support::sizeOf(dir.file("big.img.003")), 705'032'704);
  ASSERT_EQ(testing_support::runCommand(cli() + " join '" + dir.file("big.img.001") +
                                        "' --delete-parts 2>&1"),
            0);
  expectSparseContent(path, mark);
  EXPECT_EQ(testing_support::listFolder(dir.path()), std::vector<std::string>{"big.img"});
}

}  // namespace
