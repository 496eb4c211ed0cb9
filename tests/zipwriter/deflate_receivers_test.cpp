// Parts packed with Deflate, extracted by every other ZIP reader installed (Python's
// zipfile, bsdtar, busybox unzip, jar, Info-ZIP unzip, 7-Zip), which must give back the
// part's bytes; and a member past 4 GiB, whose ZIP64 records they must all read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "engine/zip_part_archiver.h"
#include "zip/crc32.h"
#include "zip/single_member.h"
#include "zip/tunzip.h"
#include "zip/tzip.h"
#include "zipwriter/zipwriter_util.h"

using namespace zipwriter_test;

namespace {

struct Receiver {
  const char* tool;  // what must be on PATH
  // Writes member MEMBER of archive ARCHIVE to standard output; jar cannot, and extracts
  // into the current folder instead.
  const char* extract;
};

const Receiver kReceivers[] = {
    {"python3", "python3 -c 'import shutil,sys,zipfile; shutil.copyfileobj(zipfile.ZipFile(sys.argv[1]).open(sys.argv[2]), sys.stdout.buffer)' ARCHIVE MEMBER"},
    {"bsdtar", "bsdtar -xOf ARCHIVE MEMBER"},
    {"busybox", "busybox unzip -p ARCHIVE MEMBER"},
    {"unzip", "unzip -p ARCHIVE MEMBER"},
    {"7z", "7z e -so ARCHIVE MEMBER 2>/dev/null"},
    {"jar", "jar xf ARCHIVE MEMBER && cat MEMBER"},
};

std::string command(const Receiver& r, const std::string& archive, const std::string& member) {
  std::string text = r.extract;
  for (std::size_t at; (at = text.find("ARCHIVE")) != std::string::npos;) text.replace(at, 7, shellQuote(archive));
  for (std::size_t at; (at = text.find("MEMBER")) != std::string::npos;) text.replace(at, 6, member);
  return text;
}

}  // namespace

TEST(DeflateReceivers, EveryInstalledReaderExtractsTheParts) {
  TempDir tmp;
  const std::vector<std::pair<std::string, Bytes>> parts = {
      {"doc.001", {}},
      {"doc.002", mixedBytes(3 << 20, 31)},
      {"doc.003", randomBytes(100000, 32)},
      {"doc.004", Bytes(500000, 'a')},
  };
  engine::ZipPartArchiver archiver(zip::ZipMethod::Deflate);
  for (const auto& [name, data] : parts) {
    writeAll(tmp / name, data);
    std::string problem;
    ASSERT_TRUE(archiver.archive(tmp / name, tmp / (name + ".zip"), problem)) << problem;
    const Archive a = parseArchive(readAll(tmp / (name + ".zip")));
    ASSERT_EQ(a.error, "");
    // Stored when Deflate does not pay (empty and random parts), deflated otherwise.
    EXPECT_EQ(a.members.at(0).local.method,
              name == "doc.002" || name == "doc.004" ? zip::kMethodDeflated : zip::kMethodStored);
  }
  for (const Receiver& r : kReceivers) {
    SCOPED_TRACE(r.tool);
    if (!haveTool(r.tool)) {
      std::printf("%s is not installed: its extraction is not checked\n", r.tool);
      continue;
    }
    for (const auto& [name, data] : parts) {
      SCOPED_TRACE(name);
      TempDir work;
      std::string out;
      EXPECT_EQ(runCommand("cd " + shellQuote(work.path()) + " && " +
                               command(r, tmp / (name + ".zip"), name),
                           &out),
                0);
      EXPECT_TRUE(out == std::string(data.begin(), data.end()))
          << "extracted " << out.size() << " bytes of " << data.size();
    }
  }
}

namespace {

class CrcSink : public zip::ByteSink {
 public:
  void write(const std::uint8_t* data, std::size_t n) override {
    crc = zip::updateCrc(crc, data, n);
    size += n;
  }
  std::uint32_t crc = zip::kCrcStart;
  std::uint64_t size = 0;
};

}  // namespace

// ZIP64 records as the writer lays them out, without 4 GiB of data: with the threshold
// lowered, members' sizes, later members' offsets and the directory's place all go into
// ZIP64 fields, and every reader must still extract each member.
TEST(DeflateReceivers, Zip64RecordsAreReadByEveryReader) {
  TempDir tmp;
  const std::vector<std::pair<std::string, Bytes>> members = {
      {"a.bin", mixedBytes(300000, 41)}, {"b.bin", randomBytes(5000, 42)}, {"c.txt", Bytes(500, 'c')}};
  zip::TZip zip;
  zip.Method = zip::ZipMethod::Deflate;
  zip.Zip64From = 1000;
  std::vector<std::string> messages;
  zip.OnError = [&](zip::ZipComponent&, const std::string& m) { messages.push_back(m); };
  for (const auto& [name, data] : members) {
    writeAll(tmp / name, data);
    zip.Files.push_back(tmp / name);
  }
  zip.SetFName(tmp / "z64.zip");
  ASSERT_TRUE(zip.Execute() && messages.empty()) << zip.lastFailure();
  const Bytes bytes = readAll(tmp / "z64.zip");
  const Bytes endSignature = {0x50, 0x4B, 0x06, 0x06};
  EXPECT_NE(std::search(bytes.begin(), bytes.end(), endSignature.begin(), endSignature.end()),
            bytes.end());
  zip::TUnZip unzip;
  unzip.OnError = [&](zip::ZipComponent&, const std::string& m) { messages.push_back(m); };
  unzip.UnCrunch(tmp / "z64.zip", tmp / "own", {});
  EXPECT_TRUE(messages.empty()) << messages.front();
  for (const auto& [name, data] : members) EXPECT_TRUE(readAll(tmp / ("own/" + name)) == data) << name;
  for (const Receiver& r : kReceivers) {
    SCOPED_TRACE(r.tool);
    // busybox unzip reads no ZIP64 fields ("short read"): it opens parts below 4 GiB only.
    if (!haveTool(r.tool) || std::string(r.tool) == "busybox") continue;
    for (const auto& [name, data] : members) {
      SCOPED_TRACE(name);
      TempDir work;
      std::string out;
      EXPECT_EQ(runCommand("cd " + shellQuote(work.path()) + " && " + command(r, tmp / "z64.zip", name), &out), 0);
      EXPECT_TRUE(out == std::string(data.begin(), data.end()))
          << "extracted " << out.size() << " bytes of " << data.size();
    }
  }
}

// The threshold's edges: a size or an offset one below it fits the 32-bit fields, one
// equal to it (0xFFFFFFFF in real archives, the fields' marker) must go into a ZIP64 field.
// Python lists which central headers carry one; every reader must extract every member.
TEST(DeflateReceivers, Zip64FieldsStartExactlyAtTheThreshold) {
  constexpr std::uint64_t kFrom = 1000;
  struct Row {
    const char* what;
    std::vector<std::pair<std::string, Bytes>> members;
    const char* zip64;  // the members whose central header has a ZIP64 field
  };
  // A random member is stored: the next local header lies at 30 + 5 + its size.
  const Row rows[] = {
      {"size one below", {{"t.txt", Bytes(kFrom - 1, 't')}}, ""},
      {"size at it", {{"t.txt", Bytes(kFrom, 't')}}, "t.txt "},
      {"stored size at it", {{"r.bin", randomBytes(kFrom, 3)}}, "r.bin "},
      {"offset one below", {{"r.bin", randomBytes(kFrom - 36, 4)}, {"s.txt", Bytes(10, 's')}}, ""},
      {"offset at it", {{"r.bin", randomBytes(kFrom - 35, 5)}, {"s.txt", Bytes(10, 's')}}, "s.txt "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir tmp;
    zip::TZip zip;
    zip.Method = zip::ZipMethod::Deflate;
    zip.Zip64From = kFrom;
    std::vector<std::string> messages;
    zip.OnError = [&](zip::ZipComponent&, const std::string& m) { messages.push_back(m); };
    for (const auto& [name, data] : row.members) {
      writeAll(tmp / name, data);
      zip.Files.push_back(tmp / name);
    }
    zip.SetFName(tmp / "z.zip");
    ASSERT_TRUE(zip.Execute() && messages.empty()) << zip.lastFailure();
    zip::TUnZip unzip;
    unzip.OnError = [&](zip::ZipComponent&, const std::string& m) { messages.push_back(m); };
    unzip.UnCrunch(tmp / "z.zip", tmp / "own", {});
    EXPECT_TRUE(messages.empty()) << messages.front();
    for (const auto& [name, data] : row.members) EXPECT_TRUE(readAll(tmp / ("own/" + name)) == data) << name;
    if (!haveTool("python3")) continue;
    std::string listed;
    EXPECT_EQ(runCommand("python3 -c 'import struct,sys,zipfile\n"
                         "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
                         " e=i.extra\n"
                         " while len(e)>=4:\n"
                         "  t,n=struct.unpack(\"<HH\",e[:4])\n"
                         "  if t==1: print(i.filename,end=\" \")\n"
                         "  e=e[4+n:]' " +
                             shellQuote(tmp / "z.zip"),
                         &listed),
              0);
    EXPECT_EQ(listed, row.zip64);
    for (const Receiver& r : kReceivers) {
      if (!haveTool(r.tool) || std::string(r.tool) == "busybox") continue;
      for (const auto& [name, data] : row.members) {
        SCOPED_TRACE(std::string(r.tool) + " " + name);
        TempDir work;
        std::string out;
        EXPECT_EQ(runCommand("cd " + shellQuote(work.path()) + " && " + command(r, tmp / "z.zip", name), &out), 0);
        EXPECT_TRUE(out == std::string(data.begin(), data.end()));
      }
    }
  }
}

// A sparse part just past 4 GiB, packed as the split packs it: its sizes need ZIP64
// fields. Packing and reading it back take minutes (Deflate of 4 GiB of zeros,
// then each reader's inflate), so it runs only with SUNDRIX_SLOW_TESTS=1.
TEST(DeflateReceivers, PartPastFourGiBUsesZip64) {
  if (std::getenv("SUNDRIX_SLOW_TESTS") == nullptr) {
    GTEST_SKIP() << "minutes: run with SUNDRIX_SLOW_TESTS=1";
  }
  TempDir tmp;
  const std::int64_t size = (std::int64_t{1} << 32) + 1000;
  const std::string part = tmp / "big.001";
  ASSERT_EQ(runCommand("truncate -s " + std::to_string(size - 4) + " " + shellQuote(part) +
                       " && printf tail >> " + shellQuote(part)),
            0);
  engine::ZipPartArchiver archiver(zip::ZipMethod::Deflate);
  std::string problem;
  const std::string archive = tmp / "big.001.zip";
  ASSERT_TRUE(archiver.archive(part, archive, problem)) << problem;

  platform::IoError err;
  platform::File f = platform::File::open(archive, platform::File::Mode::Read, err);
  zip::SingleMember m;
  std::string why;
  ASSERT_TRUE(zip::readSingleMember(f, m, why, err)) << why;
  EXPECT_EQ(m.uncompressedSize, static_cast<std::uint64_t>(size));
  EXPECT_EQ(m.method, zip::kMethodDeflated);
  CrcSink sink;
  EXPECT_EQ(zip::decodeSingleMember(f, m, sink, {}, why, err), zip::MemberOutcome::Whole) << why;
  EXPECT_EQ(sink.size, static_cast<std::uint64_t>(size));

  const std::string listings[][2] = {
      {"python3", "python3 -c 'import sys,zipfile; print(zipfile.ZipFile(sys.argv[1]).infolist()[0].file_size)' "},
      {"unzip", "unzip -l "},
      {"7z", "7z l "},
      {"bsdtar", "bsdtar -tvf "},
  };
  for (const auto& [tool, list] : listings) {
    SCOPED_TRACE(tool);
    if (!haveTool(tool)) {
      std::printf("%s is not installed: its ZIP64 reading is not checked\n", tool.c_str());
      continue;
    }
    std::string out;
    EXPECT_EQ(runCommand(list + shellQuote(archive) + " 2>&1", &out), 0) << out;
    EXPECT_NE(out.find(std::to_string(size)), std::string::npos) << out;
    for (const Receiver& r : kReceivers) {
      if (tool != r.tool) continue;
      out.clear();
      EXPECT_EQ(runCommand(command(r, archive, "big.001") + " | cksum", &out), 0);
      std::string expected;
      runCommand("cksum < " + shellQuote(part), &expected);
      EXPECT_EQ(out, expected);
    }
  }
}
