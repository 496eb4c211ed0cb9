// TZip: the archive layout it writes, the list expansion and sorting, its messages,
// progress values, the limits it refuses, and the split's part archiver.
#include "zip/tzip.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "engine/zip_part_archiver.h"
#include "zip/crc32.h"
#include "zipwriter/zipwriter_util.h"

using namespace zipwriter_test;

namespace {

// A TZip that records its messages and progress instead of showing them.
struct Recorder {
  zip::TZip zip;
  std::vector<std::string> messages;
  std::vector<int> progress;
  explicit Recorder(bool withProgress = false) {
    zip.OnError = [this](zip::ZipComponent&, const std::string& m) { messages.push_back(m); };
    if (withProgress) {
      zip.OnProgress = [this](zip::ZipComponent&, std::int16_t p) { progress.push_back(p); };
    }
  }
  bool run(const std::string& archive, std::vector<std::string> files, bool overwrite = false) {
    zip.SetFName(archive);
    zip.Files = std::move(files);
    zip.Overwrite = overwrite;
    return zip.Execute();
  }
};

// Zeroes the date and time fields, which follow the files' own modification times.
Bytes withoutTimes(Bytes b) {
  const Archive a = parseArchive(b);
  std::size_t central = a.localEnd;
  for (const Member& m : a.members) {
    std::fill_n(b.begin() + m.localOffset + 10, 4, 0);
    std::fill_n(b.begin() + static_cast<long>(central) + 12, 4, 0);
    central += zip::kCentralHeaderSize + m.central.nameLength;
  }
  return b;
}

}  // namespace

TEST(TZipLayout, ReproducesTheExpectedArchive) {
  const std::string dir = testdataDir();
  if (dir.empty()) GTEST_SKIP() << "shared test data not found under " << SUNDRIX_TESTDATA;
  const Bytes expected = readAll(dir + "sh_expected_layout.zip");
  std::vector<std::string> files;
  for (const Member& m : parseArchive(expected).members) files.push_back(dir + "inputs/" + m.name);
  std::reverse(files.begin(), files.end());  // the member order is the name order
  TempDir tmp;
  Recorder r;
  ASSERT_TRUE(r.run(tmp / "out.zip", files));
  EXPECT_EQ(r.messages, std::vector<std::string>{});
  EXPECT_EQ(withoutTimes(readAll(tmp / "out.zip")), withoutTimes(expected));
}

TEST(TZipLayout, RecordsOfSmallMembers) {
  TempDir tmp;
  writeAll(tmp / "empty.bin", {});
  writeAll(tmp / "one.bin", {0x42});
  writeAll(tmp / "fill.bin", Bytes(10000, 0x33));
  Recorder r;
  ASSERT_TRUE(r.run(tmp / "a.zip", {tmp / "fill.bin", tmp / "one.bin", tmp / "empty.bin"}));
  const Bytes bytes = readAll(tmp / "a.zip");
  const Archive a = parseArchive(bytes);
  ASSERT_EQ(a.error, "");
  ASSERT_EQ(memberNames(a), (std::vector<std::string>{"empty.bin", "fill.bin", "one.bin"}));
  struct Expect {
    std::uint16_t method;
    std::uint32_t compressed, uncompressed;
  };
  const Expect expect[] = {{0, 0, 0}, {1, 0, 10000}, {0, 1, 1}};
  std::uint32_t offset = 0;
  std::uint32_t directorySize = 0;
  for (std::size_t i = 0; i < a.members.size(); ++i) {
    const Member& m = a.members[i];
    SCOPED_TRACE(m.name);
    EXPECT_EQ(m.local.versionNeeded, 10);
    EXPECT_EQ(m.local.flags, 0);
    EXPECT_EQ(m.local.method, expect[i].method);
    EXPECT_EQ(m.local.uncompressedSize, expect[i].uncompressed);
    if (expect[i].compressed != 0 || m.local.method == 0) {
      EXPECT_EQ(m.local.compressedSize, expect[i].compressed);
    }
    EXPECT_EQ(m.local.compressedSize, m.data.size());
    EXPECT_EQ(m.local.extraLength, 0);
    EXPECT_EQ(m.local.crc, zip::crc32(readAll(tmp / m.name).data(), m.local.uncompressedSize));
    // The central header repeats the local one, with the fixed extras.
    EXPECT_EQ(m.central.versionMadeBy, 10);
    EXPECT_EQ(m.central.versionNeeded, m.local.versionNeeded);
    EXPECT_EQ(m.central.method, m.local.method);
    EXPECT_EQ(m.central.time, m.local.time);
    EXPECT_EQ(m.central.date, m.local.date);
    EXPECT_EQ(m.central.crc, m.local.crc);
    EXPECT_EQ(m.central.compressedSize, m.local.compressedSize);
    EXPECT_EQ(m.central.uncompressedSize, m.local.uncompressedSize);
    EXPECT_EQ(m.central.externalAttributes, 0x20u);
    EXPECT_EQ(m.central.commentLength, 0);
    EXPECT_EQ(m.centralName, m.name);
    EXPECT_EQ(m.central.localHeaderOffset, offset);
    offset += static_cast<std::uint32_t>(30 + m.name.size() + m.data.size());
    directorySize += static_cast<std::uint32_t>(46 + m.name.size());
  }
  EXPECT_EQ(a.members[0].local.crc, 0u);
  EXPECT_EQ(a.members[2].data, Bytes{0x42});
  EXPECT_LT(a.members[1].data.size(), 200u);
  EXPECT_EQ(a.end.totalEntries, 3);
  EXPECT_EQ(a.end.entriesOnDisk, 3);
  EXPECT_EQ(a.end.centralDirectoryOffset, offset);
  EXPECT_EQ(a.end.centralDirectorySize, directorySize);
}

TEST(TZipLayout, IncompressibleDataIsStoredAndTheArchiveCutAfterIt) {
  TempDir tmp;
  const Bytes random = randomBytes(50000, 3);
  writeAll(tmp / "r.bin", random);
  writeText(tmp / "z.txt", "after the stored member");
  Recorder r;
  ASSERT_TRUE(r.run(tmp / "a.zip", {tmp / "r.bin", tmp / "z.txt"}));
  const Archive a = parseArchive(readAll(tmp / "a.zip"));
  ASSERT_EQ(a.error, "");
  ASSERT_EQ(a.members.size(), 2u);
  EXPECT_EQ(a.members[0].local.method, 0);
  EXPECT_EQ(a.members[0].data, random);
  EXPECT_EQ(a.members[1].local.method, 0);  // shorter than its shrunk form
}

TEST(TZipList, MembersAreSortedByteWiseAndNamesAreUnique) {
  TempDir tmp;
  std::filesystem::create_directories(tmp / "one");
  std::filesystem::create_directories(tmp / "two");
  // Where names ignore case, "a.txt" is "A.TXT" again and counts once.
  for (const char* name : {"b.txt", "A.TXT", "a.txt"}) {
    if (testing_support::kNamesKeepCase || std::string(name) != "a.txt") writeText(tmp / name, name);
  }
  writeText(tmp / "one/same.txt", "first");
  writeText(tmp / "two/same.txt", "second, listed last");
  Recorder r;
  std::vector<std::string> sources{tmp / "b.txt", tmp / "A.TXT", tmp / "one/same.txt",
                                   tmp / "two/same.txt"};
  std::vector<std::string> expected{"A.TXT", "b.txt", "same.txt"};
  if (testing_support::kNamesKeepCase) {
    sources.push_back(tmp / "a.txt");
    expected.insert(expected.begin() + 1, "a.txt");
  }
  ASSERT_TRUE(r.run(tmp / "x.zip", sources));
  const Archive a = parseArchive(readAll(tmp / "x.zip"));
  ASSERT_EQ(a.error, "");
  EXPECT_EQ(memberNames(a), expected);
  const std::string text(a.members.back().data.begin(), a.members.back().data.end());
  EXPECT_EQ(text, "second, listed last");
}

TEST(TZipList, SourceFolderAndPatterns) {
  TempDir tmp;
  std::filesystem::create_directories(tmp / "src/s1");
  std::filesystem::create_directories(tmp / "src/s2");
  writeText(tmp / "src/top.txt", "t");
  writeText(tmp / "src/top.dat", "d");
  writeText(tmp / "src/s1/readme.txt", "from s1");
  writeText(tmp / "src/s2/readme.txt", "from s2");
  writeText(tmp / "src/s2/deep.txt", "deep");
  struct Row {
    const char* what;
    std::string source;
    std::vector<std::string> files;
    std::vector<std::string> members;
  };
  const Row rows[] = {
      {"whole source folder", tmp / "src", {}, {"deep.txt", "readme.txt", "top.dat", "top.txt"}},
      {"pattern below the source folder",
       tmp / "src",
       {"*.txt"},
       {"deep.txt", "readme.txt", "top.txt"}},
      {"a pattern with a folder is ignored", tmp / "src", {"s1/*.txt"}, {}},
      {"no source: one folder only", "", {tmp / "src/*.txt"}, {"top.txt"}},
      {"every pattern line reaches every folder",
       tmp / "src",
       {"*.txt", "*.dat"},
       {"deep.txt", "readme.txt", "top.dat", "top.txt"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Recorder r;
    r.zip.SourcePath = row.source;
    const std::string archive = tmp / "out.zip";
    std::filesystem::remove(archive);
    ASSERT_TRUE(r.run(archive, row.files));
    if (row.members.empty()) {
      EXPECT_EQ(r.messages, std::vector<std::string>{"Nejsou žádné soubory k smrsknutí !"});
      EXPECT_FALSE(exists(archive));
      continue;
    }
    const Archive a = parseArchive(readAll(archive));
    EXPECT_EQ(memberNames(a), row.members);
    for (const Member& m : a.members) {
      if (m.name == "readme.txt") {
        EXPECT_EQ(std::string(m.data.begin(), m.data.end()), "from s2");
      }
    }
  }
}

TEST(TZipList, AnOlderArchiveAmongTheSourcesIsNotPackedIntoItself) {
  TempDir tmp;
  writeText(tmp / "data.txt", "data");
  writeText(tmp / "pack.zip", "an older archive");
  writeText(tmp / "pack.b.zip", "counts as the same name");
  Recorder r;
  r.zip.SourcePath = tmp.path();
  ASSERT_TRUE(r.run(tmp / "pack.zip", {}, true));
  EXPECT_EQ(memberNames(parseArchive(readAll(tmp / "pack.zip"))),
            std::vector<std::string>{"data.txt"});
}

TEST(TZipList, IsArchiveItselfFoldsCaseAndHonoursWildcards) {
  struct Row {
    const char* archive;
    const char* candidate;
    bool same;
  };
  const Row rows[] = {
      {"/d/a.zip", "/d/a.zip", true},        {"/d/a.zip", "/d/A.ZIP", true},
      {"/d/a.zip", "/d/a.b.zip", true},      {"/d/a.zip", "/d/a.zipx", true},
      {"/d/a.zip", "/e/a.zip", false},       {"/d/a.zip", "/D/a.zip", false},
      {"/d/a.zip", "/d/b.zip", false},       {"/d/a.zip", "/d/a", false},
      {"/d/čaj.zip", "/d/ČAJ.zip", true},    {"/d/žluť.zip", "/d/ŽLUŤ.ZIP", true},
      {"/d/ß.zip", "/d/SS.zip", false},      {"/d/a?c.zip", "/d/abc.zip", true},
      {"/d/*.zip", "/d/anything.zip", true}, {"/d/a.zip", "/d/*.z?p", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.archive) + " vs " + row.candidate);
    zip::TZip zip;
    zip.SetFName(row.archive);
    EXPECT_EQ(zip.IsArchiveItself(row.candidate), row.same);
  }
}

TEST(TZipMessages, ARunEndedByAHandlerLeavesTheArchiveNameAlone) {
  TempDir tmp;
  writeText(tmp / "a.txt", "a");
  writeText(tmp / "exists.zip", "old");
  zip::TZip zip;
  zip.SetFName(tmp / "chosen.zip");
  zip.OnError = [](zip::ZipComponent&, const std::string& message) {
    throw std::runtime_error(message);
  };
  EXPECT_THROW(zip.Crunch(tmp / "exists.zip", {tmp / "a.txt"}, ""), std::runtime_error);
  EXPECT_EQ(zip.ArcName(), tmp / "chosen.zip");
}

TEST(TZipMessages, RefusalsAndSkippedFiles) {
  TempDir tmp;
  writeText(tmp / "a.txt", "aaa");
  writeText(tmp / "old.zip", "keep me");
  {
    SCOPED_TRACE("existing archive without overwrite");
    Recorder r;
    EXPECT_TRUE(r.run(tmp / "old.zip", {tmp / "a.txt"}));
    EXPECT_EQ(r.messages,
              std::vector<std::string>{"No overwite rights for file " + tmp / "old.zip" + "!"});
    EXPECT_EQ(readAll(tmp / "old.zip"), Bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
  }
  {
    SCOPED_TRACE("no list and no source");
    Recorder r;
    EXPECT_TRUE(r.run(tmp / "n.zip", {}));
    EXPECT_EQ(r.messages, std::vector<std::string>{"No files for compress !"});
    EXPECT_FALSE(exists(tmp / "n.zip"));
  }
  {
    SCOPED_TRACE("every listed file missing");
    Recorder r;
    EXPECT_TRUE(r.run(tmp / "m.zip", {tmp / "missing1", tmp / "missing2"}));
    EXPECT_EQ(r.messages, std::vector<std::string>{"Nejsou žádné soubory k smrsknutí !"});
    EXPECT_FALSE(exists(tmp / "m.zip"));
  }
  {
    SCOPED_TRACE("archive cannot be created");
    Recorder r;
    EXPECT_FALSE(r.run(tmp / "no/such/folder/x.zip", {tmp / "a.txt"}));
    EXPECT_EQ(r.messages, std::vector<std::string>{"Chyba při otevítání souboru"});
    EXPECT_NE(r.zip.lastFailure().find("x.zip"), std::string::npos) << r.zip.lastFailure();
  }
}

// Files listed but gone (or unreadable) when their turn comes.
class FailOpen : public platform::FaultInjector {
 public:
  int before(platform::FileOp op, const std::string& path) override {
    return op == platform::FileOp::Open && path.find("bad") != std::string::npos
               ? platform::errorCode(platform::ErrorKind::Denied)
               : 0;
  }
  FailOpen() { platform::setFaultInjector(this); }
  ~FailOpen() override { platform::setFaultInjector(nullptr); }
};

TEST(TZipMessages, FilesThatCannotBeOpenedAreSkipped) {
  TempDir tmp;
  writeText(tmp / "good.txt", "good");
  writeText(tmp / "bad1.txt", "unreadable");
  writeText(tmp / "bad2.txt", "unreadable");
  FailOpen injector;
  {
    Recorder r;
    EXPECT_TRUE(r.run(tmp / "one.zip", {tmp / "bad1.txt", tmp / "good.txt"}));
    EXPECT_EQ(r.messages, std::vector<std::string>{"Nejde otevřít bad1.txt.  Překračuji ..."});
    EXPECT_EQ(memberNames(parseArchive(readAll(tmp / "one.zip"))),
              std::vector<std::string>{"good.txt"});
  }
  {
    Recorder r;
    EXPECT_TRUE(r.run(tmp / "none.zip", {tmp / "bad1.txt", tmp / "bad2.txt"}));
    EXPECT_EQ(r.messages.size(), 2u);
    const Bytes bytes = readAll(tmp / "none.zip");
    ASSERT_EQ(bytes.size(), 22u);
    const Archive a = parseArchive(bytes);
    EXPECT_EQ(a.error, "");
    EXPECT_EQ(a.end.totalEntries, 0);
    EXPECT_EQ(a.end.centralDirectorySize, 0u);
    EXPECT_EQ(a.end.centralDirectoryOffset, 0u);
  }
}

TEST(TZipProgress, PercentagesPerMember) {
  TempDir tmp;
  writeAll(tmp / "a3.bin", {1, 2, 3});
  writeAll(tmp / "b6.bin", {1, 2, 3, 4, 5, 6});
  writeAll(tmp / "c0.bin", {});
  Recorder r(true);
  ASSERT_TRUE(r.run(tmp / "p.zip", {tmp / "a3.bin", tmp / "b6.bin", tmp / "c0.bin"}));
  // Stored members are copied without events; the empty one raises none.
  EXPECT_EQ(r.progress, (std::vector<int>{33, 67, 100, 17, 33, 50, 67, 83, 100}));
}

TEST(TZipProgress, HalvesGoToTheEvenNeighbour) {
  TempDir tmp;
  writeAll(tmp / "x.bin", Bytes(8, 'x'));  // 1/8 = 12.5 -> 12, 3/8 = 37.5 -> 38
  Recorder r(true);
  ASSERT_TRUE(r.run(tmp / "p.zip", {tmp / "x.bin"}));
  EXPECT_EQ(r.progress, (std::vector<int>{12, 25, 38, 50, 62, 75, 88, 100}));
}

TEST(ZipPartArchiver, PacksOnePartAndChecksTheArchive) {
  TempDir tmp;
  const Bytes part = mixedBytes(100000, 9);
  writeAll(tmp / "movie.avi.001", part);
  writeText(tmp / "movie.avi.001.zip", "stale archive, replaced");
  engine::ZipPartArchiver archiver;
  std::string problem;
  ASSERT_TRUE(archiver.archive(tmp / "movie.avi.001", tmp / "movie.avi.001.zip", problem))
      << problem;
  const Archive a = parseArchive(readAll(tmp / "movie.avi.001.zip"));
  ASSERT_EQ(a.error, "");
  EXPECT_EQ(memberNames(a), std::vector<std::string>{"movie.avi.001"});
  EXPECT_EQ(a.members[0].local.uncompressedSize, part.size());

  EXPECT_FALSE(archiver.archive(tmp / "missing.002", tmp / "missing.002.zip", problem));
  EXPECT_NE(problem.find("missing.002"), std::string::npos) << problem;
  problem.clear();
  EXPECT_FALSE(archiver.archive(tmp / "movie.avi.001", tmp / "nofolder/x.zip", problem));
  EXPECT_NE(problem.find("x.zip"), std::string::npos) << problem;
}

TEST(ZipPartArchiver, ArchiveCheckRejectsIncompleteArchives) {
  TempDir tmp;
  writeAll(tmp / "p.001", mixedBytes(5000, 4));
  engine::ZipPartArchiver archiver;
  std::string problem;
  ASSERT_TRUE(archiver.archive(tmp / "p.001", tmp / "p.zip", problem)) << problem;
  const Bytes good = readAll(tmp / "p.zip");
  struct Row {
    const char* what;
    Bytes bytes;
  };
  std::vector<Row> rows;
  rows.push_back({"cut before the end record", Bytes(good.begin(), good.end() - 22)});
  rows.push_back({"cut inside the data", Bytes(good.begin(), good.begin() + 100)});
  Bytes wrongSize = good;
  wrongSize[22] ^= 1;  // uncompressed size in the local header
  rows.push_back({"sizes disagree", wrongSize});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    writeAll(tmp / "bad.zip", row.bytes);
    problem.clear();
    EXPECT_FALSE(engine::checkSingleMemberArchive(tmp / "bad.zip", 5000, problem));
    EXPECT_NE(problem, "");
  }
  EXPECT_TRUE(engine::checkSingleMemberArchive(tmp / "p.zip", 5000, problem)) << problem;
}

TEST(TZipMessages, WithoutAnErrorHandlerTheWarningBoxShowsEachMessage) {
  TempDir tmp;
  std::vector<std::string> shown;
  zip::setWarningBox([&shown](const std::string& m) { shown.push_back(m); });
  zip::TZip zip;
  zip.SetFName(tmp / "w.zip");
  zip.Files = {tmp / "missing.txt"};
  EXPECT_TRUE(zip.Execute());
  zip::setWarningBox({});
  EXPECT_EQ(shown, std::vector<std::string>{"Nejsou žádné soubory k smrsknutí !"});
}

// A file that grows after it was listed: the header describes the bytes really packed.
// Long names are common here: folders far longer than 127 bytes, names longer than 80
// (UTF-8 letters take two bytes each). They are packed whole, never cut.
TEST(TZipLayout, LongFolderAndMemberNamesStayWhole) {
  TempDir tmp;
  std::string folder = tmp.path();
  for (int i = 0; i < 6; ++i)
    folder += "a-rather-long-folder-name-for-the-parts-" + std::to_string(i) + "/";
  std::filesystem::create_directories(folder);
  std::string name;
  for (int i = 0; i < 5; ++i) name += "Příliš žluťoučký ";
  name += "kůň.avi.001";
  ASSERT_GT(folder.size(), 127u);
  ASSERT_GT(name.size(), 80u);
  writeText(folder + name, "part data part data part data");
  Recorder r;
  ASSERT_TRUE(r.run(tmp / "long.zip", {folder + name}));
  EXPECT_EQ(r.messages, std::vector<std::string>{});
  const Archive a = parseArchive(readAll(tmp / "long.zip"));
  ASSERT_EQ(a.error, "");
  EXPECT_EQ(memberNames(a), std::vector<std::string>{name});
}

TEST(TZipLimits, MoreThan65535MembersAreRefused) {
  TempDir tmp;
  const std::string folder = tmp / "many/";
  std::filesystem::create_directories(folder);
  for (int i = 0; i < 65536; ++i) writeAll(folder + std::to_string(i), {});
  Recorder r;
  r.zip.SourcePath = folder;
  EXPECT_FALSE(r.run(tmp / "many.zip", {}));
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_NE(r.messages[0].find("65535"), std::string::npos) << r.messages[0];
  EXPECT_FALSE(exists(tmp / "many.zip"));
}

// Runs of any length, split anywhere, give the register that byte-by-byte steps give,
// across the point where long runs are handed to another routine.
TEST(Crc32, RunsAgreeWithSingleSteps) {
  std::vector<std::uint8_t> data(70000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 131 + (i >> 7));
  for (const std::size_t length : {0u, 1u, 7u, 8u, 63u, 64u, 65u, 200u, 4099u, 70000u}) {
    std::uint32_t stepped = zip::kCrcStart;
    for (std::size_t i = 0; i < length; ++i) stepped = zip::UpdateCRC(data[i], stepped);
    for (const std::size_t cut : {std::size_t{0}, length / 3, length}) {
      const std::uint32_t run =
          zip::updateCrc(zip::updateCrc(zip::kCrcStart, data.data(), cut), data.data() + cut, length - cut);
      EXPECT_EQ(run, stepped) << length << " bytes cut at " << cut;
    }
  }
  EXPECT_EQ(zip::crc32(reinterpret_cast<const std::uint8_t*>("123456789"), 9), 0xCBF43926u);
}
