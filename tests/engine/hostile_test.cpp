// The split and the join under hostile conditions: links at the names they write, a
// second run in the same folder, gaps and strangers among the parts, leftovers of an
// earlier split, an input that changes at the last moment, failures in the middle.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "engine/combine.h"
#include "engine/split.h"
#include "engine_fakes.h"
#include "platform/file.h"
#include "support/temp_dir.h"

using namespace engine;
using namespace engine_test;
using testing_support::TempDir;

namespace {

bool isLink(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

class Hostile : public JobTest {
 protected:
  std::string input(std::size_t size, const std::string& name = "f.bin") {
    bytes = testing_support::makeBytes(size, 11);
    testing_support::writeFile(dir.file(name), bytes);
    return dir.file(name);
  }
  JobResult split(const std::string& path, std::int64_t parts, PartArchiver* archiver = nullptr) {
    return SplitFile({path, parts, "t"}, splitOptions, sink, stop, archiver);
  }
  JobResult join(const std::string& first, const std::string& output) {
    return CombineFiles({first, output, SelectFirstPart(first).combineCount}, joinOptions, sink,
                        stop);
  }
  // Writes f.bin.001 .. with `sizes` bytes each, from `bytes` in order.
  void makeParts(std::initializer_list<std::size_t> sizes) {
    std::size_t total = 0;
    for (std::size_t s : sizes) total += s;
    bytes = testing_support::makeBytes(total, 3);
    std::size_t at = 0, k = 1;
    for (std::size_t s : sizes) {
      char name[32];
      std::snprintf(name, sizeof name, "f.bin.%03zu", k++);
      testing_support::writeFile(dir.file(name), {bytes.begin() + static_cast<long>(at),
                                                  bytes.begin() + static_cast<long>(at + s)});
      at += s;
    }
  }
};

TEST_F(Hostile, ALinkAtAPartsNameIsReplacedNeverWrittenThrough) {
  struct Row {
    const char* linkName;
    const char* target;
    bool zip;
  };
  const Row rows[] = {
      {"f.bin.002", "f.bin.001", false},  // would overwrite part 1
      {"f.bin.002", "../victim", false},  // would write outside the folder
      {"f.bin.002.zip", "f.bin.001.zip", true},
      {"f.bin.003.zip", "../victim", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.linkName);
    TempDir outer;
    testing_support::writeText(outer.file("victim"), "victim");
    ::mkdir(outer.file("o").c_str(), 0777);
    splitOptions.folder = outer.file("o/");
    splitOptions.removeInput = true;
    splitOptions.compress = row.zip;
    ASSERT_EQ(::symlink(row.target, outer.file(std::string("o/") + row.linkName).c_str()), 0);
    const std::string path = input(30'000);
    CopyArchiver archiver;
    const JobResult result = split(path, 3, &archiver);
    ASSERT_EQ(result.outcome, JobOutcome::Done) << result.message();
    EXPECT_TRUE(result.warnings.empty()) << result.message();
    EXPECT_EQ(testing_support::readText(outer.file("victim")), "victim");
    std::vector<std::uint8_t> all;
    for (const char* n : {"001", "002", "003"}) {
      const std::string part = outer.file(std::string("o/f.bin.") + n + (row.zip ? ".zip" : ""));
      EXPECT_FALSE(isLink(part));
      const auto piece = testing_support::readFile(part);
      all.insert(all.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(all, bytes);
  }
}

TEST_F(Hostile, TheJoinedFileIsNeverWrittenThroughALink) {
  makeParts({100, 100});
  testing_support::writeText(dir.file("victim"), "victim");
  ASSERT_EQ(::symlink("victim", dir.file("out").c_str()), 0);
  CombineRequest request{dir.file("f.bin.001"), dir.file("out")};
  request.overwrite = true;
  ASSERT_EQ(CombineFiles(request, joinOptions, sink, stop).outcome, JobOutcome::Done);
  EXPECT_EQ(testing_support::readText(dir.file("victim")), "victim");
  EXPECT_FALSE(isLink(dir.file("out")));
  EXPECT_EQ(testing_support::readFile(dir.file("out")), bytes);
}

TEST_F(Hostile, ASecondRunInTheSameFolderIsRefused) {
  platform::FolderLock other;  // held as another run would hold it
  platform::IoError err;
  ASSERT_TRUE(other.acquire(dir.path(), err)) << err.message();
  ASSERT_TRUE(other.held());
  splitOptions.removeInput = true;
  const std::string path = input(1000);
  const JobResult splitResult = split(path, 2);
  EXPECT_EQ(splitResult.outcome, JobOutcome::Failed);
  EXPECT_NE(splitResult.reason.find("another run"), std::string::npos) << splitResult.reason;
  EXPECT_EQ(testing_support::listFolder(dir.path()), std::vector<std::string>{"f.bin"});
  makeParts({10, 10});
  EXPECT_EQ(join(dir.file("f.bin.001"), dir.file("out")).outcome, JobOutcome::Failed);
  EXPECT_FALSE(testing_support::exists(dir.file("out")));
}

TEST_F(Hostile, AJoinedFileNamedLikeOneOfItsPartsIsRefused) {
  joinOptions.remove = true;
  makeParts({1000, 1000, 1000});
  for (const char* name : {"f.bin.004", "f.bin.002", "f.bin.1000"}) {
    SCOPED_TRACE(name);
    const JobResult result = join(dir.file("f.bin.001"), dir.file(name));
    EXPECT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_NE(result.reason.find("name of one of its own parts"), std::string::npos)
        << result.reason;
  }
  EXPECT_EQ(testing_support::listFolder(dir.path()),
            (std::vector<std::string>{"f.bin.001", "f.bin.002", "f.bin.003"}));
}

TEST_F(Hostile, AGapStopsTheJoinBeforeAnythingChanges) {
  struct Row {
    const char* what;
    void (*makeGap)(const std::string& path);
  };
  const Row rows[] = {
      {"missing", [](const std::string& p) { std::remove(p.c_str()); }},
      {"a folder",
       [](const std::string& p) {
         std::remove(p.c_str());
         ::mkdir(p.c_str(), 0777);
       }},
      {"a pipe",
       [](const std::string& p) {
         std::remove(p.c_str());
         ::mkfifo(p.c_str(), 0666);
       }},
  };
  joinOptions.remove = true;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir local;
    makeParts({100, 100, 100});
    for (const char* n : {"001", "002", "003"}) {
      const std::string name = std::string("f.bin.") + n;
      std::rename(dir.file(name).c_str(), local.file(name).c_str());
    }
    testing_support::writeText(local.file("f.bin"), std::string(300, 'x'));  // an earlier result
    row.makeGap(local.file("f.bin.002"));
    const JobResult result = join(local.file("f.bin.001"), local.file("f.bin"));
    ASSERT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_NE(result.reason.find("f.bin.002"), std::string::npos) << result.reason;
    EXPECT_NE(result.reason.find("f.bin.003 would be left out"), std::string::npos)
        << result.reason;
    EXPECT_EQ(testing_support::readText(local.file("f.bin")), std::string(300, 'x'));
    EXPECT_EQ(testing_support::sizeOf(local.file("f.bin.001")), 100);
    EXPECT_EQ(testing_support::sizeOf(local.file("f.bin.003")), 100);
  }
}

// Replaces part 2 with a folder while part 1 is copied: the parts must not be passed over.
struct PartTurnsIntoAFolder : RecordingSink {
  std::string part;
  void publish(const engine::Progress& p) override {
    RecordingSink::publish(p);
    if (updates.size() != 50) return;
    std::remove(part.c_str());
    ::mkdir(part.c_str(), 0777);
  }
};

TEST_F(Hostile, APartThatGoesDuringTheJoinEndsItAndKeepsTheRest) {
  makeParts({1000, 1000, 1000});
  PartTurnsIntoAFolder turning;
  turning.part = dir.file("f.bin.002");
  const JobResult result =
      CombineFiles({dir.file("f.bin.001"), dir.file("out"), 4}, joinOptions, turning, stop);
  ASSERT_EQ(result.outcome, JobOutcome::Failed);
  EXPECT_EQ(result.file, dir.file("f.bin.002"));
  EXPECT_TRUE(testing_support::exists(dir.file("f.bin.001")));
  EXPECT_TRUE(testing_support::exists(dir.file("f.bin.003")));
  EXPECT_FALSE(testing_support::exists(dir.file("out")));  // unfinished and nothing deleted
}

TEST_F(Hostile, AJoinThatDeletedPartsSaysHowToFinishAndCanBeFinished) {
  joinOptions.remove = true;
  makeParts({200'000, 200'000, 200'000});
  JobResult failed;
  {
    // The second chunk of part 2 (the copy's buffer holds 128 KiB) fails half-way through it.
    FailNth fault(platform::FileOp::Write, 4, ENOSPC, "sundrix-join");
    failed = join(dir.file("f.bin.001"), dir.file("out"));
  }
  ASSERT_EQ(failed.outcome, JobOutcome::Failed);
  const std::string text = failed.message();
  EXPECT_NE(text.find("first 200000 bytes of " + dir.file(".out.sundrix-join")), std::string::npos)
      << text;
  EXPECT_NE(text.find("only copy"), std::string::npos) << text;
  const std::string command = "sundrix-cli join " + dir.file("f.bin.001") + " --out " +
                              dir.file("out") + " --delete-parts";
  EXPECT_NE(text.find("run the same join again: " + command), std::string::npos) << text;
  // Appending at a length that contradicts the journal is refused, and nothing is cut.
  const auto held = testing_support::readFile(dir.file(".out.sundrix-join"));
  for (const std::int64_t wrong : {400, 1001, 99'999}) {
    CombineRequest bad{dir.file("f.bin.002"), dir.file(".out.sundrix-join"), 0, true, wrong};
    EXPECT_EQ(CombineFiles(bad, joinOptions, sink, stop).outcome, JobOutcome::Failed);
    EXPECT_EQ(testing_support::readFile(dir.file(".out.sundrix-join")), held);
  }
  // Finished as told: the same join again.
  ASSERT_EQ(join(dir.file("f.bin.001"), dir.file("out")).outcome, JobOutcome::Done);
  EXPECT_EQ(testing_support::readFile(dir.file("out")), bytes);
  EXPECT_EQ(testing_support::listFolder(dir.path()), std::vector<std::string>{"out"});
}

// Changes the input right before it would be deleted: after every part is flushed, while
// the folder is flushed.
struct ChangeAtTheLastMoment : platform::FaultInjector {
  std::string folder, input;
  bool restoreTime = false;
  bool done = false;
  ChangeAtTheLastMoment() { platform::setFaultInjector(this); }
  ~ChangeAtTheLastMoment() override { platform::setFaultInjector(nullptr); }
  int before(platform::FileOp op, const std::string& path) override {
    if (op != platform::FileOp::Sync || path != folder || done) return 0;
    done = true;
    struct stat st {};
    ::stat(input.c_str(), &st);
    const int fd = ::open(input.c_str(), O_WRONLY);
    [[maybe_unused]] const ssize_t n = ::pwrite(fd, "X", 1, 0);
    if (restoreTime) {
      const struct timespec times[2] = {st.st_atim, st.st_mtim};
      ::futimens(fd, times);
    }
    ::close(fd);
    return 0;
  }
};

TEST_F(Hostile, AnInputChangedAfterTheCopyIsKept) {
  for (const bool restoreTime : {false, true}) {
    SCOPED_TRACE(restoreTime ? "modification time restored" : "plain write");
    TempDir local;
    splitOptions.folder = local.path();
    splitOptions.removeInput = true;
    const std::string path = input(3000, restoreTime ? "a.bin" : "b.bin");
    ChangeAtTheLastMoment change;
    change.folder = local.path();
    change.input = path;
    change.restoreTime = restoreTime;
    const JobResult result = split(path, 3);
    EXPECT_TRUE(change.done);
    EXPECT_EQ(result.outcome, JobOutcome::Done);
    EXPECT_NE(result.message().find("changed while it was split"), std::string::npos)
        << result.message();
    EXPECT_TRUE(testing_support::exists(path));
  }
}

TEST_F(Hostile, TheScriptIsWrittenBeforeTheInputIsDeleted) {
  splitOptions.removeInput = true;
  splitOptions.withBat = true;
  const std::string path = input(1000);
  FailNth fault(platform::FileOp::Create, 1, EACCES, ".bat");
  const JobResult result = split(path, 2);
  ASSERT_EQ(result.outcome, JobOutcome::Failed);
  EXPECT_EQ(result.file, dir.file("temp.bat"));
  EXPECT_TRUE(testing_support::exists(path));
}

// Lets the kernel's copy fail as an I/O error does, and one read or write of the copy
// that follows fail too.
struct KernelCopyFails : FailNth {
  using FailNth::FailNth;
  int kernelCopy(const std::string&, const std::string&) override { return EIO; }
};

TEST_F(Hostile, AnIoErrorNamesTheFileAndTheOperationThatFailed) {
  struct Row {
    const char* what;
    bool isSplit;
    platform::FileOp op;
    const char* suffix;    // of the file whose operation fails
    const char* expected;  // the file named ...
    bool written;          // ... which is one the job writes (in `local`), not one it reads
    const char* operation;
  };
  const Row rows[] = {
      {"split, writing a part", true, platform::FileOp::Write, ".002", "f.bin.002", true,
       "cannot write"},
      {"split, reading the input", true, platform::FileOp::Read, "f.bin", "f.bin", false,
       "cannot read"},
      {"join, writing the output", false, platform::FileOp::Write, "out", "out", true,
       "cannot write"},
      {"join, reading a part", false, platform::FileOp::Read, ".002", "f.bin.002", false,
       "cannot read"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir local;
    splitOptions.folder = local.path();
    JobResult result;
    if (row.isSplit) {
      const std::string path = input(3000);
      KernelCopyFails fault(row.op, 1, EIO, row.suffix);
      result = split(path, 3);
    } else {
      makeParts({1000, 1000});
      KernelCopyFails fault(row.op, 1, EIO, row.suffix);
      result = join(dir.file("f.bin.001"), local.file("out"));
    }
    ASSERT_EQ(result.outcome, JobOutcome::Failed);
    const std::string named = row.written ? local.file(row.expected) : dir.file(row.expected);
    EXPECT_EQ(result.file, named);
    EXPECT_NE(result.reason.find(std::string(row.operation) + " " + named), std::string::npos)
        << result.reason;
  }
}

TEST_F(Hostile, WarningsOfEarlierPartsSurviveALaterFailure) {
  splitOptions.compress = true;
  splitOptions.removeInput = true;
  const std::string path = input(3000);
  CopyArchiver archiver;
  archiver.failFor = {"f.bin.001"};
  FailNth fault(platform::FileOp::Write, 1, ENOSPC, ".003");
  const JobResult result = split(path, 3, &archiver);
  ASSERT_EQ(result.outcome, JobOutcome::Failed);
  EXPECT_NE(result.reason.find("f.bin.003"), std::string::npos);
  const std::string text = result.message();
  EXPECT_NE(text.find("f.bin.001 was kept unarchived"), std::string::npos) << text;
  EXPECT_NE(text.find("incomplete archive"), std::string::npos) << text;
  EXPECT_FALSE(testing_support::exists(dir.file("f.bin.001.zip")));  // half an archive is gone
  EXPECT_TRUE(testing_support::exists(dir.file("f.bin.001")));
  EXPECT_TRUE(testing_support::exists(dir.file("f.bin.002.zip")));
  EXPECT_TRUE(testing_support::exists(path));
}

// Free space that shrinks as the folder fills: `budget` minus what the folder holds.
struct FillingDisk : platform::FaultInjector {
  std::string folder;
  std::int64_t budget;
  FillingDisk(std::string f, std::int64_t b) : folder(std::move(f)), budget(b) {
    platform::setFaultInjector(this);
  }
  ~FillingDisk() override { platform::setFaultInjector(nullptr); }
  int before(platform::FileOp, const std::string&) override { return 0; }
  std::optional<std::int64_t> freeSpace(const std::string&) override {
    std::int64_t used = 0;
    for (const std::string& name : testing_support::listFolder(folder)) {
      used += testing_support::sizeOf(folder + name);
    }
    return budget - used;
  }
};

TEST_F(Hostile, FreeSpaceIsJudgedByWhatCanReallyFit) {
  TempDir out;
  splitOptions.folder = out.path();
  const std::string path = input(30'000);
  {
    SCOPED_TRACE("old parts give their room back");
    ASSERT_EQ(split(path, 3).outcome, JobOutcome::Done);
    FillingDisk disk(out.path(), 30'000 + 1000);  // 1000 free beside the old parts
    EXPECT_EQ(split(path, 3).outcome, JobOutcome::Done);
    EXPECT_EQ(testing_support::sizeOf(out.file("f.bin.003")), 10'000);
  }
  for (const std::string& name : testing_support::listFolder(out.path())) {
    std::remove(out.file(name).c_str());
  }
  {
    SCOPED_TRACE("archives that do not shrink run out of room part by part");
    splitOptions.compress = true;
    splitOptions.removeInput = true;
    CopyArchiver archiver;
    FillingDisk disk(out.path(), 25'000);  // less than the input, more than two parts
    const JobResult result = split(path, 3, &archiver);
    ASSERT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_NE(result.reason.find("for part 2"), std::string::npos) << result.reason;
    EXPECT_TRUE(testing_support::exists(out.file("f.bin.001.zip")));
    EXPECT_EQ(testing_support::readFile(path), bytes);
  }
}

}  // namespace

namespace {

// The same conditions met through sundrix-cli, a process of its own.
class HostileCli : public ::testing::Test {
 protected:
  TempDir dir;
  std::string out;
  int run(const std::string& arguments) {
    return testing_support::runCommand(
        "cd '" + dir.path() + "' && " + SUNDRIX_CLI + " " + arguments + " 2>&1", &out);
  }
};

TEST_F(HostileCli, SplitAndJoinRefuseOrSurviveWhatWouldLoseData) {
  const auto bytes = testing_support::makeBytes(30'000, 4);
  testing_support::writeFile(dir.file("f.bin"), bytes);
  ::mkdir(dir.file("o").c_str(), 0777);
  ASSERT_EQ(::symlink("f.bin.001", dir.file("o/f.bin.002").c_str()), 0);
  EXPECT_EQ(run("split f.bin --parts 3 --out o --delete-input"), 0) << out;
  EXPECT_FALSE(isLink(dir.file("o/f.bin.002")));
  EXPECT_EQ(run("join o/f.bin.001 --out o/f.bin.004 --delete-parts"), 1) << out;
  EXPECT_NE(out.find("name of one of its own parts"), std::string::npos) << out;
  std::rename(dir.file("o/f.bin.002").c_str(), dir.file("f.bin.002").c_str());
  EXPECT_EQ(run("join o/f.bin.001 --out joined"), 1) << out;
  EXPECT_NE(out.find("o/f.bin.002 is missing"), std::string::npos) << out;
  EXPECT_FALSE(testing_support::exists(dir.file("joined")));
  std::rename(dir.file("f.bin.002").c_str(), dir.file("o/f.bin.002").c_str());
  {
    platform::FolderLock other;
    platform::IoError err;
    ASSERT_TRUE(other.acquire(dir.file("o"), err));
    EXPECT_EQ(run("join o/f.bin.001 --out o/joined --delete-parts"), 1) << out;
    EXPECT_NE(out.find("another run"), std::string::npos) << out;
  }
  EXPECT_EQ(run("join o/f.bin.001 --out o/joined --delete-parts"), 0) << out;
  EXPECT_EQ(testing_support::readFile(dir.file("o/joined")), bytes);
}

TEST_F(HostileCli, NamesThatLookLikeOptionsFollowADoubleDash) {
  testing_support::writeText(dir.file("-x"), "data of a file named -x");
  EXPECT_EQ(run("split --parts 2 -- -x"), 0) << out;
  EXPECT_EQ(run("join --out joined -- -x.001"), 0) << out;
  EXPECT_EQ(testing_support::readText(dir.file("joined")), "data of a file named -x");
  EXPECT_EQ(run("verify -- -x.001"), 0) << out;
  EXPECT_EQ(run("zip -- -a.zip -x"), 0) << out;
  EXPECT_EQ(run("list -- -a.zip"), 0) << out;
  ::mkdir(dir.file("t").c_str(), 0777);
  EXPECT_EQ(run("unzip --dir t -- -a.zip"), 0) << out;
  EXPECT_EQ(testing_support::readText(dir.file("t/-x")), "data of a file named -x");
  EXPECT_EQ(run("split --parts 2 -x"), 2) << out;
}

}  // namespace
