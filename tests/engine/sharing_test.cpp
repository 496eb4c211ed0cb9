// Splits and joins on filesystems whose files can share blocks: the same bytes as
// everywhere else, with the aligned ranges shared instead of copied. Each filesystem is a
// small image mounted through a loop device, which needs root and the filesystem's mkfs;
// without them the tests are skipped and say why.
#include <gtest/gtest.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <fcntl.h>

#include <memory>

#include "engine/combine.h"
#include "engine/split.h"
#include "engine_fakes.h"
#include "support/temp_dir.h"

using namespace engine;
using namespace engine_test;
using testing_support::TempDir;

namespace {

// A filesystem image mounted in a temporary folder for the life of the object.
class MountedImage {
 public:
  MountedImage(const std::string& type, std::int64_t megabytes) {
    if (::geteuid() != 0) {
      m_problem = "mounting an image needs root";
      return;
    }
    const std::string mkfs = type == "xfs" ? "mkfs.xfs -q -f -m reflink=1" : "mkfs.btrfs -q -f";
    const std::string image = m_dir.file("image");
    m_mount = m_dir.file("mnt/");
    std::string out;
    if (testing_support::runCommand("truncate -s " + std::to_string(megabytes) + "M " + image +
                                        " && " + mkfs + " " + image + " 2>&1",
                                    &out) != 0) {
      m_problem = "cannot make a " + type + " image (is its mkfs installed?): " + out;
      return;
    }
    if (testing_support::runCommand("mkdir " + m_mount + " && mount -o loop " + image + " " +
                                        m_mount + " 2>&1",
                                    &out) != 0) {
      m_problem = "cannot mount a " + type + " image here: " + out;
      return;
    }
    m_mounted = true;
  }
  ~MountedImage() {
    if (m_mounted) testing_support::runCommand("umount " + m_mount);
  }
  const std::string& problem() const { return m_problem; }
  std::string file(const std::string& name) const { return m_mount + name; }
  const std::string& path() const { return m_mount; }

 private:
  TempDir m_dir;
  std::string m_mount;
  std::string m_problem;
  bool m_mounted = false;
};

// The bytes of a file whose blocks are shared with another file.
std::int64_t sharedBytes(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  constexpr std::size_t kExtents = 256;
  std::vector<char> buffer(sizeof(fiemap) + kExtents * sizeof(fiemap_extent));
  auto* map = reinterpret_cast<fiemap*>(buffer.data());
  map->fm_start = 0;
  map->fm_length = FIEMAP_MAX_OFFSET;
  map->fm_flags = FIEMAP_FLAG_SYNC;
  map->fm_extent_count = kExtents;
  std::int64_t shared = -1;
  if (::ioctl(fd, FS_IOC_FIEMAP, map) == 0) {
    shared = 0;
    for (std::uint32_t i = 0; i < map->fm_mapped_extents; ++i) {
      if ((map->fm_extents[i].fe_flags & FIEMAP_EXTENT_SHARED) != 0) {
        shared += static_cast<std::int64_t>(map->fm_extents[i].fe_length);
      }
    }
  }
  ::close(fd);
  return std::min(shared, testing_support::sizeOf(path));
}

std::vector<std::uint8_t> slice(const std::vector<std::uint8_t>& bytes, std::int64_t from,
                                std::int64_t n) {
  return {bytes.begin() + from, bytes.begin() + from + n};
}

class Sharing : public ::testing::TestWithParam<const char*> {
 public:
  void SetUp() override {
    fs = std::make_unique<MountedImage>(GetParam(), std::string(GetParam()) == "xfs" ? 320 : 160);
    if (!fs->problem().empty()) GTEST_SKIP() << fs->problem();
    options.folder = fs->path();
  }
  JobResult split(std::int64_t value) {
    return SplitFile({fs->file("in.bin"), value, "t"}, options, sink, stop, nullptr);
  }
  JobResult join(const std::string& output) {
    const std::string first = fs->file("in.bin.001");
    return CombineFiles({first, output, SelectFirstPart(first).combineCount}, joinOptions, sink,
                        stop);
  }

  std::unique_ptr<MountedImage> fs;
  FakeSplitOptions options;
  FakeCombineOptions joinOptions;
  RecordingSink sink;
  StopToken stop;
};

constexpr std::int64_t kMiB = 1024 * 1024;

// Parts of whole blocks share every block, the last one too (it ends where the input
// ends), with or without the checksum file, and so does their join. Parts of a count
// start inside blocks: only the first shares its whole blocks. The bytes are always those
// of a copy.
TEST_P(Sharing, PartsAndJoinsShareWhatIsAligned) {
  struct Row {
    const char* what;
    SplitMode mode;
    std::int64_t value;
    std::size_t size;
    bool checksum;
  };
  const Row rows[] = {
      {"1 Mb parts", SplitMode::BySize, 1, 3 * kMiB + 100'000, false},
      {"1 Mb parts, checksum file", SplitMode::BySize, 1, 3 * kMiB + 100'000, true},
      {"3 parts, checksum file", SplitMode::ByNumber, 3, 3 * kMiB + 1, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    testing_support::runCommand("rm -f " + fs->path() + "*");
    const std::vector<std::uint8_t> bytes = testing_support::makeBytes(row.size, 7);
    testing_support::writeFile(fs->file("in.bin"), bytes);
    options.splitMode = row.mode;
    options.unit = 2;  // Mb
    options.checksum = row.checksum;
    ASSERT_EQ(split(row.value).outcome, JobOutcome::Done);
    const bool bySize = row.mode == SplitMode::BySize;
    const std::int64_t total = static_cast<std::int64_t>(bytes.size());
    const std::int64_t partSize = bySize ? kMiB : total / 3;
    const int count = bySize ? 4 : 3;
    for (int k = 1; k <= count; ++k) {
      const std::string part = fs->file("in.bin.00" + std::to_string(k));
      const std::int64_t from = (k - 1) * partSize;
      const std::int64_t size = k < count ? partSize : total - from;
      EXPECT_EQ(testing_support::readFile(part), slice(bytes, from, size)) << part;
      if (bySize) {
        EXPECT_EQ(sharedBytes(part), size) << part;
      }
    }
    if (!bySize) {
      EXPECT_GE(sharedBytes(fs->file("in.bin.001")), partSize - 4096);
    }
    const JobResult joined = join(fs->file("joined.bin"));
    ASSERT_EQ(joined.outcome, JobOutcome::Done) << joined.reason;
    EXPECT_EQ(joined.summary.starts_with("Verified"), row.checksum) << joined.summary;
    EXPECT_EQ(testing_support::readFile(fs->file("joined.bin")), bytes);
    if (bySize) {
      EXPECT_EQ(sharedBytes(fs->file("joined.bin")), total);
    }
  }
}

// Parts that share the input's blocks need no room of their own: a split and a join on a
// filesystem with less free space than the input are not refused for lack of it.
TEST_P(Sharing, SharedPartsNeedNoRoom) {
  const std::vector<std::uint8_t> bytes = testing_support::makeBytes(24 * kMiB, 9);
  testing_support::writeFile(fs->file("in.bin"), bytes);
  // Filled up to a little more than half the input's size (btrfs tells its free space
  // only roughly, so in steps).
  testing_support::runCommand("sync -f " + fs->path());
  for (int step = 0; step < 100 && platform::freeSpace(fs->path()) > 16 * kMiB; ++step) {
    const std::int64_t fill = (platform::freeSpace(fs->path()) - 14 * kMiB) / 2 + kMiB;
    if (testing_support::runCommand("fallocate -l " + std::to_string(fill) + " " +
                                    fs->file("filler" + std::to_string(step)) + " && sync -f " +
                                    fs->path()) != 0) {
      break;
    }
  }
  ASSERT_LT(platform::freeSpace(fs->path()), static_cast<std::int64_t>(bytes.size()));
  options.splitMode = SplitMode::BySize;
  options.unit = 2;
  options.checksum = true;
  const JobResult made = split(4);
  ASSERT_EQ(made.outcome, JobOutcome::Done) << made.reason;
  const JobResult joined = join(fs->file("joined.bin"));
  ASSERT_EQ(joined.outcome, JobOutcome::Done) << joined.reason;
  EXPECT_EQ(testing_support::readFile(fs->file("joined.bin")), bytes);
}

// Shared bytes are read for the digests after they were shared: a file written to in
// between would leave the digests of other bytes than the output holds, so the run fails.
TEST_P(Sharing, ASourceWrittenWhileItIsSharedFailsTheRun) {
  struct Sink : RecordingSink {
    std::string victim;
    void publish(const Progress& p) override {
      RecordingSink::publish(p);
      if (updates.size() != 10) return;
      const int fd = ::open(victim.c_str(), O_WRONLY | O_CLOEXEC);
      ASSERT_EQ(::pwrite(fd, "!", 1, 0), 1);
      ::close(fd);
    }
  };
  options.splitMode = SplitMode::BySize;
  options.unit = 2;
  options.checksum = true;
  for (const char* victim : {"in.bin", "in.bin.001"}) {
    SCOPED_TRACE(victim);
    testing_support::writeFile(fs->file("in.bin"), testing_support::makeBytes(2 * kMiB, 10));
    ASSERT_EQ(split(1).outcome, JobOutcome::Done);
    Sink writer;
    writer.victim = fs->file(victim);
    const bool splitting = victim == std::string("in.bin");
    const JobResult result =
        splitting ? SplitFile({fs->file("in.bin"), 1, "t"}, options, writer, stop, nullptr)
                  : CombineFiles({fs->file("in.bin.001"), fs->file("joined.bin"), 2}, joinOptions,
                                 writer, stop);
    EXPECT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_NE(result.reason.find(fs->file(victim) + ": it changed while it was copied"),
              std::string::npos)
        << result.reason;
  }
}

// A stop during the reading of shared bytes ends the split there, like any other copy.
TEST_P(Sharing, AStopDuringASharedPartKeepsTheInput) {
  options.splitMode = SplitMode::BySize;
  options.unit = 2;
  options.checksum = true;
  options.removeInput = true;
  testing_support::writeFile(fs->file("in.bin"), testing_support::makeBytes(2 * kMiB, 11));
  sink.stop = &stop;
  sink.stopAfter = 150;  // half-way through the second part
  EXPECT_EQ(split(1).outcome, JobOutcome::Stopped);
  EXPECT_EQ(sink.updates.size(), 150u);
  EXPECT_TRUE(testing_support::exists(fs->file("in.bin")));
}

INSTANTIATE_TEST_SUITE_P(Filesystems, Sharing, ::testing::Values("btrfs", "xfs"),
                         [](const auto& param) { return std::string(param.param); });

}  // namespace
