// Loss patterns against the whole tool: a file split with recovery data (or given recovery
// files by par2cmdline), parts and recovery files lost or damaged, then joined or repaired.
// Every row ends with the original bytes or with a clear refusal that changed nothing.
#include <gtest/gtest.h>

#include <map>

#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
using testing_support::runCommand;

const std::string kCli = SUNDRIX_CLI;

bool havePar2() { return runCommand("command -v par2 >/dev/null 2>&1") == 0; }

struct Ran {
  int status = -1;
  std::string out;  // stdout and stderr together
};

Ran in(const TempDir& dir, const std::string& command) {
  Ran r;
  r.status = runCommand("cd " + testing_support::shellQuoted(dir.path()) + " && { " + command +
                            "; } 2>&1",
                        &r.out);
  return r;
}

// Every name in the folder with its bytes.
std::map<std::string, std::vector<std::uint8_t>> snapshot(const TempDir& dir) {
  std::map<std::string, std::vector<std::uint8_t>> files;
  for (const std::string& name : testing_support::listFolder(dir.path())) {
    files[name] = testing_support::readFile(dir.file(name));
  }
  return files;
}

// A byte in the middle of a file, changed.
std::string flip(const std::string& name, int at = 1000) {
  return "printf '\\377' | dd of=" + name + " bs=1 seek=" + std::to_string(at) +
         " conv=notrunc status=none";
}

struct Row {
  const char* name;
  const char* split;    // arguments of the split of d.bin (8 parts of 100000 bytes)
  std::string damage;   // shell commands run on the parts and recovery files
  std::string command;  // what the receiver runs
  bool restored;        // true: d.bin comes back whole; false: refused, nothing changed
  const char* says;     // in the output
  bool par2 = false;    // needs par2cmdline
};

std::vector<Row> rows() {
  return {
      {"one part missing, joined", "--parts 8 --recovery 1", "rm d.bin.003", "join d.bin.001",
       true, "rebuilt d.bin.003 from recovery data"},
      {"one part damaged, joined; the damaged one kept aside", "--parts 8 --recovery 1",
       flip("d.bin.005"), "join d.bin.001 && cmp -s d.bin.005.damaged d.bin.005; test $? = 1",
       true, "rebuilt d.bin.005 from recovery data"},
      {"the last part cut short, repaired", "--parts 8 --recovery 1",
       "truncate -s 5000 d.bin.008", "repair d.bin.001 && " + kCli + " join d.bin.001", true,
       "rebuilt d.bin.008 from recovery data"},
      {"N missing, repaired then joined", "--parts 8 --recovery 3",
       "rm d.bin.001 d.bin.004 d.bin.008", "repair d.bin.001 && " + kCli + " join d.bin.001", true,
       "rebuilt d.bin.004 from recovery data"},
      {"10 % of 8 parts rebuilds one", "--parts 8 --recovery 10%", "rm d.bin.002",
       "join d.bin.001", true, "rebuilt d.bin.002"},
      {"one more missing than recovery blocks: refused", "--parts 8 --recovery 2",
       "rm d.bin.002 d.bin.003 d.bin.007", "join d.bin.001", false, "Not rebuilt"},
      {"repair refuses too much loss", "--parts 8 --recovery 1", "rm d.bin.002 d.bin.003",
       "repair d.bin.001", false, "nothing was changed"},
      {"repair given a part's archive: refused, naming the part", "--parts 8 --recovery 1",
       "rm d.bin.003 && cp d.bin.001 d.bin.001.zip", "repair d.bin.001.zip", false,
       "give a part's name (d.bin.001)"},
      {"a file of the user's at PART.damaged: refused", "--parts 8 --recovery 1",
       flip("d.bin.005") + " && echo mine > d.bin.005.damaged", "repair d.bin.001", false,
       "d.bin.005.damaged is in the way"},
      {"recovery files damaged, parts intact: nothing changes", "--parts 8 --recovery 2",
       flip("d.bin.par2", 10) + " && " + flip("d.bin.vol00+01.par2", 30) + " && " +
           flip("d.bin.vol01+01.par2", 50000),
       "join d.bin.001", true, "Verified"},
      {"one volume damaged, the other rebuilds a lost part", "--parts 8 --recovery 2",
       flip("d.bin.vol00+01.par2", 50000) + " && rm d.bin.006", "join d.bin.001", true,
       "rebuilt d.bin.006"},
      {"index lost, volume truncated, a part lost: refused", "--parts 8 --recovery 1",
       "rm d.bin.par2 d.bin.006 && truncate -s 60000 d.bin.vol00+01.par2", "join d.bin.001", false,
       "d.bin.006"},
      {"recovery files of other bytes: the listed parts are kept", "--parts 8",
       "mkdir other && for i in 1 2 3 4 5 6 7 8; do head -c 100000 /dev/zero > other/d.bin.00$i; "
       "done && (cd other && par2 create -q -q -s100000 -c2 d.bin.par2 d.bin.0*) && "
       "mv other/*.par2 . && rm -r other",
       "join d.bin.001", true, "kept as it is", true},
      {"par2cmdline's recovery files, one part lost", "--parts 8",
       "par2 create -q -q -s100000 -c1 d.bin.par2 d.bin.0* && rm d.bin.007", "join d.bin.001",
       true, "rebuilt d.bin.007", true},
      {"par2cmdline repairs the split's recovery files", "--parts 8 --recovery 2",
       "rm d.bin.001 && " + flip("d.bin.004"), "par2 repair -q -q d.bin.par2 && " + kCli +
       " join d.bin.001", true, "Verified", true},
      {"par2cmdline verifies the split's recovery files", "--parts 8 --recovery 1", "",
       "par2 verify d.bin.par2 && " + kCli + " join d.bin.001", true, "All files are correct",
       true},
  };
}

TEST(RecoveryLoss, EveryPatternEndsWithTheFileOrARefusal) {
  const bool par2 = havePar2();
  if (!par2) std::printf("par2 (par2cmdline) is not installed: its rows are skipped\n");
  for (const Row& row : rows()) {
    SCOPED_TRACE(row.name);
    if (row.par2 && !par2) continue;
    TempDir dir;
    testing_support::writeFile(dir.file("orig"), testing_support::makeBytes(800000, 26));
    ASSERT_EQ(in(dir, "cp orig d.bin && " + kCli + " split -q d.bin " + row.split +
                          " && rm d.bin").status, 0);
    if (!row.damage.empty()) {
      ASSERT_EQ(in(dir, row.damage).status, 0);
    }
    const auto before = snapshot(dir);
    const std::string command = row.command.starts_with("par2") ? row.command : kCli + " " + row.command;
    const Ran r = in(dir, command);
    EXPECT_NE(r.out.find(row.says), std::string::npos) << r.out;
    if (row.restored) {
      EXPECT_EQ(r.status, 0) << r.out;
      EXPECT_EQ(testing_support::readFile(dir.file("d.bin")),
                testing_support::readFile(dir.file("orig")));
    } else {
      EXPECT_EQ(r.status, 1) << r.out;
      EXPECT_EQ(snapshot(dir), before);
    }
  }
}

// verify names what is damaged and whether it can be rebuilt, and fails until repaired.
TEST(RecoveryLoss, VerifyTellsWhatRepairWouldRebuild) {
  TempDir dir;
  testing_support::writeFile(dir.file("d.bin"), testing_support::makeBytes(300000, 7));
  ASSERT_EQ(in(dir, kCli + " split -q d.bin --parts 4 --recovery 1").status, 0);
  EXPECT_EQ(in(dir, kCli + " verify d.bin.001").status, 0);
  ASSERT_EQ(in(dir, flip("d.bin.002")).status, 0);
  Ran r = in(dir, kCli + " verify d.bin.001");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("MISMATCH d.bin.002"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("d.bin.002 is missing or damaged"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("can be rebuilt: run 'sundrix-cli repair d.bin.001'"), std::string::npos);
  ASSERT_EQ(in(dir, "rm d.bin.003").status, 0);
  r = in(dir, kCli + " verify d.bin.001");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("cannot be rebuilt"), std::string::npos) << r.out;
  // Without the checksum list the recovery files alone judge the parts.
  ASSERT_EQ(in(dir, "rm d.bin.sha256 d.bin.002 && " + kCli + " repair d.bin.001").status, 1);
}

// What a split with recovery data refuses, and what it leaves of an earlier split.
TEST(RecoveryLoss, SplitRefusesWhatItCannotCoverAndDropsStaleRecoveryFiles) {
  TempDir dir;
  testing_support::writeFile(dir.file("d.bin"), testing_support::makeBytes(100000, 3));
  struct Refusal {
    const char* arguments;
    int status;
    const char* says;
  };
  for (const Refusal& row : std::vector<Refusal>{
           {"d.bin --parts 2 --recovery 0", 2, "invalid recovery amount '0'"},
           {"d.bin --parts 2 --recovery 101%", 2, "invalid recovery amount"},
           {"d.bin --parts 2 --recovery x", 2, "invalid recovery amount"},
           {"d.bin --parts 2 --recovery 1 --zip", 2, "--zip deletes"},
           {"d.bin --parts 2 --deflate --recovery 1", 2, "--deflate deletes"},
           {"- --size 1K --name s --recovery 1 </dev/null", 2, "need a FILE"},
       }) {
    SCOPED_TRACE(row.arguments);
    const Ran r = in(dir, kCli + " split " + row.arguments);
    EXPECT_EQ(r.status, row.status);
    EXPECT_NE(r.out.find(row.says), std::string::npos) << r.out;
  }
  EXPECT_EQ(testing_support::listFolder(dir.path()), std::vector<std::string>{"d.bin"});
  // A name whose parts fit the file system but whose recovery volumes' longer names do not.
  const std::string longName(246, 'n');
  ASSERT_EQ(in(dir, "cp d.bin " + longName).status, 0);
  const Ran tooLong = in(dir, kCli + " split " + longName + " --parts 2 --no-checksum --recovery 1");
  EXPECT_EQ(tooLong.status, 1);
  EXPECT_NE(tooLong.out.find("with recovery data: the name " + longName + ".vol"),
            std::string::npos) << tooLong.out;
  EXPECT_NE(tooLong.out.find("Nothing was written"), std::string::npos) << tooLong.out;
  ASSERT_EQ(in(dir, "rm " + longName).status, 0);
  EXPECT_EQ(testing_support::listFolder(dir.path()), std::vector<std::string>{"d.bin"});
  // Parts of 1.5 GiB, one recovery block each: more memory than the recovery data may take.
  ASSERT_EQ(in(dir, "truncate -s 3G big").status, 0);
  const Ran big = in(dir, kCli + " split big --parts 2 --recovery 1");
  EXPECT_EQ(big.status, 1);
  EXPECT_NE(big.out.find("MiB of memory"), std::string::npos) << big.out;
  EXPECT_FALSE(testing_support::exists(dir.file("big.001")));
  ASSERT_EQ(in(dir, "rm big").status, 0);

  ASSERT_EQ(in(dir, kCli + " split -q d.bin --parts 3 --recovery 2").status, 0);
  EXPECT_TRUE(testing_support::exists(dir.file("d.bin.vol01+01.par2")));
  const Ran again = in(dir, kCli + " split d.bin --parts 3");
  EXPECT_EQ(again.status, 0) << again.out;
  EXPECT_NE(again.out.find("of an earlier split was removed"), std::string::npos) << again.out;
  EXPECT_EQ(in(dir, "ls *.par2").status, 2);
  // A file of the user's at the index's name is not replaced.
  testing_support::writeText(dir.file("d.bin.par2"), "mine");
  const Ran mine = in(dir, kCli + " split d.bin --parts 3 --recovery 1");
  EXPECT_EQ(mine.status, 1);
  EXPECT_NE(mine.out.find("did not write"), std::string::npos) << mine.out;
  EXPECT_EQ(testing_support::readText(dir.file("d.bin.par2")), "mine");
  // Nor is a set the user made over the input itself, by a split with recovery data or
  // without.
  if (!havePar2()) GTEST_SKIP() << "no par2";
  ASSERT_EQ(in(dir, "rm d.bin.par2 d.bin.00? && par2 create -q -q -r5 d.bin.par2 d.bin").status, 0);
  const auto users = snapshot(dir);
  const Ran covered = in(dir, kCli + " split d.bin --parts 3 --recovery 1");
  EXPECT_EQ(covered.status, 1);
  EXPECT_NE(covered.out.find("d.bin.par2 is recovery data of d.bin, no part of this series"),
            std::string::npos) << covered.out;
  EXPECT_EQ(snapshot(dir), users);
  const Ran plain = in(dir, kCli + " split -q d.bin --parts 3");
  EXPECT_EQ(plain.status, 0) << plain.out;
  for (const auto& [name, bytes] : users) {
    if (name.ends_with(".par2")) {
      EXPECT_EQ(testing_support::readFile(dir.file(name)), bytes) << name;
    }
  }
  EXPECT_EQ(in(dir, "par2 verify -q -q d.bin.par2").status, 0);
}

// The README's repair examples, run as printed (with parts of 1 MiB), for a receiver with
// this program and for one with par2cmdline.
TEST(RecoveryLoss, TheReadmesRepairExamplesWork) {
  const std::string readme = testing_support::readText(SUNDRIX_SOURCE_DIR "/README.md");
  const std::vector<std::string> lines = {
      "sundrix-cli split movie.avi --size 700M --recovery 1", "sundrix-cli verify movie.avi.001",
      "sundrix-cli repair movie.avi.001",  "sundrix-cli join movie.avi.001",
      "par2 verify movie.avi.par2",        "par2 repair movie.avi.par2"};
  for (const std::string& line : lines) {
    EXPECT_NE(readme.find("\n    " + line + "\n"), std::string::npos) << line;
  }
  if (!havePar2()) GTEST_SKIP() << "no par2";
  TempDir dir;
  testing_support::writeFile(dir.file("orig"), testing_support::makeBytes(3 << 20, 9));
  const std::string cli = kCli.substr(0, kCli.rfind('/'));
  const Ran r = in(dir, "export PATH=" + testing_support::shellQuoted(cli) +
                            ":\"$PATH\" && cp orig movie.avi && "
                            "sundrix-cli split movie.avi --size 1M --recovery 1 && rm movie.avi && "
                            "rm movie.avi.002 && ! sundrix-cli verify movie.avi.001 && "
                            "sundrix-cli repair movie.avi.001 && sundrix-cli verify movie.avi.001 && "
                            "sundrix-cli join movie.avi.001 && cmp movie.avi orig && rm movie.avi && " +
                            flip("movie.avi.003") + " && ! par2 verify movie.avi.par2 >/dev/null && "
                            "par2 repair movie.avi.par2 >/dev/null && cat movie.avi.00[0-9] > movie.avi && "
                            "cmp movie.avi orig");
  EXPECT_EQ(r.status, 0) << r.out;
}

}  // namespace
