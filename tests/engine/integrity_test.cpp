// Integrity from split to join: the checksum file, joins that prove their result, the
// verify command, other splitters' ".crc" files and the shell script for receivers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <utility>
#include <vector>

#include "engine/checksum_file.h"
#include "engine/combine.h"
#include "engine/part_names.h"
#include "engine/split.h"
#include "engine/verify.h"
#include "engine/zip_part_archiver.h"
#include "engine_fakes.h"
#include "support/temp_dir.h"
#include "zip/crc32.h"

using namespace engine;
using namespace engine_test;
using testing_support::TempDir;

namespace {

bool haveTool(const std::string& tool) {
  return testing_support::runCommand("command -v " + tool + " >/dev/null 2>&1") == 0;
}

class Integrity : public JobTest {
 public:  // the damage rows reach into the fixture
  void SetUp() override {
    JobTest::SetUp();
    splitOptions.checksum = true;
    splitOptions.removeInput = true;
  }
  JobResult split(std::size_t size, std::int64_t value, SplitMode mode = SplitMode::ByNumber,
                  PartArchiver* archiver = nullptr) {
    bytes = testing_support::makeBytes(size, 21);
    testing_support::writeFile(dir.file("f.bin"), bytes);
    splitOptions.splitMode = mode;
    return SplitFile({dir.file("f.bin"), value, "t"}, splitOptions, sink, stop, archiver);
  }
  JobResult join(const std::string& firstName = "f.bin.001") {
    const std::string first = dir.file(firstName);
    // As the window joins: the file at the output's name is replaced.
    return CombineFiles(
        {first, dir.file("f.bin"), SelectFirstPart(first).combineCount, false, -1, true},
        joinOptions, sink, stop);
  }
  VerifyReport verify() { return VerifyParts(dir.file("f.bin.001"), stop); }
  void emptyFolder() {
    for (const std::string& name : testing_support::listFolder(dir.path())) {
      std::filesystem::remove_all(dir.file(name));
    }
  }
  void flipByte(const std::string& name, std::size_t at) {
    auto part = testing_support::readFile(dir.file(name));
    part[at] ^= 0x40;
    testing_support::writeFile(dir.file(name), part);
  }
};

TEST_F(Integrity, ChecksummedSplitsJoinVerifiedAndTheUsualToolsAgree) {
  struct Row {
    const char* what;
    std::size_t size;
    std::int64_t value;
    SplitMode mode;
    int unit;
    bool zip;
  };
  const Row rows[] = {
      {"three parts", 300'001, 3, SplitMode::ByNumber, 1, false},
      {"empty last part", 8192, 4, SplitMode::BySize, 1, false},
      {"empty input", 0, 2, SplitMode::ByNumber, 1, false},
      {"over 999 parts", 3003, 3, SplitMode::BySize, 0, false},
      {"archived parts", 100'000, 2, SplitMode::ByNumber, 1, true},
      // Parts larger than the digest ring (2 MiB) and than a request of the kernel's copy.
      {"parts of several megabytes", 17 * 1024 * 1024 + 5, 2, SplitMode::ByNumber, 1, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir local;
    splitOptions.folder = local.path();
    splitOptions.unit = row.unit;
    splitOptions.compress = row.zip;
    ZipPartArchiver archiver;
    bytes = testing_support::makeBytes(row.size, 5);
    testing_support::writeFile(local.file("f.bin"), bytes);
    const JobResult made = SplitFile({local.file("f.bin"), row.value, "t"}, splitOptions, sink,
                                     stop, row.zip ? &archiver : nullptr);
    ASSERT_EQ(made.outcome, JobOutcome::Done) << made.message();
    ASSERT_FALSE(testing_support::exists(local.file("f.bin")));
    std::string out;
    if (haveTool("sha256sum")) {
      EXPECT_EQ(
          testing_support::runCommand(
              "cd '" + local.path() + "' && sha256sum -c --ignore-missing f.bin.sha256", &out),
          0)
          << out;
    }
    if (row.zip) {
      ASSERT_EQ(testing_support::runCommand("cd '" + local.path() + "' && " + SUNDRIX_CLI +
                                            " unzip f.bin.001.zip && " + SUNDRIX_CLI +
                                            " unzip f.bin.002.zip"),
                0);
    }
    EXPECT_TRUE(VerifyParts(local.file("f.bin.001"), stop).allRight());
    const std::string first = local.file("f.bin.001");
    joinOptions.remove = true;
    const JobResult joined = CombineFiles(
        {first, local.file("f.bin"), SelectFirstPart(first).combineCount}, joinOptions, sink, stop);
    ASSERT_EQ(joined.outcome, JobOutcome::Done) << joined.message();
    EXPECT_NE(joined.summary.find("Verified"), std::string::npos) << joined.summary;
    EXPECT_EQ(testing_support::readFile(local.file("f.bin")), bytes);
    if (haveTool("sha256sum")) {
      EXPECT_EQ(testing_support::runCommand(
                    "cd '" + local.path() +
                    "' && sha256sum -c --ignore-missing f.bin.sha256 | grep -q 'f.bin: OK'"),
                0);
    }
  }
}

// Rewrites a MiB of the input behind the copy and one ahead of it while the first part is
// written.
struct RewritingInput : RecordingSink {
  std::string path;
  void publish(const engine::Progress& p) override {
    RecordingSink::publish(p);
    if (updates.size() != 50) return;
    FILE* f = std::fopen(path.c_str(), "r+b");
    const std::string changed(1024 * 1024, 'X');
    for (const long at : {0L, 5L * 1024 * 1024}) {
      std::fseek(f, at, SEEK_SET);
      std::fwrite(changed.data(), 1, changed.size(), f);
    }
    std::fclose(f);
  }
};

// The list vouches for what the parts hold, never for bytes the input held at some other
// moment: a join by it gives back the parts' bytes, and the changed input stays.
TEST_F(Integrity, AnInputRewrittenDuringTheSplitIsListedAsThePartsHoldIt) {
  bytes = testing_support::makeBytes(8 * 1024 * 1024, 9);
  RewritingInput rewriting;
  rewriting.path = dir.file("f.bin");
  testing_support::writeFile(rewriting.path, bytes);
  const JobResult made =
      SplitFile({rewriting.path, 2, "t"}, splitOptions, rewriting, stop, nullptr);
  ASSERT_EQ(made.outcome, JobOutcome::Done) << made.message();
  EXPECT_NE(made.message().find("changed while it was split"), std::string::npos)
      << made.message();
  ASSERT_TRUE(testing_support::exists(dir.file("f.bin")));
  auto parts = testing_support::readFile(dir.file("f.bin.001"));
  const auto second = testing_support::readFile(dir.file("f.bin.002"));
  parts.insert(parts.end(), second.begin(), second.end());
  EXPECT_NE(testing_support::readFile(dir.file("f.bin")), parts);  // the first MiB is not the input's
  std::remove(dir.file("f.bin").c_str());
  EXPECT_TRUE(verify().allRight());
  const JobResult joined = join();
  ASSERT_EQ(joined.outcome, JobOutcome::Done) << joined.message();
  EXPECT_EQ(testing_support::readFile(dir.file("f.bin")), parts);
}

TEST_F(Integrity, DamageIsNamedAndNothingIsLost) {
  struct Row {
    const char* what;
    void (*damage)(Integrity& t);
    const char* named;            // the file the join names
    bool beforeWriting;           // found before the joined file is made
    VerifyLine::Status verifyAs;  // how verify reports the named file
  };
  const Row rows[] = {
      {"flipped byte in a middle part", [](Integrity& t) { t.flipByte("f.bin.002", 5000); },
       "f.bin.002", false, VerifyLine::Status::Mismatch},
      {"missing last part", [](Integrity& t) { std::remove(t.dir.file("f.bin.003").c_str()); },
       "f.bin.003", true, VerifyLine::Status::Missing},
      {"truncated part",
       [](Integrity& t) {
         auto part = testing_support::readFile(t.dir.file("f.bin.001"));
         part.resize(part.size() - 1);
         testing_support::writeFile(t.dir.file("f.bin.001"), part);
       },
       "f.bin.001", true, VerifyLine::Status::Mismatch},
      {"part of another split of the same name",
       [](Integrity& t) {
         testing_support::writeFile(t.dir.file("f.bin.002"),
                                    testing_support::makeBytes(10'000, 99));
       },
       "f.bin.002", false, VerifyLine::Status::Mismatch},
  };
  joinOptions.remove = true;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_EQ(split(30'000, 3).outcome, JobOutcome::Done);
    row.damage(*this);
    testing_support::writeText(dir.file("f.bin"), "a good copy kept by the user");
    const auto before = testing_support::listFolder(dir.path());
    const JobResult result = join();
    ASSERT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_NE(result.reason.find(row.named), std::string::npos) << result.reason;
    EXPECT_EQ(testing_support::listFolder(dir.path()), before);  // every part kept, no output
    EXPECT_EQ(testing_support::readText(dir.file("f.bin")), "a good copy kept by the user");
    const VerifyReport report = verify();
    EXPECT_FALSE(report.allRight());
    bool seen = false;
    for (const VerifyLine& line : report.lines) {
      seen = seen || (line.name == row.named && line.status == row.verifyAs);
    }
    EXPECT_TRUE(seen);
    emptyFolder();
  }
}

TEST_F(Integrity, AMessageAboutManyPartsNamesAFewAndCountsTheRest) {
  ASSERT_EQ(split(3'000, 300).outcome, JobOutcome::Done);
  for (int k = 2; k <= 300; ++k) std::remove(dir.file(partFileName("f.bin.000", k)).c_str());
  const JobResult result = join();
  EXPECT_EQ(result.outcome, JobOutcome::Failed);
  EXPECT_NE(result.reason.find("f.bin.002 is missing"), std::string::npos) << result.reason;
  EXPECT_NE(result.reason.find(" more. Nothing was joined."), std::string::npos) << result.reason;
  EXPECT_LT(result.reason.size(), 2000u);
}

// A long series of small parts is looked at only when its copy finds a part not as listed:
// the message is still the planning's, naming every part that is wrong, and nothing is
// joined. Where a file stands at the output's name the parts are looked at first.
TEST_F(Integrity, ALongSeriesFoundWrongDuringItsCopyIsNamedAsBeforeItAndNothingIsJoined) {
  struct Row {
    const char* what;
    bool outputThere;
    // part, and what happens to it: cut to that many bytes, or kRemoved, kFolder, kByteChanged
    std::vector<std::pair<const char*, int>> damage;
    std::vector<const char*> named;
  };
  constexpr int kRemoved = -1, kFolder = -2, kByteChanged = -3;
  const Row rows[] = {
      {"the last part missing", false, {{"f.bin.100", kRemoved}}, {"f.bin.100 is missing"}},
      {"a folder at a part's name", false, {{"f.bin.002", kFolder}}, {"f.bin.002 is missing"}},
      {"a byte changed before a part cut short",
       false,
       {{"f.bin.005", kByteChanged}, {"f.bin.070", 4}},
       {"f.bin.070 has 4 bytes instead of 10"}},
      {"a part cut short", false, {{"f.bin.030", 9}}, {"f.bin.030 has 9 bytes instead of 10"}},
      {"a part cut short and a later one missing",
       false,
       {{"f.bin.010", 3}, {"f.bin.090", kRemoved}},
       {"f.bin.010 has 3 bytes instead of 10", "f.bin.090 is missing"}},
      {"the same with a file at the output's name",
       true,
       {{"f.bin.010", 3}, {"f.bin.090", kRemoved}},
       {"f.bin.010 has 3 bytes instead of 10", "f.bin.090 is missing"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_EQ(split(1'000, 100).outcome, JobOutcome::Done);
    for (const auto& [name, cut] : row.damage) {
      const std::string path = dir.file(name);
      if (cut == kByteChanged) {
        flipByte(name, 3);
      } else if (cut >= 0) {
        auto part = testing_support::readFile(path);
        part.resize(static_cast<std::size_t>(cut));
        testing_support::writeFile(path, part);
      } else {
        std::remove(path.c_str());
        if (cut == kFolder) ::mkdir(path.c_str(), 0777);
      }
    }
    if (row.outputThere) testing_support::writeText(dir.file("f.bin"), "kept");
    const auto before = testing_support::listFolder(dir.path());
    const JobResult result = join();
    ASSERT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_NE(result.reason.find("The parts do not match"), std::string::npos) << result.reason;
    for (const char* problem : row.named) {
      EXPECT_NE(result.reason.find(problem), std::string::npos) << result.reason;
    }
    EXPECT_NE(result.reason.find("Nothing was joined."), std::string::npos) << result.reason;
    EXPECT_TRUE(result.warnings.empty()) << result.message();  // not a word of a copy begun
    EXPECT_EQ(testing_support::listFolder(dir.path()), before);  // no output, no leftovers
    if (row.outputThere) {
      EXPECT_EQ(testing_support::readText(dir.file("f.bin")), "kept");
    }
    emptyFolder();
  }
  // A joined file that cannot be made leaves nothing behind, its journal included.
  ASSERT_EQ(split(1'000, 100).outcome, JobOutcome::Done);
  {
    const auto before = testing_support::listFolder(dir.path());
    FailNth fault(platform::FileOp::Create, 1, ENOSPC, ".sundrix-join");
    const JobResult result = join();
    EXPECT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_NE(result.reason.find("sundrix-join"), std::string::npos) << result.reason;
    EXPECT_EQ(testing_support::listFolder(dir.path()), before);
  }
  // A part past the listed ones is named and left out, whether the join then fails or
  // succeeds. (A changed byte fails the copy itself once its digest is in, at the latest
  // when the digest slots are all full: 8 of 256 KiB, here 4 MB of parts of 4 KiB.)
  emptyFolder();
  ASSERT_EQ(split(4'096'000, 1000).outcome, JobOutcome::Done);
  testing_support::writeText(dir.file("f.bin.1001"), "an old part");
  flipByte("f.bin.002", 2);
  const JobResult damaged = join();
  ASSERT_EQ(damaged.outcome, JobOutcome::Failed);
  EXPECT_NE(damaged.reason.find("f.bin.002"), std::string::npos) << damaged.reason;
  EXPECT_NE(damaged.message().find("so left out: f.bin.1001"), std::string::npos)
      << damaged.message();
  flipByte("f.bin.002", 2);
  const JobResult result = join();
  ASSERT_EQ(result.outcome, JobOutcome::Done) << result.message();
  EXPECT_NE(result.message().find("so left out: f.bin.1001"), std::string::npos) << result.message();
  EXPECT_EQ(testing_support::readFile(dir.file("f.bin")), bytes);
}

// A split whose checksum file no join would read is refused before anything is written;
// the bound it goes by is never below the file's real size.
TEST_F(Integrity, ASplitTooLongToListIsRefusedUpFront) {
  splitOptions.compress = false;
  ASSERT_EQ(split(3'000, 1'000).outcome, JobOutcome::Done);
  ChecksumList::Part last;
  last.number = 1'000;
  last.size = 3;
  last.name = "f.bin.1000";
  const std::int64_t bound = checksumFileSizeBound(1'000, last, "f.bin", 3'000);
  const std::int64_t real = testing_support::sizeOf(dir.file("f.bin.sha256"));
  EXPECT_GE(bound, real);
  EXPECT_LT(bound, real + real / 10);

  TempDir local;
  splitOptions.folder = local.path();
  splitOptions.splitMode = SplitMode::BySize;
  splitOptions.unit = 0;  // bytes
  testing_support::writeFile(local.file("g.bin"), testing_support::makeBytes(3'000'000, 3));
  const JobResult refused = SplitFile({local.file("g.bin"), 1, "t"}, splitOptions, sink, stop, nullptr);
  EXPECT_EQ(refused.outcome, JobOutcome::Failed);
  EXPECT_NE(refused.reason.find("would be larger than a join reads"), std::string::npos)
      << refused.reason;
  EXPECT_EQ(testing_support::listFolder(local.path()), std::vector<std::string>{"g.bin"});
}

// The list is read a line at a time: one larger than a whole-text read allowed (64 MiB)
// loads, while a line without end, a file past the bound or a list of another program is
// refused without reading it whole.
TEST_F(Integrity, ChecksumFilesAreReadAsAStreamWithBoundedLines) {
  const std::int64_t count = 620'000;  // about 68 MiB of list
  const auto digest = [](std::int64_t k) { return std::string(64, "0123456789abcdef"[k % 16]); };
  const std::string path = dir.file("a-rather-long-input-name.bin.sha256");
  {
    ChecksumList list;
    list.parts.reserve(static_cast<std::size_t>(count));
    for (std::int64_t k = 1; k <= count; ++k) {
      list.parts.push_back({k, 100, partFileName("a-rather-long-input-name.bin.000", k), digest(k), "", ""});
    }
    list.wholeName = "a-rather-long-input-name.bin";
    list.wholeSize = 100 * count;
    list.wholeSha256 = std::string(64, 'e');
    testing_support::writeText(path, checksumFileText(list));
  }
  ASSERT_GT(testing_support::sizeOf(path), 64 * 1024 * 1024);
  ChecksumList back;
  std::string problem;
  ASSERT_TRUE(loadChecksumFile(path, back, problem)) << problem;
  ASSERT_EQ(back.parts.size(), static_cast<std::size_t>(count));
  for (const std::int64_t k : {std::int64_t{1}, std::int64_t{12'345}, count}) {
    EXPECT_EQ(back.parts[static_cast<std::size_t>(k - 1)].name,
              partFileName("a-rather-long-input-name.bin.000", k));
    EXPECT_EQ(back.parts[static_cast<std::size_t>(k - 1)].sha256, digest(k));
  }
  EXPECT_EQ(back.wholeSha256, std::string(64, 'e'));
  back = {};
  std::remove(path.c_str());

  const std::string head = std::string(kChecksumMarker) + "\n# part 1 5 x.001\n";
  const std::string hashA = std::string(64, 'a') + "  ", hashB = std::string(64, 'b') + "  ";
  struct Case {
    std::string text;
    std::int64_t sparseSize;  // the file made this long with nothing written, 0: as it is
    std::string says;
  };
  for (const Case& c : std::vector<Case>{
           {head + std::string(kMaxChecksumLineLength + 1, 'a'), 0, "is longer than"},
           {head + std::string(kMaxChecksumLineLength + 1, 'a') + "\n" + head, 0, "is longer than"},
           {head + std::string(300'000, 'a'), 0, "is longer than"},  // across blocks
           {head, 10LL << 30, "too large for a checksum file"},  // 10 GB
           {"d41d8cd98f00b204e9800998ecf8427e  f\n" + std::string(200'000, 'b'), 0,
            "not written by this program"},
           {std::string(kChecksumMarker) + "\n# part 1 5 ../x.001\n# whole 5 w\n" + hashA +
                "../x.001\n" + hashA + "w\n",
            0, "is not a part of the series"},
           {std::string(kChecksumMarker) + "\n" + hashA + "x.001\n" + head.substr(head.find('#', 1)) +
                "# whole 5 w\n" + hashA + "w\n" + hashB + "x.001\n",
            0, "x.001 is listed twice"},
           // A NUL ends a name where the file system reads it: x.001 would be opened.
           {std::string(kChecksumMarker) + "\n# part 1 5 x.001\n# whole 5 w" + std::string(1, '\0') +
                "/../x.001\n" + hashA + "x.001\n" + hashA + "w" + std::string(1, '\0') + "/../x.001\n",
            0, "is not a plain file name"},
           {std::string(kChecksumMarker) + "\n# part 1 5 x" + std::string(1, '\0') + "y.001\n# whole 5 w\n" +
                hashA + "x" + std::string(1, '\0') + "y.001\n" + hashA + "w\n",
            0, "is not a part of the series"},
           // A name out of the series is refused as it is read, not held until the end.
           {head + "# part 2 5 x.002\n# part 3 5 x.0003\n" + std::string(100, '\n'), 0,
            "the part name x.0003 is not a part of the series"},
           {head + "# part 3 5 x.003\n", 0, "the list of parts is damaged"},
           // Sizes that no file's parts can add up to: a join sums them.
           {[&] {
              std::string text = std::string(kChecksumMarker) + "\n# whole 5 w\n" + hashA + "w\n";
              for (int k = 1; k <= 10; ++k) {
                const std::string name = partFileName("x", k);
                text += "# part " + std::to_string(k) + " 999999999999999999 " + name + "\n" +
                        hashA + name + "\n";
              }
              return text;
            }(),
            0, "the list of parts is damaged"},
           // Lines that name no file it lists are not all held.
           {[&] {
              std::string text = head;
              for (int k = 0; k <= 100'000; ++k) text += hashA + "other" + std::to_string(k) + "\n";
              return text;
            }(),
            0, "of its lines name files it does not list"},
       }) {
    SCOPED_TRACE(c.says);
    const std::string hostile = dir.file("hostile.sha256");
    testing_support::writeText(hostile, c.text);
    if (c.sparseSize > 0) {
      ASSERT_EQ(::truncate(hostile.c_str(), c.sparseSize), 0);
    }
    EXPECT_FALSE(loadChecksumFile(hostile, back, problem));
    EXPECT_NE(problem.find(c.says), std::string::npos) << problem;
  }
}

// A list's parts are held compactly, names and sizes only where they differ from the
// series': every shape of list reads back as it was given.
TEST(ChecksumListParts, EveryPartReadsBackAsGiven) {
  using Part = ChecksumList::Part;
  const auto sha = [](int k) { return std::string(64, "0123456789abcdef"[k % 16]); };
  struct Case {
    const char* what;
    std::vector<Part> parts;
    bool numbered, inSeries;
  };
  for (const Case& c : std::vector<Case>{
           {"one", {{1, 7, "a.001", sha(1), "", ""}}, true, true},
           {"regular, short last",
            {{1, 5, "a.001", sha(1), "", ""}, {2, 5, "a.002", "", "", ""}, {3, 2, "a.003", sha(3), "", ""}},
            true, true},
           {"an empty last", {{1, 5, "a.001", "", "", ""}, {2, 0, "a.002", "", "", ""}}, true, true},
           {"a middle part of its own size",
            {{1, 5, "a.001", "", "", ""}, {2, 9, "a.002", "", "", ""}, {3, 5, "a.003", "", "", ""},
             {4, 5, "a.004", "", "", ""}},
            true, true},
           {"the second differs",
            {{1, 5, "a.001", "", "", ""}, {2, 4, "a.002", "", "", ""}, {3, 4, "a.003", "", "", ""}},
            true, true},
           {"past 999 and archives",
            {{1, 5, "b.999", "", "b.999.zip", sha(4)}, {2, 5, "b.1000", sha(5), "b.1000.zip", sha(6)}},
            true, false},
           {"a name out of the series", {{1, 5, "a.001", "", "", ""}, {2, 5, "a.0002", "", "", ""}},
            true, false},
           {"misnumbered", {{1, 5, "a.001", "", "", ""}, {3, 5, "a.003", "", "", ""}}, false, false},
           {"a first name without an extension",
            {{1, 5, "noext", "", "", ""}, {2, 5, "noext.002", "", "", ""}}, true, true},
           {"dots in the stem",
            {{1, 5, "a.b.c.001", "", "", ""}, {2, 5, "a.b.c.002", "", "", ""}, {3, 1, "a.b.002", "", "", ""}},
            true, false},
           {"a name that only begins and ends as the series'",
            {{1, 5, "a.001", "", "", ""}, {2, 5, "a.x.002", "", "", ""}, {3, 5, "a.002", "", "", ""}},
            true, false},
       }) {
    SCOPED_TRACE(c.what);
    ChecksumList list;
    list.parts.reserve(c.parts.size());
    for (const Part& part : c.parts) list.parts.push_back(part);
    EXPECT_EQ(list.parts.numbered(), c.numbered);
    EXPECT_EQ(list.parts.inSeries(), c.inSeries);
    ASSERT_EQ(list.parts.size(), c.parts.size());
    for (std::size_t i = 0; i < c.parts.size(); ++i) {
      const Part back = list.parts[i];
      EXPECT_EQ(back.number, static_cast<std::int64_t>(i + 1));
      EXPECT_EQ(back.size, c.parts[i].size) << i;
      EXPECT_EQ(back.name, c.parts[i].name);
      EXPECT_EQ(back.sha256, c.parts[i].sha256);
      EXPECT_EQ(list.parts.hasSha256(i), !c.parts[i].sha256.empty());
      EXPECT_EQ(back.archiveName, c.parts[i].archiveName);
      EXPECT_EQ(back.archiveSha256, c.parts[i].archiveSha256);
    }
  }
  // A digest is 64 lowercase hexadecimal digits or nothing is kept.
  ChecksumList list;
  list.parts.push_back({1, 5, "a.001", "", "", ""});
  std::string lastWrong = sha(1), firstWrong = sha(1);
  lastWrong.back() = 'G';
  firstWrong.front() = '\xe9';
  for (const std::string& bad : {std::string(63, 'a'), std::string(64, 'A'), std::string(64, 'g'),
                                 std::string(65, 'a'), lastWrong, firstWrong}) {
    EXPECT_FALSE(list.parts.setSha256(0, bad)) << bad;
  }
  EXPECT_FALSE(list.parts.hasSha256(0));
  EXPECT_FALSE(list.parts.setSha256(1, sha(1)));  // no such part
}

// A part that changed after it was copied is kept, whether the join deletes each part as
// it goes (no list) or all of them once the whole file matched its list.
TEST_F(Integrity, APartChangedAfterItWasCopiedIsNotDeleted) {
  // Asked before the copy, after each part (no list) and once all are copied (a list):
  // the victim is written again, with the same bytes, every time.
  struct TouchingOptions : FakeCombineOptions {
    std::string victim;
    bool deleteParts() override {
      if (testing_support::exists(victim)) {
        const auto was = testing_support::readFile(victim);
        ::usleep(20'000);  // another time of change, however coarse the clock
        testing_support::writeFile(victim, was);
      }
      return true;
    }
  };
  for (const bool listed : {true, false}) {
    SCOPED_TRACE(listed ? "listed" : "not listed");
    ASSERT_EQ(split(30'000, 3).outcome, JobOutcome::Done);
    if (!listed) std::remove(dir.file("f.bin.sha256").c_str());
    const std::string victim = dir.file(listed ? "f.bin.002" : "f.bin.001");
    TouchingOptions options;
    options.victim = victim;
    const std::string first = dir.file("f.bin.001");
    const JobResult joined = CombineFiles(
        {first, dir.file("f.bin"), SelectFirstPart(first).combineCount, false, -1, true}, options,
        sink, stop);
    ASSERT_EQ(joined.outcome, JobOutcome::Done) << joined.message();
    EXPECT_EQ(testing_support::readFile(dir.file("f.bin")), bytes);
    EXPECT_TRUE(testing_support::exists(victim));
    ASSERT_EQ(joined.warnings.size(), 1u);
    EXPECT_NE(joined.warnings[0].find("was kept: it changed while it was joined"), std::string::npos)
        << joined.warnings[0];
    for (const char* name : {"f.bin.001", "f.bin.002", "f.bin.003"}) {
      EXPECT_EQ(testing_support::exists(dir.file(name)), dir.file(name) == victim) << name;
    }
    std::remove(victim.c_str());
    std::remove(dir.file("f.bin.sha256").c_str());
  }
}

// A verified join writes small parts a slot at a time: a full disk is still reported,
// naming the joined file, whether it strikes while parts are copied or at the last write,
// and the unfinished file goes while every part stays.
TEST_F(Integrity, AFailedWriteBehindFailsTheJoinAndKeepsTheParts) {
  for (const std::size_t parts : {200u, 3'000u}) {
    SCOPED_TRACE(parts);
    ASSERT_EQ(split(parts * 100, static_cast<std::int64_t>(parts)).outcome, JobOutcome::Done);
    FailNth fault(platform::FileOp::Write, 1, osCode(platform::ErrorKind::DiskFull), "/f.bin");
    const JobResult result = join();
    EXPECT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_NE(result.reason.find(dir.file("f.bin") + ": " +
                                 systemText(platform::ErrorKind::DiskFull)),
              std::string::npos)
        << result.reason;
    EXPECT_EQ(fault.seen, 1);
    EXPECT_FALSE(testing_support::exists(dir.file("f.bin")));
    EXPECT_TRUE(testing_support::exists(dir.file(partFileName("f.bin.000", static_cast<std::int64_t>(parts)))));
  }
}

TEST_F(Integrity, PartsBeyondTheListAreLeftOutAndNamed) {
  ASSERT_EQ(split(30'000, 3).outcome, JobOutcome::Done);
  const JobResult overSums =
      CombineFiles({dir.file("f.bin.001"), dir.file("f.bin.sha256"), 4}, joinOptions, sink, stop);
  EXPECT_EQ(overSums.outcome, JobOutcome::Failed);  // never over the file it is checked with
  testing_support::writeText(dir.file("f.bin.004"), "an old part");
  const JobResult result = join();
  ASSERT_EQ(result.outcome, JobOutcome::Done) << result.message();
  EXPECT_NE(result.message().find("f.bin.004"), std::string::npos);
  EXPECT_EQ(testing_support::readFile(dir.file("f.bin")), bytes);
  const VerifyReport report = verify();
  EXPECT_TRUE(report.allRight());
  EXPECT_EQ(report.lines.back().status, VerifyLine::Status::Extra);
}

TEST_F(Integrity, ChecksumFilesReadBackAndRejectStrangers) {
  ChecksumList list;
  list.parts.push_back({1, 10, "odd\\name\nwith\rbreaks.001", std::string(64, 'a'), "", ""});
  list.parts.push_back({2, 0, "odd\\name\nwith\rbreaks.002", std::string(64, 'b'),
                        "odd\\name\nwith\rbreaks.002.zip", std::string(64, 'c')});
  list.wholeName = "odd\\name\nwith\rbreaks";
  list.wholeSize = 10;
  list.wholeSha256 = std::string(64, 'd');
  ChecksumList back;
  std::string problem;
  ASSERT_TRUE(parseChecksumFile(checksumFileText(list), back, problem)) << problem;
  EXPECT_EQ(back.parts.size(), 2u);
  EXPECT_EQ(back.parts[1].name, list.parts[1].name);
  EXPECT_EQ(back.parts[1].archiveSha256, list.parts[1].archiveSha256);
  EXPECT_EQ(back.wholeSha256, list.wholeSha256);
  std::string crlf;
  for (char c : checksumFileText(list)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_TRUE(parseChecksumFile(crlf, back, problem)) << problem;  // copied through Windows
  const std::string hashA = std::string(64, 'a') + "  ", hashB = std::string(64, 'b') + "  ";
  const std::string head = "# sundrix checksums\n# whole 1 w\n" + hashA + "w\n";
  for (const std::string& text : {
           std::string(), std::string("d41d8cd98f00b204e9800998ecf8427e  f\n"),
           head + "# part 2 5 x.002\n" + hashA + "x.002\n",        // no part 1
           head + "# part 1 5 ../x.001\n" + hashA + "../x.001\n",  // leaves the folder
           head + "# part 1 5 x.001\n# part 2 5 y.002\n" + hashA + "x.001\n" + hashA +
               "y.002\n",                                                        // another series
           head + "# part 1 5 x.001\n" + hashA + "x.001\n" + hashB + "x.001\n",  // two answers
       }) {
    EXPECT_FALSE(parseChecksumFile(text, back, problem)) << text;
  }
}

TEST_F(Integrity, TheChecksumFileToJoinByIsNeverGuessed) {
  joinOptions.remove = true;
  // A list named after the series that cannot be read stops the join.
  ASSERT_EQ(split(3000, 3).outcome, JobOutcome::Done);
  const std::string sums = testing_support::readText(dir.file("f.bin.sha256"));
  testing_support::writeText(dir.file("f.bin.sha256"), sums.substr(0, sums.size() / 2));
  JobResult result = join();
  EXPECT_EQ(result.outcome, JobOutcome::Failed);
  EXPECT_NE(result.reason.find("cannot be used"), std::string::npos) << result.reason;
  EXPECT_TRUE(testing_support::exists(dir.file("f.bin.001")));
  // Parts named after a script, and two inputs' lists that both name them (named after
  // the inputs, as earlier versions named them): no choice.
  testing_support::writeText(dir.file("f.bin.sha256"), sums);
  splitOptions.withBat = true;
  for (const std::string input : {"a.bin", "b.bin"}) {
    testing_support::writeFile(dir.file(input), testing_support::makeBytes(2000, 1));
    ASSERT_EQ(SplitFile({dir.file(input), 2, "t"}, splitOptions, sink, stop, nullptr).outcome,
              JobOutcome::Done);
    ASSERT_EQ(std::rename(dir.file("temp.sha256").c_str(), dir.file(input + ".sha256").c_str()), 0);
    std::remove(dir.file("temp.bat").c_str());  // it would name the parts a.bin's
  }
  result = CombineFiles({dir.file("temp.001"), dir.file("out"), 3}, joinOptions, sink, stop);
  EXPECT_EQ(result.outcome, JobOutcome::Failed);
  EXPECT_NE(result.reason.find("several checksum files"), std::string::npos) << result.reason;
  EXPECT_FALSE(VerifyParts(dir.file("temp.001"), stop).problem.empty());
  // Once the stale one is gone, the other is found by what it lists.
  std::remove(dir.file("a.bin.sha256").c_str());
  result = CombineFiles({dir.file("temp.001"), dir.file("out"), 3}, joinOptions, sink, stop);
  EXPECT_EQ(result.outcome, JobOutcome::Done) << result.message();
  EXPECT_NE(result.summary.find("b.bin.sha256"), std::string::npos);
}

TEST_F(Integrity, TheSplitsOwnFilesReplaceOnlyTheirOwnKind) {
  testing_support::writeText(dir.file("f.bin.sha256"), "the user's notes\n");
  EXPECT_EQ(split(3000, 3).outcome, JobOutcome::Failed);
  EXPECT_EQ(testing_support::readText(dir.file("f.bin.sha256")), "the user's notes\n");
  EXPECT_FALSE(testing_support::exists(dir.file("f.bin.001")));
  std::remove(dir.file("f.bin.sha256").c_str());
  {
    // Out of room while the checksum file is written: no half file stays, the input does.
    FailNth full(platform::FileOp::Write, 1, ENOSPC, ".sha256");
    splitOptions.removeInput = true;
    EXPECT_EQ(split(3000, 3).outcome, JobOutcome::Failed);
    EXPECT_FALSE(testing_support::exists(dir.file("f.bin.sha256")));
    EXPECT_TRUE(testing_support::exists(dir.file("f.bin")));
  }
  // A later split without the checksum file takes away the list that no longer fits.
  ASSERT_EQ(split(3000, 3).outcome, JobOutcome::Done);
  splitOptions.checksum = false;
  const JobResult again = split(4000, 3);
  EXPECT_EQ(again.outcome, JobOutcome::Done);
  EXPECT_FALSE(testing_support::exists(dir.file("f.bin.sha256")));
  EXPECT_NE(again.message().find("of an earlier split was removed"), std::string::npos);
  // Names a join script cannot quote are refused before anything is written.
  splitOptions.withBat = true;
  testing_support::writeText(dir.file("line\nbreak"), "x");
  EXPECT_EQ(SplitFile({dir.file("line\nbreak"), 2, "t"}, splitOptions, sink, stop, nullptr).outcome,
            JobOutcome::Failed);
  EXPECT_FALSE(testing_support::exists(dir.file("temp.bat")));
}

TEST_F(Integrity, AnotherSplittersCrcFileChecksTheJoin) {
  bytes = testing_support::makeBytes(20'000, 8);
  testing_support::writeFile(dir.file("v.dat.001"), {bytes.begin(), bytes.begin() + 12'000});
  testing_support::writeFile(dir.file("v.dat.002"), {bytes.begin() + 12'000, bytes.end()});
  const std::uint32_t crc = zip::crc32(bytes.data(), bytes.size());
  char line[64];
  std::snprintf(line, sizeof line, "crc32=%08X\r\n", crc);
  for (const bool right : {false, true}) {
    SCOPED_TRACE(right ? "right" : "wrong");
    testing_support::writeText(
        dir.file("v.dat.crc"),
        std::string("filename=v.dat\r\nsize=20000\r\n") + (right ? line : "crc32=1234ABCD\r\n"));
    const JobResult result =
        CombineFiles({dir.file("v.dat.001"), dir.file("v.dat"), 3}, joinOptions, sink, stop);
    if (!right) {
      EXPECT_EQ(result.outcome, JobOutcome::Failed);
      EXPECT_NE(result.reason.find("CRC-32"), std::string::npos) << result.reason;
      EXPECT_FALSE(testing_support::exists(dir.file("v.dat")));
      EXPECT_FALSE(VerifyParts(dir.file("v.dat.001"), stop).allRight());
      continue;
    }
    ASSERT_EQ(result.outcome, JobOutcome::Done) << result.message();
    EXPECT_NE(result.summary.find("CRC-32"), std::string::npos);
    const VerifyReport report = VerifyParts(dir.file("v.dat.001"), stop);
    EXPECT_TRUE(report.allRight());
    EXPECT_EQ(report.lines.size(), 2u);  // the parts together, and the joined file
  }
}

TEST_F(Integrity, TheShellScriptChecksJoinsAndRefusesDamage) {
  splitOptions.withBat = true;
  splitOptions.sh = true;
  ASSERT_EQ(split(50'000, 3).outcome, JobOutcome::Done);
  std::string out;
  ASSERT_EQ(testing_support::runCommand("sh '" + dir.file("temp.sh") + "' 2>&1", &out), 0) << out;
  EXPECT_EQ(testing_support::readFile(dir.file("f.bin")), bytes);
  EXPECT_NE(testing_support::runCommand("sh '" + dir.file("temp.sh") + "' 2>&1", &out), 0)
      << "an existing file must not be overwritten";
  std::remove(dir.file("f.bin").c_str());
  ASSERT_EQ(::symlink("elsewhere", dir.file("f.bin").c_str()), 0);  // nor a link, even dangling
  EXPECT_NE(testing_support::runCommand("sh '" + dir.file("temp.sh") + "' 2>&1", &out), 0);
  EXPECT_FALSE(testing_support::exists(dir.file("elsewhere")));
  std::remove(dir.file("f.bin").c_str());
  flipByte("temp.002", 7);
  if (haveTool("sha256sum") || haveTool("shasum")) {
    EXPECT_NE(testing_support::runCommand("sh '" + dir.file("temp.sh") + "' 2>&1", &out), 0);
    EXPECT_FALSE(testing_support::exists(dir.file("f.bin")));
  }
}

TEST_F(Integrity, TheVerifyCommandPrintsALinePerFileAndExitsByTheResult) {
  ASSERT_EQ(split(30'000, 3).outcome, JobOutcome::Done);
  const std::string command = std::string(SUNDRIX_CLI) + " verify '" + dir.file("f.bin.001") + "'";
  std::string out;
  EXPECT_EQ(testing_support::runCommand(command, &out), 0) << out;
  EXPECT_NE(out.find("ok       f.bin.003"), std::string::npos) << out;
  flipByte("f.bin.003", 0);
  EXPECT_EQ(testing_support::runCommand(command, &out), 1) << out;
  EXPECT_NE(out.find("MISMATCH f.bin.003"), std::string::npos) << out;
}

}  // namespace
