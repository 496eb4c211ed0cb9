// Recovery sets made, read, checked and repaired: a table of losses (parts missing,
// damaged, cut short or grown; recovery files damaged, cut short or gone), each ending with
// the original bytes in new files or a refusal that leaves every file as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "par2/recovery_creator.h"
#include "par2/recovery_repair.h"
#include "par2/recovery_set.h"
#include "platform/file.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
using Bytes = std::vector<std::uint8_t>;

struct Series {
  std::vector<std::string> paths;
  std::vector<Bytes> bytes;
};

Series makeParts(const TempDir& dir, const std::vector<std::size_t>& sizes, std::uint32_t seed) {
  Series s;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "d.bin.%03zu", i + 1);
    s.paths.push_back(dir.file(name));
    s.bytes.push_back(testing_support::makeBytes(sizes[i], seed + static_cast<std::uint32_t>(i)));
    testing_support::writeFile(s.paths.back(), s.bytes.back());
  }
  return s;
}

std::vector<std::string> par2Files(const TempDir& dir) {
  std::vector<std::string> out;
  for (const std::string& name : testing_support::listFolder(dir.path())) {
    if (name.size() > 5 && name.substr(name.size() - 5) == ".par2") out.push_back(dir.file(name));
  }
  // The index first, as a receiver would name it.
  std::stable_sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
    return a.find(".vol") == std::string::npos && b.find(".vol") != std::string::npos;
  });
  return out;
}

void flipByte(const std::string& path, std::int64_t at) {
  Bytes b = testing_support::readFile(path);
  b[static_cast<std::size_t>(at < 0 ? static_cast<std::int64_t>(b.size()) + at : at)] ^= 0x5A;
  testing_support::writeFile(path, b);
}

void cutTo(const std::string& path, std::size_t size) {
  Bytes b = testing_support::readFile(path);
  b.resize(size);
  testing_support::writeFile(path, b);
}

void removePath(const std::string& path) {
  platform::IoError err;
  ASSERT_TRUE(platform::removeFile(path, err)) << err.message();
}

struct LossCase {
  const char* name;
  std::vector<std::size_t> sizes;
  std::uint64_t sliceSize;  // 0: the rule for parts, one slice per part
  std::uint32_t blocks;
  std::function<void(const TempDir&, const Series&)> damage;
  bool rebuilt;             // else refused, with nothing written
  const char* rejection;    // a reason the reader must report ("" for none)
};

std::vector<LossCase> lossCases() {
  const std::vector<std::size_t> eight = {4096, 4096, 4096, 4096, 4096, 4096, 4096, 1000};
  return {
      {"one part missing", eight, 0, 1, [](auto&, auto& s) { removePath(s.paths[2]); }, true, ""},
      {"one part damaged", eight, 0, 1, [](auto&, auto& s) { flipByte(s.paths[5], 77); }, true, ""},
      {"last part damaged", eight, 0, 1, [](auto&, auto& s) { flipByte(s.paths[7], -1); }, true, ""},
      {"one part cut short", eight, 0, 1, [](auto&, auto& s) { cutTo(s.paths[0], 100); }, true, ""},
      {"one part grown", eight, 0, 1,
       [](auto&, auto& s) {
         Bytes b = s.bytes[3];
         b.push_back(9);
         testing_support::writeFile(s.paths[3], b);
       }, true, ""},
      {"two parts missing, two blocks", eight, 0, 2,
       [](auto&, auto& s) { removePath(s.paths[0]); removePath(s.paths[7]); }, true, ""},
      {"three parts missing, two blocks", eight, 0, 2,
       [](auto&, auto& s) { removePath(s.paths[0]); removePath(s.paths[1]); removePath(s.paths[2]); },
       false, ""},
      {"every part missing, as many blocks", {1000, 1000, 500}, 0, 3,
       [](auto&, auto& s) { for (auto& p : s.paths) removePath(p); }, true, ""},
      {"small slices, one part missing", {10000, 10000, 5000}, 1024, 12,
       [](auto&, auto& s) { removePath(s.paths[1]); }, true, ""},
      {"small slices, scattered damage", {10000, 10000, 5000}, 1024, 3,
       [](auto&, auto& s) { flipByte(s.paths[0], 5); flipByte(s.paths[1], 9000); flipByte(s.paths[2], 4999); },
       true, ""},
      {"small slices, too much damage", {10000, 10000, 5000}, 1024, 2,
       [](auto&, auto& s) { flipByte(s.paths[0], 5); flipByte(s.paths[1], 9000); flipByte(s.paths[2], 4999); },
       false, ""},
      {"slices over 8 MiB, one missing one damaged", {(9 << 20) + 5, (9 << 20) + 5, 5 << 20}, 0, 2,
       [](auto&, auto& s) { removePath(s.paths[0]); flipByte(s.paths[2], 3 << 20); }, true, ""},
      {"recovery data damaged, another block left", eight, 0, 3,
       [](auto& d, auto& s) { flipByte(d.file("d.bin.vol00+01.par2"), 100); removePath(s.paths[4]); },
       true, "MD5 does not match"},
      {"only recovery block damaged", eight, 0, 1,
       [](auto& d, auto& s) { flipByte(d.file("d.bin.vol00+01.par2"), 100); removePath(s.paths[4]); },
       false, "MD5 does not match"},
      {"volume cut short", eight, 0, 3,
       [](auto& d, auto& s) { cutTo(d.file("d.bin.vol01+02.par2"), 5000); removePath(s.paths[6]); },
       true, "cut short"},
      {"index gone: volumes describe the set", eight, 0, 1,
       [](auto& d, auto& s) { removePath(d.file("d.bin.par2")); removePath(s.paths[1]); }, true, ""},
      {"index damaged", eight, 0, 1,
       [](auto& d, auto& s) { flipByte(d.file("d.bin.par2"), 70); removePath(s.paths[1]); }, true,
       "MD5 does not match"},
  };
}

TEST(RecoveryRepair, LossPatterns) {
  for (const LossCase& c : lossCases()) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const Series s = makeParts(dir, c.sizes, 11);
    par2::CreateOptions options;
    options.sliceSize = c.sliceSize != 0 ? c.sliceSize
                                         : par2::sliceSizeForParts(*std::max_element(c.sizes.begin(), c.sizes.end()));
    options.recoveryBlocks = c.blocks;
    std::vector<std::string> written;
    platform::IoError err;
    ASSERT_TRUE(par2::createRecoveryFiles(s.paths, options, dir.file("d.bin"), written, err)) << err.message();
    c.damage(dir, s);
    const std::vector<std::string> before = testing_support::listFolder(dir.path());

    par2::RecoverySet set;
    ASSERT_TRUE(set.load(par2Files(dir))) << set.error();
    if (*c.rejection != '\0') {
      ASSERT_FALSE(set.rejections().empty());
      EXPECT_NE(set.rejections()[0].reason.find(c.rejection), std::string::npos) << set.rejections()[0].message();
    } else {
      EXPECT_TRUE(set.rejections().empty()) << set.rejections()[0].message();
    }
    const std::vector<std::string> sources = par2::pathsInFolder(set, dir.path());
    const par2::SetCheck check = par2::checkFiles(set, sources);
    EXPECT_FALSE(check.allGood);
    EXPECT_EQ(check.repairable, c.rebuilt) << check.summary;
    std::vector<std::string> outputs;
    for (const std::string& p : sources) outputs.push_back(p + ".rebuilt");
    const par2::RepairResult r = par2::repairFiles(set, check, sources, outputs);
    if (!c.rebuilt) {
      EXPECT_EQ(r.status, par2::RepairStatus::TooFewBlocks) << r.message;
      EXPECT_EQ(testing_support::listFolder(dir.path()), before);
      continue;
    }
    ASSERT_EQ(r.status, par2::RepairStatus::Rebuilt) << r.message;
    for (std::size_t i = 0; i < s.paths.size(); ++i) {
      const std::size_t f = static_cast<std::size_t>(
          std::find(sources.begin(), sources.end(), s.paths[i]) - sources.begin());
      ASSERT_LT(f, sources.size());
      const bool wasBad = check.files[f].state != par2::FileState::Good;
      EXPECT_EQ(std::count(r.rebuilt.begin(), r.rebuilt.end(), f), wasBad ? 1 : 0);
      if (wasBad) {
        EXPECT_EQ(testing_support::readFile(outputs[f]), s.bytes[i]) << s.paths[i];
      } else {
        EXPECT_FALSE(testing_support::exists(outputs[f]));
        EXPECT_EQ(testing_support::readFile(s.paths[i]), s.bytes[i]);
      }
    }
  }
}

TEST(RecoveryRepair, IntactPartsNeedNothingWhateverTheRecoveryFilesHold) {
  TempDir dir;
  const Series s = makeParts(dir, {3000, 3000, 10}, 3);
  par2::CreateOptions options{1024, 4};
  std::vector<std::string> written;
  platform::IoError err;
  ASSERT_TRUE(par2::createRecoveryFiles(s.paths, options, dir.file("d.bin"), written, err)) << err.message();
  flipByte(written[1], 90);
  par2::RecoverySet set;
  ASSERT_TRUE(set.load(written));
  const auto sources = par2::pathsInFolder(set, dir.path());
  const par2::SetCheck check = par2::checkFiles(set, sources);
  EXPECT_TRUE(check.allGood) << check.summary;
  EXPECT_EQ(check.blocks, 3u);
  EXPECT_EQ(par2::repairFiles(set, check, sources, {}).status, par2::RepairStatus::NothingToDo);
}

TEST(RecoveryRepair, NeverWritesOverAnExistingFile) {
  TempDir dir;
  const Series s = makeParts(dir, {2000, 2000}, 5);
  std::vector<std::string> written;
  platform::IoError err;
  ASSERT_TRUE(par2::createRecoveryFiles(s.paths, {2000, 1}, dir.file("d.bin"), written, err));
  flipByte(s.paths[0], 3);
  par2::RecoverySet set;
  ASSERT_TRUE(set.load(written));
  const auto sources = par2::pathsInFolder(set, dir.path());
  const par2::SetCheck check = par2::checkFiles(set, sources);
  const Bytes damaged = testing_support::readFile(s.paths[0]);
  testing_support::writeText(dir.file("taken"), "mine");
  struct Row { const char* name; std::vector<std::string> outputs; };
  const std::vector<Row> rows = {
      {"no outputs", {}},
      {"the damaged file itself", sources},
      {"an existing file", {dir.file("taken"), dir.file("taken")}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(par2::repairFiles(set, check, sources, row.outputs).status, par2::RepairStatus::BadOutput);
    EXPECT_EQ(testing_support::readFile(s.paths[0]), damaged);
    EXPECT_EQ(testing_support::readText(dir.file("taken")), "mine");
  }
}

TEST(RecoveryRepair, ARebuiltFileThatFailsItsMd5IsRemovedNotReported) {
  // A good slice that changes after the check makes the solved slices wrong: the new
  // file's MD5 then differs, and it must not stay or be reported as rebuilt.
  TempDir dir;
  const Series s = makeParts(dir, {4096, 4096, 4096}, 8);
  std::vector<std::string> written;
  platform::IoError err;
  ASSERT_TRUE(par2::createRecoveryFiles(s.paths, {4096, 1}, dir.file("d.bin"), written, err));
  removePath(s.paths[1]);
  par2::RecoverySet set;
  ASSERT_TRUE(set.load(written));
  const auto sources = par2::pathsInFolder(set, dir.path());
  const par2::SetCheck check = par2::checkFiles(set, sources);
  flipByte(s.paths[0], 10);
  std::vector<std::string> outputs;
  for (const std::string& p : sources) outputs.push_back(p + ".new");
  const par2::RepairResult r = par2::repairFiles(set, check, sources, outputs);
  EXPECT_EQ(r.status, par2::RepairStatus::Mismatch) << r.message;
  EXPECT_TRUE(r.rebuilt.empty());
  for (const std::string& o : outputs) EXPECT_FALSE(testing_support::exists(o)) << o;
}

TEST(RecoveryRepair, DependentRowsArePassedOverForIndependentOnes) {
  // Exponent 0 twice gives the same row: the second is of no use, the third solves.
  std::vector<std::size_t> chosen;
  std::vector<par2::Gf> inverse;
  EXPECT_FALSE(par2::solveMatrix({0, 1}, {0, 0}, chosen, inverse));
  ASSERT_TRUE(par2::solveMatrix({0, 1}, {0, 0, 5}, chosen, inverse));
  EXPECT_EQ(chosen, (std::vector<std::size_t>{0, 2}));
  // inverse * matrix is the identity.
  const par2::Gf a[4] = {1, 1, par2::gfPow(par2::inputConstant(0), 5), par2::gfPow(par2::inputConstant(1), 5)};
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 2; ++c) {
      const par2::Gf v = par2::gfMul(inverse[static_cast<std::size_t>(r * 2)], a[c]) ^
                         par2::gfMul(inverse[static_cast<std::size_t>(r * 2 + 1)], a[2 + c]);
      EXPECT_EQ(v, r == c ? 1 : 0);
    }
  }
}

TEST(RecoveryCreator, PushedBytesMustMatchTheDeclaredFiles) {
  struct Row {
    const char* name;
    std::function<bool(par2::RecoveryCreator&, platform::IoError&)> feed;
    const char* reason;
  };
  const Bytes data = testing_support::makeBytes(20000, 1);
  const std::vector<Row> rows = {
      {"too many bytes", [&](auto& c, auto& e) { return c.addFileBytes(0, data.data(), 20000, e) && c.addFileBytes(0, data.data(), 1, e); }, "more bytes"},
      {"a file not fed to its end", [&](auto& c, auto& e) { return c.addFileBytes(0, data.data(), 19999, e); }, "not read to its end"},
      {"first bytes differ from the head", [&](auto& c, auto& e) {
         Bytes other = data;
         other[100] ^= 1;
         return c.addFileBytes(0, other.data(), 20000, e);
       }, "first bytes changed"},
      {"no such file", [&](auto& c, auto& e) { return c.addFileBytes(3, data.data(), 1, e); }, "no such file"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    par2::RecoveryCreator creator;
    platform::IoError err;
    ASSERT_TRUE(creator.start({{"a", 20000, par2::md5Of(data.data(), 16384)}}, {4096, 2}, err));
    std::vector<std::string> written;
    const bool ok = row.feed(creator, err) && creator.finish(dir.file("a"), written, err);
    EXPECT_FALSE(ok);
    EXPECT_NE(err.detail.find(row.reason), std::string::npos) << err.message();
    EXPECT_TRUE(testing_support::listFolder(dir.path()).empty());
  }
}

TEST(RecoveryCreator, RefusesOptionsThatDoNotFit) {
  struct Row { const char* name; par2::CreateOptions options; std::vector<par2::SourceFile> files; };
  const std::vector<Row> rows = {
      {"slice size not a multiple of 4", {1022, 1}, {{"a", 10, {}}}},
      {"slice size 0", {0, 1}, {{"a", 10, {}}}},
      {"too many slices", {4, 1}, {{"a", 4 * 32769, {}}}},
      {"too many blocks", {4, 65536}, {{"a", 10, {}}}},
      {"a name with a folder", {4, 1}, {{"x/a", 10, {}}}},
      {"one file twice", {4, 1}, {{"a", 10, {}}, {"a", 10, {}}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    par2::RecoveryCreator creator;
    platform::IoError err;
    EXPECT_FALSE(creator.start(row.files, row.options, err));
    EXPECT_FALSE(err.detail.empty());
  }
}

TEST(RecoveryCreator, VolumesDoubleInSizeAndNameTheirSlices) {
  const auto spans = par2::volumeLayout(0, 26);
  std::vector<std::string> names;
  for (const auto& s : spans) names.push_back(par2::volumeName("d", s, std::max(spans.back().first, spans.back().count)));
  EXPECT_EQ(names, (std::vector<std::string>{"d.vol00+01.par2", "d.vol01+02.par2", "d.vol03+04.par2",
                                             "d.vol07+08.par2", "d.vol15+11.par2"}));
  EXPECT_TRUE(par2::volumeLayout(0, 0).empty());
  EXPECT_EQ(par2::volumeName("d", {100, 28}, 100), "d.vol100+028.par2");
  EXPECT_EQ(par2::sliceSizeForParts(1), 4u);
  EXPECT_EQ(par2::sliceSizeForParts(1001), 1004u);
  EXPECT_EQ(par2::sliceSizeForParts(1 << 20), 1u << 20);
}

// Pushing the bytes in turns, in odd pieces, must make the very files that reading each file
// whole makes: for slices gathered in batches and for slices too large for one.
TEST(RecoveryCreator, FeedingInTurnsMakesTheSameFilesAsOneAfterAnother) {
  struct Row { const char* name; std::vector<std::size_t> sizes; std::uint64_t sliceSize; std::size_t piece; };
  const std::vector<Row> rows = {
      {"small slices", {9000, 7000, 3}, 2048, 1000},
      {"large slices", {(9 << 20) + 3, 20001, 3}, (9 << 20) + 4, 999983},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir a, b;
    const Series s = makeParts(a, row.sizes, 21);
    std::vector<std::string> written;
    platform::IoError err;
    ASSERT_TRUE(par2::createRecoveryFiles(s.paths, {row.sliceSize, 5}, a.file("d.bin"), written, err));
    par2::RecoveryCreator creator;
    std::vector<par2::SourceFile> files;
    for (std::size_t i = 0; i < s.paths.size(); ++i) {
      files.push_back({"d.bin.00" + std::to_string(i + 1), s.bytes[i].size(),
                       par2::md5Of(s.bytes[i].data(), std::min<std::size_t>(16384, s.bytes[i].size()))});
    }
    ASSERT_TRUE(creator.start(files, {row.sliceSize, 5}, err));
    const std::size_t longest = *std::max_element(row.sizes.begin(), row.sizes.end());
    for (std::size_t at = 0; at < longest; at += row.piece) {
      for (std::size_t i = 0; i < s.bytes.size(); ++i) {
        if (at >= s.bytes[i].size()) continue;
        const std::size_t n = std::min(row.piece, s.bytes[i].size() - at);
        ASSERT_TRUE(creator.addFileBytes(i, s.bytes[i].data() + at, n, err));
      }
    }
    std::vector<std::string> second;
    ASSERT_TRUE(creator.finish(b.file("d.bin"), second, err)) << err.message();
    ASSERT_EQ(written.size(), second.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
      EXPECT_EQ(testing_support::readFile(written[i]), testing_support::readFile(second[i])) << written[i];
    }
  }
}

}  // namespace

namespace {

// A stop asked at the n-th question, at any point of a check or a repair, ends the work
// with nothing half-written; the bytes reported read are the bytes there are to read.
TEST(RecoveryRepair, StopsWhereAskedAndReportsTheBytesRead) {
  TempDir dir;
  const Series s = makeParts(dir, {10000, 10000, 10000, 3000}, 31);
  std::vector<std::string> written;
  platform::IoError err;
  ASSERT_TRUE(par2::createRecoveryFiles(s.paths, {2048, 12}, dir.file("d.bin"), written, err));
  removePath(s.paths[1]);
  flipByte(s.paths[3], 5);
  par2::RecoverySet set;
  ASSERT_TRUE(set.load(written));
  const auto sources = par2::pathsInFolder(set, dir.path());
  std::int64_t moved = 0;
  int asked = 0;
  par2::Steering counting{[&asked] { ++asked; return false; }, [&moved](std::int64_t n) { moved += n; }};
  const par2::SetCheck check = par2::checkFiles(set, sources, counting);
  EXPECT_EQ(moved, 10000 + 10000 + 3000);
  const int checkQuestions = asked;
  for (int stopAt = 1; stopAt <= checkQuestions; stopAt += 3) {
    SCOPED_TRACE("check stopped at question " + std::to_string(stopAt));
    int n = 0;
    const par2::SetCheck stopped = par2::checkFiles(set, sources, {[&n, stopAt] { return ++n >= stopAt; }, {}});
    EXPECT_TRUE(stopped.stopped);
    EXPECT_FALSE(stopped.repairable);
    EXPECT_EQ(par2::repairFiles(set, stopped, sources, {}).status, par2::RepairStatus::Stopped);
  }
  std::vector<std::string> outputs;
  for (const std::string& p : sources) outputs.push_back(p + ".new");
  par2::RepairOptions options;
  asked = 0;
  moved = 0;
  options.steering = counting;
  ASSERT_EQ(par2::repairFiles(set, check, sources, outputs, options).status, par2::RepairStatus::Rebuilt);
  const int repairQuestions = asked;
  for (const std::string& o : outputs) {
    platform::IoError ignored;
    platform::removeFile(o, ignored);
  }
  for (int stopAt = 1; stopAt <= repairQuestions; ++stopAt) {
    SCOPED_TRACE("repair stopped at question " + std::to_string(stopAt));
    int n = 0;
    options.steering = {[&n, stopAt] { return ++n >= stopAt; }, {}};
    const par2::RepairResult r = par2::repairFiles(set, check, sources, outputs, options);
    EXPECT_EQ(r.status, par2::RepairStatus::Stopped);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
      const bool kept = std::count(r.rebuilt.begin(), r.rebuilt.end(), i) == 1;
      EXPECT_EQ(testing_support::exists(outputs[i]), kept) << outputs[i];
      if (kept) {
        platform::IoError ignored;
        platform::removeFile(outputs[i], ignored);
      }
    }
  }
}

}  // namespace
