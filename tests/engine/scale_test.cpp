// Splits of many parts and parts packed side by side: the progress steps are those of
// 100 blocks per part whatever moves the bytes, and packing on several threads gives the
// archives, warnings and kept files of packing one part at a time.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "engine/split.h"
#include "engine/zip_part_archiver.h"
#include "engine_fakes.h"
#include "support/temp_dir.h"
#include "zip/zip_events.h"

using namespace engine;
using namespace engine_test;
using testing_support::TempDir;

namespace {

// The updates a split must publish: each part in 100 blocks of size / 100 bytes, the
// last taking the remainder, one update after every block.
std::vector<Progress> blockModel(std::int64_t fileSize, std::int64_t partSize,
                                 std::int64_t partCount) {
  std::vector<Progress> model;
  std::int64_t done = 0;
  for (std::int64_t part = 1; part <= partCount; ++part) {
    const std::int64_t size = part == partCount ? fileSize - (partCount - 1) * partSize : partSize;
    for (int block = 1; block <= 100; ++block) {
      done += block == 100 ? size - 99 * (size / 100) : size / 100;
      Progress p;
      p.part = static_cast<int>(part);
      p.gauge = fileSize == 0 ? 100 : static_cast<int>(done * 100 / fileSize);
      p.status = " " + std::to_string(done / 1024) + " Kb / " + std::to_string(fileSize / 1024) +
                 " Kb";
      p.title = std::to_string(part) + " - " + std::to_string(p.gauge) + "% - t";
      model.push_back(p);
    }
  }
  return model;
}

TEST(ManyParts, ProgressIsThatOfOneHundredBlocksPerPart) {
  struct Row {
    const char* what;
    std::int64_t fileSize, value;
    SplitMode mode;
    int unit;
    bool checksum;
    std::int64_t partSize, partCount;
  };
  const Row rows[] = {
      {"1 KiB parts, checksum", 50'000, 1, SplitMode::BySize, 1, true, 1024, 49},
      {"1 KiB parts, kernel copy", 50'000, 1, SplitMode::BySize, 1, false, 1024, 49},
      {"parts under 100 bytes", 1'000, 70, SplitMode::BySize, 0, true, 70, 15},
      {"parts of megabytes", 20'000'003, 3, SplitMode::ByNumber, 1, true, 6'666'667, 3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    FakeSplitOptions options;
    options.folder = dir.path();
    options.splitMode = row.mode;
    options.unit = row.unit;
    options.checksum = row.checksum;
    RecordingSink sink;
    StopToken stop;
    const auto bytes = testing_support::makeBytes(static_cast<std::size_t>(row.fileSize), 9);
    testing_support::writeFile(dir.file("f.bin"), bytes);
    const JobResult result =
        SplitFile({dir.file("f.bin"), row.value, "t"}, options, sink, stop, nullptr);
    ASSERT_EQ(result.outcome, JobOutcome::Done) << result.message();
    const std::vector<Progress> model = blockModel(row.fileSize, row.partSize, row.partCount);
    ASSERT_EQ(sink.updates.size(), model.size());
    for (std::size_t i = 0; i < model.size(); ++i) {
      ASSERT_EQ(sink.updates[i].part, model[i].part) << "update " << i;
      ASSERT_EQ(sink.updates[i].gauge, model[i].gauge) << "update " << i;
      ASSERT_EQ(sink.updates[i].status, model[i].status) << "update " << i;
      ASSERT_EQ(sink.updates[i].title, model[i].title) << "update " << i;
    }
    std::vector<std::uint8_t> joined;
    for (std::int64_t k = 1; k <= row.partCount; ++k) {
      char name[32];
      std::snprintf(name, sizeof name, "f.bin.%03lld", static_cast<long long>(k));
      const auto part = testing_support::readFile(dir.file(name));
      joined.insert(joined.end(), part.begin(), part.end());
    }
    EXPECT_EQ(joined, bytes);
  }
}

// Packs by copying, on several threads at once; later parts finish first, and the parts
// named in `failing` fail, each with a warning box of its own.
struct RacingArchiver : PartArchiver {
  std::vector<std::string> failing;
  int delayMs = 30;
  std::function<void(int part)> packed;  // called as each pack ends, on its thread
  bool concurrent() const override { return true; }
  bool archive(const std::string& part, const std::string& archivePath,
               std::string& problem) override {
    std::vector<std::string> boxes;
    const bool ok = archiveDeferred(part, archivePath, problem, boxes);
    for (const std::string& box : boxes) zip::showWarningBox(box);
    return ok;
  }
  bool archiveDeferred(const std::string& part, const std::string& archivePath,
                       std::string& problem, std::vector<std::string>& boxes) override {
    const char last = part.back();
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs * ('9' - last)));
    boxes.push_back("box " + part.substr(part.size() - 3));
    for (const std::string& name : failing) {
      if (part.ends_with(name)) {
        problem = "the disk is full";
        return false;
      }
    }
    testing_support::writeFile(archivePath, testing_support::readFile(part));
    if (packed) packed(part.back() - '0');
    return true;
  }
};

// Updates that the packing threads may look at while the split publishes.
struct LockedSink : ProgressSink {
  std::mutex mutex;
  std::vector<Progress> updates;
  void publish(const Progress& p) override {
    std::lock_guard<std::mutex> lock(mutex);
    updates.push_back(p);
  }
  int newestPart() {
    std::lock_guard<std::mutex> lock(mutex);
    return updates.empty() ? 0 : updates.back().part;
  }
};

// Asks for a stop when the file whose name ends in `suffix` is created.
struct StopAtCreate : platform::FaultInjector {
  std::string suffix;
  StopToken* stop = nullptr;
  int before(platform::FileOp op, const std::string& path) override {
    if (op == platform::FileOp::Create && path.ends_with(suffix)) stop->requestStop();
    return 0;
  }
};

class ParallelPacking : public ::testing::Test {
 protected:
  TempDir dir;
  FakeSplitOptions options;
  RecordingSink sink;
  StopToken stop;
  std::vector<std::string> boxes;

  void SetUp() override {
    options.folder = dir.path();
    options.compress = true;
    options.removeInput = true;
    options.checksum = true;
    zip::setWarningBox([this](const std::string& message) { boxes.push_back(message); });
  }
  void TearDown() override {
    zip::setWarningBox({});
    platform::setFaultInjector(nullptr);
  }
  JobResult split(const std::string& folder, std::size_t size, std::int64_t parts,
                  PartArchiver& archiver, unsigned threads, ProgressSink* to = nullptr) {
    options.folder = folder;
    testing_support::writeFile(folder + "f.bin", testing_support::makeBytes(size, 4));
    return SplitFile({folder + "f.bin", parts, "t", threads}, options, to ? *to : sink, stop,
                     &archiver);
  }
};

TEST_F(ParallelPacking, ArchivesAreThoseOfOnePartAtATime) {
  TempDir one, many;
  ZipPartArchiver archiver;
  ASSERT_EQ(split(one.path(), 3'000'000, 5, archiver, 1).outcome, JobOutcome::Done);
  ASSERT_EQ(split(many.path(), 3'000'000, 5, archiver, 4).outcome, JobOutcome::Done);
  EXPECT_EQ(testing_support::listFolder(one.path()), testing_support::listFolder(many.path()));
  for (const char* name : {"f.bin.001.zip", "f.bin.003.zip", "f.bin.005.zip"}) {
    SCOPED_TRACE(name);
    auto a = testing_support::readFile(one.file(name));
    auto b = testing_support::readFile(many.file(name));
    ASSERT_EQ(a.size(), b.size());
    // Only the parts' times may differ: the local header's at 10..13, the central
    // header's (found through the end record) at 12..15.
    for (auto* archive : {&a, &b}) {
      std::fill(archive->begin() + 10, archive->begin() + 14, 0);
      const std::size_t end = archive->size() - 22;
      const std::size_t central = (*archive)[end + 16] | (*archive)[end + 17] << 8 |
                                  (*archive)[end + 18] << 16 | (*archive)[end + 19] << 24;
      std::fill(archive->begin() + static_cast<long>(central) + 12,
                archive->begin() + static_cast<long>(central) + 16, 0);
    }
    EXPECT_EQ(a, b);
  }
}

TEST_F(ParallelPacking, WarningsComeInPartOrderAndAFailureKeepsTheInput) {
  RacingArchiver archiver;
  archiver.failing = {"f.bin.002", "f.bin.004"};
  const JobResult result = split(dir.path(), 50'000, 5, archiver, 3);
  ASSERT_EQ(result.outcome, JobOutcome::Done) << result.message();
  EXPECT_EQ(boxes, (std::vector<std::string>{"box 001", "box 002", "box 003", "box 004",
                                             "box 005"}));
  ASSERT_EQ(result.warnings.size(), 3u) << result.message();
  EXPECT_NE(result.warnings[0].find("f.bin.002 was kept unarchived"), std::string::npos);
  EXPECT_NE(result.warnings[1].find("f.bin.004 was kept unarchived"), std::string::npos);
  EXPECT_NE(result.warnings[2].find("was not deleted"), std::string::npos);
  EXPECT_TRUE(testing_support::exists(dir.file("f.bin")));
  EXPECT_EQ(testing_support::listFolder(dir.path()),
            (std::vector<std::string>{"f.bin", "f.bin.001.zip", "f.bin.002", "f.bin.003.zip",
                                      "f.bin.004", "f.bin.005.zip", "f.bin.sha256"}));
}

TEST_F(ParallelPacking, AStopWaitsForThePartsUnderWayAndKeepsTheInput) {
  RacingArchiver archiver;
  StopAtCreate stopAtPart3;  // as part 3 is cut, with parts 1 and 2 still being packed
  stopAtPart3.suffix = "f.bin.003";
  stopAtPart3.stop = &stop;
  platform::setFaultInjector(&stopAtPart3);
  const JobResult result = split(dir.path(), 500'000, 5, archiver, 3);
  EXPECT_EQ(result.outcome, JobOutcome::Stopped);
  EXPECT_EQ(boxes, (std::vector<std::string>{"box 001", "box 002"}));
  EXPECT_TRUE(testing_support::exists(dir.file("f.bin")));
  const auto input = testing_support::makeBytes(500'000, 4);
  EXPECT_EQ(testing_support::readFile(dir.file("f.bin.002.zip")),
            std::vector<std::uint8_t>(input.begin() + 100'000, input.begin() + 200'000));
  EXPECT_FALSE(testing_support::exists(dir.file("f.bin.001")));
  EXPECT_FALSE(testing_support::exists(dir.file("f.bin.002")));
  EXPECT_TRUE(testing_support::exists(dir.file("f.bin.002.zip")));
  EXPECT_FALSE(testing_support::exists(dir.file("f.bin.003.zip")));
  EXPECT_FALSE(testing_support::exists(dir.file("f.bin.004")));
}

// While a part is packed the user sees that part, however far the cutting has gone ahead:
// a later part shows once every earlier one is done, and then at once.
TEST_F(ParallelPacking, ProgressShowsEachPartUntilItIsPacked) {
  RacingArchiver archiver;  // later parts finish first
  LockedSink shown;
  std::mutex mutex;
  std::map<int, int> shownAtPackEnd;  // part packed -> part shown at that moment
  archiver.packed = [&](int part) {
    const int newest = shown.newestPart();
    std::lock_guard<std::mutex> lock(mutex);
    shownAtPackEnd[part] = newest;
  };
  ASSERT_EQ(split(dir.path(), 500'000, 5, archiver, 3, &shown).outcome, JobOutcome::Done);
  ASSERT_EQ(shownAtPackEnd.size(), 5u);
  EXPECT_EQ(shownAtPackEnd[1], 1);  // packed last of the first three, cut long before
  for (const auto& [part, newest] : shownAtPackEnd) EXPECT_LE(newest, part) << "part " << part;
  // Every part's last update, in part order.
  std::vector<std::string> partEnds;
  for (std::size_t i = 0; i < shown.updates.size(); ++i) {
    if (i > 0) {
      ASSERT_GE(shown.updates[i].part, shown.updates[i - 1].part) << "update " << i;
    }
    if (i + 1 == shown.updates.size() || shown.updates[i + 1].part != shown.updates[i].part)
      partEnds.push_back(shown.updates[i].title);
  }
  EXPECT_EQ(partEnds, (std::vector<std::string>{"1 - 20% - t", "2 - 40% - t", "3 - 60% - t",
                                                "4 - 80% - t", "5 - 100% - t"}));
}

}  // namespace
