// What a split creates and what its scripts do, checked where data could be lost or a
// wrong file pass: script names that are paths, checksum lists shared between series,
// an earlier series with more parts, names past the file system's limits, .crc files
// that name files elsewhere, and join scripts run without their tools or with a part
// missing (the batch script under wine's cmd, where wine is installed).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>

#include "engine/combine.h"
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

namespace fs = std::filesystem;

// Every file below `folder` with what it holds, by its path below the folder.
std::map<std::string, std::string> snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string path = entry.path().string();
    files[path.substr(folder.size())] =
        entry.is_regular_file() ? testing_support::readText(path) : std::string("<folder>");
  }
  return files;
}

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string toolPath(const std::string& tool) {
  std::string out;
  if (testing_support::runCommand("command -v " + tool, &out) != 0) return {};
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

class SplitSafety;
struct Row {
  const char* name;
  std::function<void(SplitSafety&)> check;
};
void PrintTo(const Row& row, std::ostream* os) {
  *os << row.name;
}

class SplitSafety : public JobTest, public ::testing::WithParamInterface<Row> {
 public:
  void SetUp() override {
    JobTest::SetUp();
    splitOptions.checksum = true;
  }
  std::string input(const std::string& path, std::size_t size, std::uint32_t seed) {
    bytes = testing_support::makeBytes(size, seed);
    testing_support::writeFile(path, bytes);
    return path;
  }
  JobResult split(const std::string& path, std::int64_t parts, PartArchiver* archiver = nullptr) {
    return SplitFile({path, parts, "t"}, splitOptions, sink, stop, archiver);
  }
  JobResult join(const std::string& first, const std::string& output) {
    return CombineFiles({first, output, SelectFirstPart(first).combineCount}, joinOptions, sink,
                        stop);
  }
  // The longest name the test folder's file system takes; 0 when it has no limit.
  std::size_t nameMax() const {
    const long max = ::pathconf(dir.path().c_str(), _PC_NAME_MAX);
    return max > 0 && max < 4096 ? static_cast<std::size_t>(max) : 0;
  }
};

TEST_P(SplitSafety, Row) {
  GetParam().check(*this);
}

// The .crc file of a series names the joined file; a name that leads out of the parts'
// folder makes the file unusable: the join stops, naming the .crc file and why, and the
// file named is never read.
void crcNamesStayInThePartsFolder(SplitSafety& t) {
  const std::string outer = t.dir.path();
  ::mkdir((outer + "p").c_str(), 0777);
  ::mkdir((outer + "p/sub").c_str(), 0777);
  const std::string parts = outer + "p/";
  const auto whole = testing_support::makeBytes(9'000, 4);
  testing_support::writeFile(parts + "v.dat.001", {whole.begin(), whole.begin() + 5'000});
  testing_support::writeFile(parts + "v.dat.002", {whole.begin() + 5'000, whole.end()});
  // Each name reaches a file with the very bytes, so a check that read it would pass.
  testing_support::writeFile(outer + "outside.bin", whole);
  testing_support::writeFile(parts + "sub/outside.bin", whole);
  char crcLine[64];
  std::snprintf(crcLine, sizeof crcLine, "crc32=%08X\r\n", zip::crc32(whole.data(), whole.size()));
  for (const std::string& name :
       {std::string("../outside.bin"), outer + "outside.bin", std::string("sub/outside.bin"),
        std::string("C:\\outside.bin"), std::string("..")}) {
    SCOPED_TRACE(name);
    testing_support::writeText(parts + "v.dat.crc",
                               "filename=" + name + "\r\nsize=9000\r\n" + crcLine);
    const JobResult result = t.join(parts + "v.dat.001", outer + "joined");
    EXPECT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_TRUE(has(result.reason, parts + "v.dat.crc")) << result.reason;
    EXPECT_TRUE(has(result.reason, "not a plain file name")) << result.reason;
    EXPECT_FALSE(testing_support::exists(outer + "joined"));
    const VerifyReport report = VerifyParts(parts + "v.dat.001", t.stop);
    EXPECT_TRUE(has(report.problem, "not a plain file name")) << report.problem;
    EXPECT_TRUE(report.lines.empty());
  }
  EXPECT_EQ(testing_support::listFolder(parts),
            (std::vector<std::string>{"sub", "v.dat.001", "v.dat.002", "v.dat.crc"}));
}

// A script name is a name in the output folder: one that is a path, or names no file,
// is refused before anything is written, by the engine and by the command line (as a
// usage error).
void scriptNamesAreNames(SplitSafety& t) {
  const std::string outer = t.dir.path();
  ::mkdir((outer + "in").c_str(), 0777);
  ::mkdir((outer + "o").c_str(), 0777);
  ::mkdir((outer + "o/sub").c_str(), 0777);
  const std::string path = t.input(outer + "in/f.bin", 3'000, 5);
  t.splitOptions.folder = outer + "o/";
  t.splitOptions.withBat = true;
  t.splitOptions.removeInput = true;
  const auto before = snapshot(outer);
  for (const std::string& name : {std::string("../victim"), std::string("sub/victim"),
                                  outer + "victim", std::string("sub\\victim"), std::string(""),
                                  std::string("."), std::string(".."), std::string("C:victim")}) {
    SCOPED_TRACE("script name '" + name + "'");
    t.splitOptions.bat = name;
    const JobResult result = t.split(path, 2);
    EXPECT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_TRUE(has(result.reason, "plain file name")) << result.reason;
    EXPECT_EQ(snapshot(outer), before);
  }
  // Dots inside a name are no path.
  t.splitOptions.bat = "v..x";
  ASSERT_EQ(t.split(path, 2).outcome, JobOutcome::Done);
  EXPECT_EQ(testing_support::listFolder(outer + "o"),
            (std::vector<std::string>{"sub", "v..001", "v..002", "v..sha256", "v..x.bat"}));
  t.input(path, 3'000, 5);
  for (const std::string& name : testing_support::listFolder(outer + "o")) {
    if (name != "sub") std::remove((outer + "o/" + name).c_str());
  }
  for (const char* option : {"--bat", "--sh"}) {
    SCOPED_TRACE(option);
    std::string out;
    EXPECT_EQ(testing_support::runProgram({SUNDRIX_CLI, "split", path, "--parts", "2", "--out",
                                           outer + "o", option, "../victim", "--delete-input"},
                                          &out),
              2)
        << out;
    EXPECT_TRUE(has(out, "plain file name")) << out;
    EXPECT_EQ(snapshot(outer), before);
  }
}

// Two series in one folder, one of them named after a script: each keeps its own list,
// and the join, verify, the usual checking tool and the shell script all use it.
void eachSeriesKeepsItsOwnList(SplitSafety& t) {
  const std::string outer = t.dir.path();
  for (const char* folder : {"a", "b", "o"}) ::mkdir((outer + folder).c_str(), 0777);
  const std::string o = outer + "o/";
  t.splitOptions.folder = o;
  ASSERT_EQ(t.split(t.input(outer + "a/movie.avi", 30'000, 6), 3).outcome, JobOutcome::Done);
  const auto first = t.bytes;
  const std::string firstList = testing_support::readText(o + "movie.avi.sha256");
  t.splitOptions.withBat = true;
  t.splitOptions.sh = true;
  const JobResult second = t.split(t.input(outer + "b/movie.avi", 20'000, 7), 2);
  ASSERT_EQ(second.outcome, JobOutcome::Done) << second.message();
  EXPECT_EQ(testing_support::readText(o + "movie.avi.sha256"), firstList);
  ASSERT_TRUE(testing_support::exists(o + "temp.sha256"));
  EXPECT_TRUE(has(testing_support::readText(o + "temp.sha256"),
                  "sha256sum -c --ignore-missing temp.sha256"));

  JobResult joined = t.join(o + "temp.001", outer + "second");
  ASSERT_EQ(joined.outcome, JobOutcome::Done) << joined.message();
  EXPECT_TRUE(has(joined.summary, o + "temp.sha256")) << joined.summary;
  EXPECT_EQ(testing_support::readFile(outer + "second"), t.bytes);
  const VerifyReport report = VerifyParts(o + "temp.001", t.stop);
  EXPECT_EQ(report.against, o + "temp.sha256");
  EXPECT_TRUE(report.allRight()) << report.problem;
  if (!toolPath("sha256sum").empty()) {
    std::string out;
    EXPECT_EQ(testing_support::runCommand(
                  "cd '" + o + "' && sha256sum -c --ignore-missing temp.sha256 2>&1", &out),
              0)
        << out;
  }
  // The first series is still checked by its own list: a damaged part stops its join.
  auto part = testing_support::readFile(o + "movie.avi.002");
  part[10] ^= 1;
  testing_support::writeFile(o + "movie.avi.002", part);
  EXPECT_EQ(t.join(o + "movie.avi.001", outer + "first").outcome, JobOutcome::Failed);
  part[10] ^= 1;
  testing_support::writeFile(o + "movie.avi.002", part);
  joined = t.join(o + "movie.avi.001", outer + "first");
  ASSERT_EQ(joined.outcome, JobOutcome::Done) << joined.message();
  EXPECT_TRUE(has(joined.summary, o + "movie.avi.sha256")) << joined.summary;
  EXPECT_EQ(testing_support::readFile(outer + "first"), first);
  // The shell script carries the second series' checksums and joins it.
  std::string out;
  EXPECT_EQ(testing_support::runCommand("sh '" + o + "temp.sh' 2>&1", &out), 0) << out;
  EXPECT_EQ(testing_support::readFile(o + "movie.avi"), t.bytes);
}

// Parts of an earlier series past this split's last part: the split is refused before it
// writes anything, naming them, and every file of the earlier series stays as it was.
void anEarlierLongerSeriesIsKept(SplitSafety& t) {
  struct Case {
    const char* what;
    std::int64_t earlierParts, parts;
    bool script;
    const char* named;  // what the refusal names
    std::function<void(const std::string& folder)> arrange;
  };
  const Case cases[] = {
      {"plain parts", 5, 3, false, "f.bin.004, f.bin.005", {}},
      {"archives", 4, 2, false, "f.bin.003, f.bin.004.zip",
       [](const std::string& folder) {
         std::rename((folder + "f.bin.004").c_str(), (folder + "f.bin.004.zip").c_str());
       }},
      {"many",
       12,
       2,
       false,
       "f.bin.003, f.bin.004, f.bin.005, f.bin.006, f.bin.007 and 5 more",
       {}},
      {"named after a script", 4, 3, true, "temp.004", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir folder;
    t.splitOptions.folder = folder.path();
    t.splitOptions.withBat = c.script;
    t.splitOptions.removeInput = false;
    const std::string path = folder.file("f.bin");
    ASSERT_EQ(t.split(t.input(path, 6'000, 8), c.earlierParts).outcome, JobOutcome::Done);
    if (c.arrange) c.arrange(folder.path());
    t.input(path, 5'000, 9);  // another file of the same name
    t.splitOptions.removeInput = true;
    const auto before = snapshot(folder.path());
    const JobResult result = t.split(path, c.parts);
    EXPECT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_TRUE(has(result.reason, c.named)) << result.reason;
    EXPECT_TRUE(has(result.reason, "Nothing was written")) << result.reason;
    EXPECT_EQ(snapshot(folder.path()), before);
  }
}

// Every name a split creates is measured against the file system's limit before the
// first part: at the limit it is written, one byte past it nothing is.
void namesPastTheLimitAreRefusedUpFront(SplitSafety& t) {
  const std::size_t max = t.nameMax();
  if (max < 32) GTEST_SKIP() << "the test folder's file system has no usable name limit";
  const std::string limit = "at most " + std::to_string(max) + " bytes";
  struct Case {
    const char* what;
    std::size_t inputName;  // bytes of the input's name
    std::string script;     // "" for none
    bool checksum, zip;
    bool fits;
  };
  const std::string scriptAtLimit = "s." + std::string(max - 6, 'b');  // s.bbb...bat: max
  const Case cases[] = {
      {"parts at the limit", max - 4, "", false, false, true},
      {"their checksum file past it", max - 5, "", true, false, false},
      {"their archives past it", max - 4, "", false, true, false},
      {"a script at the limit", 10, scriptAtLimit, true, false, true},
      {"a script past it", 10, scriptAtLimit + "b", true, false, false},
  };
  ZipPartArchiver archiver;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir folder;
    t.splitOptions.folder = folder.path();
    t.splitOptions.checksum = c.checksum;
    t.splitOptions.compress = c.zip;
    t.splitOptions.withBat = !c.script.empty();
    t.splitOptions.bat = c.script;
    const std::string path = t.input(folder.file(std::string(c.inputName, 'n')), 3'000, 10);
    const JobResult result = t.split(path, 3, &archiver);
    if (c.fits) {
      EXPECT_EQ(result.outcome, JobOutcome::Done) << result.message();
      EXPECT_TRUE(result.warnings.empty()) << result.message();
      continue;
    }
    EXPECT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_TRUE(has(result.reason, limit)) << result.reason;
    EXPECT_EQ(testing_support::listFolder(folder.path()),
              std::vector<std::string>{std::string(c.inputName, 'n')});
  }
  // A folder so deep that the parts' paths pass the system's path limit.
  const long pathMax = ::pathconf(t.dir.path().c_str(), _PC_PATH_MAX);
  if (pathMax <= 0 || pathMax > 8192) return;
  std::string deep = t.dir.path();
  const auto want = static_cast<std::size_t>(pathMax) - 6;  // "f.bin.001" takes it past
  while (deep.size() + 1 < want) {
    deep += std::string(std::min<std::size_t>(200, want - deep.size() - 1), 'd') + "/";
    ASSERT_EQ(::mkdir(deep.c_str(), 0777), 0) << deep;
  }
  t.splitOptions = FakeSplitOptions{};
  t.splitOptions.folder = deep;
  const JobResult result = t.split(t.input(t.dir.file("f.bin"), 3'000, 11), 3);
  EXPECT_EQ(result.outcome, JobOutcome::Failed);
  EXPECT_TRUE(has(result.reason, "at most " + std::to_string(pathMax - 1) + " bytes"))
      << result.reason;
  EXPECT_TRUE(fs::is_empty(deep));
}

// With checksums to check and neither sha256sum nor shasum at hand, the shell script
// joins nothing and fails, instead of joining unchecked parts and saying "Joined".
void theShellScriptNeedsAHashTool(SplitSafety& t) {
  t.splitOptions.withBat = true;
  t.splitOptions.sh = true;
  t.splitOptions.removeInput = true;
  ASSERT_EQ(t.split(t.input(t.dir.file("f.bin"), 20'000, 12), 3).outcome, JobOutcome::Done);
  TempDir bin;  // the script's other tools, and nothing else
  for (const char* tool : {"dirname", "cat", "rm"}) {
    const std::string at = toolPath(tool);
    ASSERT_FALSE(at.empty()) << tool;
    ASSERT_EQ(::symlink(at.c_str(), bin.file(tool).c_str()), 0);
  }
  const std::string shell = toolPath("sh");
  ASSERT_FALSE(shell.empty());
  std::string out;
  EXPECT_EQ(
      testing_support::runCommand(
          "PATH='" + bin.path() + "' '" + shell + "' '" + t.dir.file("temp.sh") + "' 2>&1", &out),
      1)
      << out;
  EXPECT_TRUE(has(out, "nothing was joined")) << out;
  EXPECT_FALSE(has(out, "Joined")) << out;
  EXPECT_FALSE(testing_support::exists(t.dir.file("f.bin")));
  // With the tools it joins.
  if (!toolPath("sha256sum").empty() || !toolPath("shasum").empty()) {
    EXPECT_EQ(testing_support::runCommand("sh '" + t.dir.file("temp.sh") + "' 2>&1", &out), 0)
        << out;
    EXPECT_EQ(testing_support::readFile(t.dir.file("f.bin")), t.bytes);
  }
}

// The batch script under wine's cmd: a whole join deletes the parts and the script; with
// a part missing every part and the script stay.
void theBatchScriptDeletesOnlyAfterAWholeJoin(SplitSafety& t) {
  const std::string wine = toolPath("wine");
  if (wine.empty()) GTEST_SKIP() << "wine is not installed: the batch script is not run";
  // One prefix for every run (and for scripts/test-windows.sh): making one takes a while.
  const std::string environment =
      "WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' DISPLAY= WINEPREFIX='" +
      std::string(SUNDRIX_SOURCE_DIR) + "/build/wine-prefix' ";
  const auto runBat = [&](const std::string& command, std::string& out) {
    return testing_support::runCommand("cd '" + t.dir.path() + "' && " + environment + "'" + wine +
                                           "' cmd /c " + command + " 2>&1",
                                       &out);
  };
  // A fresh prefix is made by the first run; a wine that cannot start says nothing about
  // the script.
  std::string out;
  for (int attempt = 0; attempt < 2 && !has(out, "wine-is-ready"); ++attempt) {
    runBat("echo wine-is-ready", out);
  }
  if (!has(out, "wine-is-ready")) GTEST_SKIP() << "wine's cmd does not run here: " << out;
  t.splitOptions.withBat = true;
  t.splitOptions.batDelete = true;
  t.splitOptions.removeInput = true;
  t.splitOptions.checksum = false;
  ASSERT_EQ(t.split(t.input(t.dir.file("f.bin"), 30'000, 13), 3).outcome, JobOutcome::Done);
  runBat("temp.bat", out);
  EXPECT_EQ(testing_support::readFile(t.dir.file("f.bin")), t.bytes) << out;
  EXPECT_EQ(testing_support::listFolder(t.dir.path()), std::vector<std::string>{"f.bin"}) << out;

  ASSERT_EQ(t.split(t.dir.file("f.bin"), 3).outcome, JobOutcome::Done);
  std::remove(t.dir.file("temp.002").c_str());
  runBat("temp.bat", out);
  for (const char* kept : {"temp.001", "temp.003", "temp.bat"}) {
    EXPECT_TRUE(testing_support::exists(t.dir.file(kept))) << kept << "\n" << out;
  }
  EXPECT_NE(testing_support::readFile(t.dir.file("f.bin")), t.bytes);
}

// The batch script writes the joined file under its own name before renaming it: a name
// that is a part, the list or the input would destroy what it joins; a series made from
// another file is not replaced; a name's % reaches the script as %%; a Copy line longer
// than the interpreter reads is refused.
void scriptsNeverDestroyWhatTheyJoin(SplitSafety& t) {
  struct Case {
    const char* what;
    std::string script;
    std::int64_t parts;
    const char* says;
    bool elsewhere = false;  // the parts go into another folder than the input's
  };
  const Case cases[] = {
      {"a part's name", "x.002", 3, "that is a part"},
      {"the list's name", "x.sha256", 3, "the checksum file"},
      {"the input's name", "f.bin", 3, "the file being split"},
      {"the input's name in another folder", "f.bin", 3, "the file being split", true},
      {"a Copy line past 8191 characters", "temp", 1000, "8191"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir folder, output;
    t.splitOptions.folder = c.elsewhere ? output.path() : folder.path();
    t.splitOptions.withBat = true;
    t.splitOptions.bat = c.script;
    t.splitOptions.removeInput = true;
    const std::string path = t.input(folder.file("f.bin"), 3'000, 12);
    const auto before = snapshot(folder.path());
    const JobResult result = t.split(path, c.parts);
    EXPECT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_TRUE(has(result.reason, c.says)) << result.reason;
    EXPECT_EQ(snapshot(folder.path()), before);
    EXPECT_TRUE(testing_support::listFolder(output.path()).empty());
  }
  // NAME.one and NAME.two make the same series NAME.001 ...: the second is refused.
  TempDir folder;
  t.splitOptions.folder = folder.path();
  t.splitOptions.bat = "disk.one";
  ASSERT_EQ(t.split(t.input(folder.file("a.iso"), 3'000, 13), 3).outcome, JobOutcome::Done);
  t.splitOptions.bat = "disk.two";
  const std::string b = t.input(folder.file("b.iso"), 3'000, 14);
  const auto before = snapshot(folder.path());
  const JobResult clash = t.split(b, 3);
  EXPECT_EQ(clash.outcome, JobOutcome::Failed);
  EXPECT_TRUE(has(clash.reason, "are the parts of a.iso")) << clash.reason;
  EXPECT_EQ(snapshot(folder.path()), before);
  // Without a list, the script beside the parts says whose they are.
  TempDir scripted;
  t.splitOptions.folder = scripted.path();
  t.splitOptions.checksum = false;
  t.splitOptions.bat = "B";
  ASSERT_EQ(t.split(t.input(scripted.file("A"), 3'000, 16), 3).outcome, JobOutcome::Done);
  t.splitOptions.withBat = false;
  const std::string otherB = t.input(scripted.file("B"), 3'000, 17);
  const auto scriptedBefore = snapshot(scripted.path());
  const JobResult byScript = t.split(otherB, 3);
  EXPECT_EQ(byScript.outcome, JobOutcome::Failed);
  EXPECT_TRUE(has(byScript.reason, "are the parts of A")) << byScript.reason;
  EXPECT_EQ(snapshot(scripted.path()), scriptedBefore);
  t.splitOptions.withBat = true;
  t.splitOptions.checksum = true;
  // A % in a name is doubled in the script.
  TempDir pct;
  t.splitOptions.folder = pct.path();
  t.splitOptions.bat = "t%x%";
  ASSERT_EQ(t.split(t.input(pct.file("10% off"), 3'000, 15), 2).outcome, JobOutcome::Done);
  const std::string script = testing_support::readText(pct.file("t%x%.bat"));
  EXPECT_TRUE(has(script, "Copy /b \"t%%x%%.001\"+\"t%%x%%.002\" \"t%%x%%\"")) << script;
  EXPECT_TRUE(has(script, "Rename \"t%%x%%\" \"10%% off\"")) << script;
}

const Row kRows[] = {
    {"CrcNamesStayInThePartsFolder", crcNamesStayInThePartsFolder},
    {"ScriptNamesAreNames", scriptNamesAreNames},
    {"EachSeriesKeepsItsOwnList", eachSeriesKeepsItsOwnList},
    {"AnEarlierLongerSeriesIsKept", anEarlierLongerSeriesIsKept},
    {"NamesPastTheLimitAreRefusedUpFront", namesPastTheLimitAreRefusedUpFront},
    {"TheShellScriptNeedsAHashTool", theShellScriptNeedsAHashTool},
    {"TheBatchScriptDeletesOnlyAfterAWholeJoin", theBatchScriptDeletesOnlyAfterAWholeJoin},
    {"ScriptsNeverDestroyWhatTheyJoin", scriptsNeverDestroyWhatTheyJoin},
};

INSTANTIATE_TEST_SUITE_P(Cases, SplitSafety, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& row) {
                           return std::string(row.param.name);
                         });

}  // namespace
