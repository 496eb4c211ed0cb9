// Another PAR 2.0 program as the judge, both ways: recovery files made here are verified
// and used for repair by `par2` (par2cmdline), and recovery files `par2 create` made are
// used for repair here. Skipped where `par2` is not installed.
#include <gtest/gtest.h>

#include <functional>

#include "par2/recovery_creator.h"
#include "par2/recovery_repair.h"
#include "par2/recovery_set.h"
#include "platform/file.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
using Bytes = std::vector<std::uint8_t>;

bool havePar2() {
  return testing_support::runCommand("command -v par2 >/dev/null 2>&1") == 0;
}

int par2In(const TempDir& dir, const std::string& arguments, std::string* output = nullptr) {
  return testing_support::runCommand("cd '" + dir.path() + "' && par2 " + arguments + " 2>&1", output);
}

std::vector<std::string> names(std::size_t n) {
  std::vector<std::string> out;
  for (std::size_t i = 1; i <= n; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "v.iso.%03zu", i);
    out.push_back(name);
  }
  return out;
}

struct Row {
  const char* name;
  std::vector<std::size_t> sizes;
  std::uint64_t sliceSize;  // 0: one slice per part
  std::uint32_t blocks;
  std::vector<std::size_t> lost;     // parts deleted
  std::vector<std::size_t> damaged;  // parts with a byte changed in their middle
};

const std::vector<Row>& rows() {
  static const std::vector<Row> r = {
      {"8 parts, one slice each, one lost", {40000, 40000, 40000, 40000, 40000, 40000, 40000, 123}, 0, 1, {3}, {}},
      {"8 parts, one slice each, one damaged", {40000, 40000, 40000, 40000, 40000, 40000, 40000, 123}, 0, 1, {}, {6}},
      {"3 parts, small slices, one lost one damaged", {20000, 20000, 9999 + 1}, 2048, 16, {0}, {2}},
      {"parts under 16 KiB, two lost", {1000, 1000, 1000, 999 + 1}, 0, 2, {1, 3}, {}},
      {"an empty part beside others, one lost", {5000, 0, 3000}, 1024, 3, {2}, {}},
      {"slices over 8 MiB, one lost one damaged", {(9 << 20) + 5, (9 << 20) + 5, 5 << 20}, 0, 2, {0}, {2}},
  };
  return r;
}

std::vector<Bytes> writeParts(const TempDir& dir, const Row& row) {
  std::vector<Bytes> bytes;
  const auto n = names(row.sizes.size());
  for (std::size_t i = 0; i < n.size(); ++i) {
    bytes.push_back(testing_support::makeBytes(row.sizes[i], 40 + static_cast<std::uint32_t>(i)));
    testing_support::writeFile(dir.file(n[i]), bytes.back());
  }
  return bytes;
}

void damage(const TempDir& dir, const Row& row) {
  const auto n = names(row.sizes.size());
  platform::IoError err;
  for (std::size_t i : row.lost) ASSERT_TRUE(platform::removeFile(dir.file(n[i]), err));
  for (std::size_t i : row.damaged) {
    Bytes b = testing_support::readFile(dir.file(n[i]));
    b[b.size() / 2] ^= 0xFF;
    testing_support::writeFile(dir.file(n[i]), b);
  }
}

std::uint64_t sliceSizeOf(const Row& row) {
  return row.sliceSize != 0 ? row.sliceSize
                            : par2::sliceSizeForParts(*std::max_element(row.sizes.begin(), row.sizes.end()));
}

TEST(Par2Oracle, SetsMadeHereAreVerifiedAndRepairedByPar2) {
  if (!havePar2()) GTEST_SKIP() << "par2 (par2cmdline) is not installed: oracle not run";
  for (const Row& row : rows()) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    const std::vector<Bytes> bytes = writeParts(dir, row);
    std::vector<std::string> paths;
    for (const std::string& n : names(row.sizes.size())) paths.push_back(dir.file(n));
    std::vector<std::string> written;
    platform::IoError err;
    ASSERT_TRUE(par2::createRecoveryFiles(paths, {sliceSizeOf(row), row.blocks}, dir.file("v.iso"), written, err))
        << err.message();
    std::string out;
    ASSERT_EQ(par2In(dir, "verify -q v.iso.par2", &out), 0) << out;
    damage(dir, row);
    EXPECT_NE(par2In(dir, "verify -q v.iso.par2", &out), 0) << "par2 sees no damage";
    ASSERT_EQ(par2In(dir, "repair -q v.iso.par2", &out), 0) << out;
    for (std::size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(testing_support::readFile(paths[i]), bytes[i]) << paths[i];
  }
}

TEST(Par2Oracle, SetsMadeByPar2AreRepairedHere) {
  if (!havePar2()) GTEST_SKIP() << "par2 (par2cmdline) is not installed: oracle not run";
  for (const Row& row : rows()) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    const std::vector<Bytes> bytes = writeParts(dir, row);
    std::string list;
    for (const std::string& n : names(row.sizes.size())) list += " " + n;
    std::string out;
    ASSERT_EQ(par2In(dir, "create -q -q -s" + std::to_string(sliceSizeOf(row)) + " -c" +
                              std::to_string(row.blocks) + " v.iso.par2" + list, &out), 0) << out;
    damage(dir, row);
    std::vector<std::string> recovery;
    for (const std::string& n : testing_support::listFolder(dir.path())) {
      if (n.find(".par2") != std::string::npos) recovery.push_back(dir.file(n));
    }
    par2::RecoverySet set;
    ASSERT_TRUE(set.load(recovery)) << set.error();
    EXPECT_TRUE(set.rejections().empty()) << set.rejections()[0].message();
    EXPECT_EQ(set.blocks().size(), row.blocks);
    const auto sources = par2::pathsInFolder(set, dir.path());
    const par2::SetCheck check = par2::checkFiles(set, sources);
    EXPECT_TRUE(check.repairable) << check.summary;
    std::vector<std::string> outputs;
    for (const std::string& s : sources) outputs.push_back(s + ".rebuilt");
    const par2::RepairResult r = par2::repairFiles(set, check, sources, outputs);
    ASSERT_EQ(r.status, par2::RepairStatus::Rebuilt) << r.message;
    EXPECT_EQ(r.rebuilt.size(), row.lost.size() + row.damaged.size());
    const auto n = names(row.sizes.size());
    for (std::size_t f : r.rebuilt) {
      const std::size_t part = static_cast<std::size_t>(std::find(n.begin(), n.end(), set.files()[f].description.name) - n.begin());
      ASSERT_LT(part, n.size());
      EXPECT_EQ(testing_support::readFile(outputs[f]), bytes[part]) << outputs[f];
    }
  }
}

}  // namespace
