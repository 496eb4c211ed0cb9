// The run ledger holds a path as a prefix and a number or a name, and finds files by path
// and by object through tables of its own: every kind of name comes back as it went in,
// and removing files in any order leaves the others found.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "engine/run_ledger.h"
#include "platform/file.h"
#include "support/temp_dir.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using engine::RunLedger;

struct Written {
  std::string path;
  std::int64_t size;
};

Written writeOne(const std::string& path, std::int64_t size) {
  testing_support::writeText(path, std::string(static_cast<std::size_t>(size), 'x'));
  return {path, size};
}

// Names of every shape the ledger tells apart: numbered the way parts are (kept as a
// number), numbered otherwise (kept as a name), and plain.
const std::vector<std::string> kNames = {
    "a.001", "a.999", "a.1000", "a.123456789", "a.0001", "a.01", "a.000", "a.1234567890",
    ".001", "b.txt", "noext", "x.y.042", "a.001.zip", "a.sha256"};

TEST(RunLedger, EveryKindOfNameIsFoundByPathAndObjectAndVerified) {
  testing_support::TempDir dir;
  testing_support::TempDir other;
  RunLedger ledger;
  std::vector<Written> files;
  std::string problem;
  for (const std::string& name : kNames) {
    for (const testing_support::TempDir* folder : {&dir, &other}) {
      files.push_back(writeOne(folder->file(name), static_cast<std::int64_t>(files.size())));
      ASSERT_TRUE(ledger.add(files.back().path, files.back().size, problem)) << problem;
    }
  }
  platform::IoError err;
  EXPECT_TRUE(ledger.verify(err)) << err.message();
  for (const Written& file : files) EXPECT_TRUE(ledger.holds(file.path)) << file.path;

  // A file that no longer has the size written, named in full.
  for (const Written& file : {files[2], files[9], files[20]}) {
    SCOPED_TRACE(file.path);
    writeOne(file.path, file.size + 1);
    EXPECT_FALSE(ledger.verify(err));
    EXPECT_NE(err.message().find(file.path), std::string::npos) << err.message();
    writeOne(file.path, file.size);
  }
  EXPECT_TRUE(ledger.verify(err)) << err.message();
}

// Removing entries moves others in the tables: after any order of removals and new
// additions, what is left is found and what went is not.
TEST(RunLedger, RemovalsInAnyOrderKeepTheRestFound) {
  testing_support::TempDir dir;
  RunLedger ledger;
  std::vector<Written> files;
  std::string problem;
  ledger.reserve(100);  // fewer than added: the tables grow as well
  for (int k = 1; k <= 3000; ++k) {
    const std::string name = k % 3 == 0 ? "p.bin." + std::to_string(k) : "p.bin.00" + std::to_string(k);
    files.push_back(writeOne(dir.file(name), 1));
    ASSERT_TRUE(ledger.add(files.back().path, 1, problem)) << problem;
  }
  std::mt19937 random(27);
  std::shuffle(files.begin(), files.end(), random);
  const std::vector<Written> gone(files.begin(), files.begin() + 2000);
  for (const Written& file : gone) ledger.remove(file.path);
  for (const Written& file : gone) {
    EXPECT_FALSE(ledger.holds(file.path)) << file.path;
    std::remove(file.path.c_str());  // a ledger that still held it would fail to verify
  }
  for (std::size_t k = 2000; k < files.size(); ++k) EXPECT_TRUE(ledger.holds(files[k].path));
  // Added again under the same names, as new files: found again, and verified.
  for (std::size_t k = 0; k < 500; ++k) {
    writeOne(gone[k].path, 2);
    ASSERT_TRUE(ledger.add(gone[k].path, 2, problem)) << problem;
  }
  platform::IoError err;
  EXPECT_TRUE(ledger.verify(err)) << err.message();
  for (std::size_t k = 0; k < 500; ++k) EXPECT_TRUE(ledger.holds(gone[k].path));
}

#ifndef _WIN32
// One file under two names of this run means one name lost its bytes: refused, naming both,
// whatever the kind of either name.
TEST(RunLedger, TwoNamesOfOneFileAreRefused) {
  testing_support::TempDir dir;
  for (const auto& [first, second] : std::vector<std::pair<std::string, std::string>>{
           {"a.001", "a.002"}, {"a.001", "notes"}, {"notes", "a.001"}, {"a.0001", "a.1"}}) {
    SCOPED_TRACE(first + " " + second);
    RunLedger ledger;
    std::string problem;
    writeOne(dir.file(first), 3);
    ASSERT_TRUE(ledger.add(dir.file(first), 3, problem)) << problem;
    ASSERT_EQ(::link(dir.file(first).c_str(), dir.file(second).c_str()), 0);
    EXPECT_FALSE(ledger.add(dir.file(second), 3, problem));
    EXPECT_NE(problem.find(dir.file(second) + " and " + dir.file(first) + " are one file"),
              std::string::npos)
        << problem;
    // The same name again is the same file: taken.
    EXPECT_TRUE(ledger.add(dir.file(first), 3, problem)) << problem;
    std::remove(dir.file(first).c_str());
    std::remove(dir.file(second).c_str());
  }
}
#endif

}  // namespace
