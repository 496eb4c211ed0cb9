// Archives and extraction folders built to turn the reader against the user's files:
// links in the folder, the archive as its own target, huge declared sizes, archives cut
// off, folders and read-only files in a target's place, encrypted and streamed members,
// names that would forge output, debris of a killed run.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>

#include "platform/file.h"
#include "reader_support.h"
#include "support/temp_dir.h"
#include "zip/crc32.h"
#include "zip/shrink.h"
#include "zip/tunzip.h"
#include "zip/zip_format.h"

namespace {

using reader_test::buildArchive;
using reader_test::extract;
using reader_test::Member;
using reader_test::storedMember;
using testing_support::exists;
using testing_support::listFolder;
using testing_support::readText;
using testing_support::TempDir;
using testing_support::writeText;

std::string writeArchive(const std::string& path, const std::vector<Member>& members) {
  testing_support::writeFile(path, buildArchive(members));
  return path;
}

bool isLink(const std::string& path) {
  return std::filesystem::is_symlink(std::filesystem::symlink_status(path));
}

TEST(HostileArchive, LinksInTheExtractionFolderAreNeverFollowed) {
  struct Case {
    const char* name;
    const char* member;
    const char* mask;
    const char* link;     // made in t/, pointing at `points`
    const char* points;   // relative to t/
    const char* outside;  // the file outside t/ that must not change or appear
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"link at the target", "evil.txt", "*.*", "evil.txt", "../victim.txt", "victim.txt", {}},
      {"dangling link at the target", "new.txt", "*.*", "new.txt", "../made.txt", "made.txt", {}},
      {"linked folder part",
       "sub/y.txt",
       "sub/*.*",
       "sub",
       "../elsewhere",
       "elsewhere/y.txt",
       {"Name sub/y.txt leads through the link sub ! Skip next..."}},
      {"linked folder deeper down",
       "d/sub/y.txt",
       "d/sub/*.*",
       "d/sub",
       "../../elsewhere",
       "elsewhere/y.txt",
       {"Name d/sub/y.txt leads through the link d/sub ! Skip next..."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::filesystem::create_directories(dir.file("t/d"));
    std::filesystem::create_directories(dir.file("elsewhere"));
    writeText(dir.file("victim.txt"), "keep me");
    ASSERT_EQ(::symlink(c.points, dir.file(std::string("t/") + c.link).c_str()), 0);
    const std::string before = exists(dir.file(c.outside)) ? readText(dir.file(c.outside)) : "";
    const std::string archive = writeArchive(
        dir.file("a.zip"), {storedMember(c.member, "payload"), storedMember("after.txt", "next")});
    const auto run = extract(archive, dir.file("t"), {c.mask, "*.*"});
    EXPECT_EQ(run.messages, c.messages);
    EXPECT_EQ(exists(dir.file(c.outside)) ? readText(dir.file(c.outside)) : "", before);
    EXPECT_EQ(readText(dir.file("t/after.txt")), "next");
    if (c.messages.empty()) {
      EXPECT_FALSE(isLink(dir.file(std::string("t/") + c.member)));
      EXPECT_EQ(readText(dir.file(std::string("t/") + c.member)), "payload");
    }
  }
}

TEST(HostileArchive, TheArchiveBeingReadIsNeverATarget) {
  struct Case {
    const char* name;
    const char* member;
    void (*make)(const std::string& dir);  // another name of d/x.zip, or nothing
  };
  const Case cases[] = {
      {"its own name", "x.zip", [](const std::string&) {}},
      {"a hard link", "hard.zip",
       [](const std::string& d) {
         ASSERT_EQ(::link((d + "x.zip").c_str(), (d + "hard.zip").c_str()), 0);
       }},
      {"a symbolic link", "soft.zip",
       [](const std::string& d) { ASSERT_EQ(::symlink("x.zip", (d + "soft.zip").c_str()), 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string archive = writeArchive(
        dir.file("x.zip"),
        {storedMember(c.member, std::string(100000, 'z')), storedMember("b.txt", "next")});
    const auto bytes = testing_support::readFile(archive);
    c.make(dir.path());
    const auto run = extract(archive, dir.path());
    EXPECT_EQ(run.messages, std::vector<std::string>{std::string("Name ") + c.member +
                                                     " is the archive being read ! Skip next..."});
    EXPECT_EQ(testing_support::readFile(archive), bytes);
    EXPECT_EQ(readText(dir.file("b.txt")), "next");
  }
}

// A Reduce member of follower sets only, and an Implode member of its trees only, each
// declaring a huge size: the output ends with the data, and the next member follows.
TEST(HostileArchive, TruncatedReduceAndImplodeStopWithTheirData) {
  reader_test::BitWriter reduce;
  for (int value = 255; value >= 0; --value) reduce.put(0, 6);
  reader_test::BitWriter reduceDle = reduce;
  reduceDle.put(144, 8);  // a run begins, its length and distance are missing
  reader_test::BitWriter implode;
  for (int tree = 0; tree < 2; ++tree) {
    implode.put(3, 8);
    for (int i = 0; i < 4; ++i) implode.put(0xF5, 8);  // 64 symbols of 6 bits
  }
  struct Case {
    const char* name;
    std::uint16_t method;
    std::vector<std::uint8_t> data;
    std::uint32_t declared;
  };
  const Case cases[] = {
      {"reduce, 200 MiB", 2, reduce.bytes(), 200u << 20},
      {"reduce, 4 GiB", 5, reduce.bytes(), 0xFFFFFFFF},
      {"reduce cut inside a run, 4 GiB", 2, reduceDle.bytes(), 0xFFFFFFFF},
      {"implode, 4 GiB", 6, implode.bytes(), 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    Member m;
    m.name = "big.bin";
    m.method = c.method;
    m.data = c.data;
    m.uncompressedSize = c.declared;
    m.crc = 0xDEADBEEF;  // not the CRC of what the data holds
    const auto run = extract(writeArchive(dir.file("a.zip"), {m, storedMember("b.txt", "next")}),
                             dir.file("out"));
    EXPECT_LE(testing_support::sizeOf(dir.file("out/big.bin")), 16);
    ASSERT_EQ(run.messages.size(), 2u);
    EXPECT_NE(run.messages[0].find("has wrong size ! Stored size is " + std::to_string(c.declared)),
              std::string::npos);
    EXPECT_NE(run.messages[1].find("has bad CRC"), std::string::npos);
    EXPECT_EQ(readText(dir.file("out/b.txt")), "next");
  }
}

// A target is replaced only by a member whose data was there to the end; an archive cut
// off leaves it as it was, and no temporary file stays behind.
TEST(HostileArchive, TargetsAreReplacedOnlyByCompleteMembers) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> archive;
    std::string content;  // a.txt afterwards
    std::string message;  // the start of the one message
  };
  std::vector<std::uint8_t> cut =
      buildArchive({storedMember("a.txt", std::string(1000, 'c'))}, false);
  cut.resize(30 + 5 + 400);
  const Case cases[] = {
      {"cut off by the archive's end", cut, "good", "Archive "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::filesystem::create_directories(dir.file("out"));
    writeText(dir.file("out/a.txt"), "good");
    testing_support::writeFile(dir.file("a.zip"), c.archive);
    const auto run = extract(dir.file("a.zip"), dir.file("out"));
    EXPECT_EQ(readText(dir.file("out/a.txt")), c.content);
    EXPECT_EQ(listFolder(dir.file("out/")), std::vector<std::string>{"a.txt"});
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(run.messages[0].rfind(c.message, 0), 0u) << run.messages[0];
  }
  // Nothing is created from a member cut off in its data or in its header.
  for (const std::size_t size : {cut.size(), std::size_t{30 + 3}}) {
    SCOPED_TRACE(size);
    TempDir fresh;
    cut.resize(size);
    testing_support::writeFile(fresh.file("a.zip"), cut);
    const auto run = extract(fresh.file("a.zip"), fresh.file("out"));
    const std::string inside = size > 35 ? "member a.txt !" : "a local header !";
    EXPECT_EQ(run.messages, std::vector<std::string>{"Archive " + fresh.file("a.zip") +
                                                     " ends inside " + inside});
    EXPECT_TRUE(listFolder(fresh.file("out/")).empty());
  }
}

std::string hex(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(v));
  return text;
}

// The bytes of a folder's files, by name (hidden ones included).
std::map<std::string, std::string> folderContents(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    files[e.path().filename().string()] =
        e.is_directory() ? "<folder>" : readText(e.path().string());
  }
  return files;
}

std::vector<std::uint8_t> archiveOf(const std::vector<Member>& members) {
  return buildArchive(members);
}

Member with(Member m, std::uint16_t flags) {
  m.flags = flags;
  return m;
}

struct Prepared {
  const char* name;
  const char* text;
  int mode;  // -1: a folder
};

// Each row is an archive (and what the extraction folder held before) that made the
// reader write wrong, unlisted or forged output, or replace a file it had no business
// replacing. In messages and listings "@" stands for the extraction folder and "%" for
// the archive.
TEST(HostileArchive, MembersThatWouldLoseOrForgeTheUsersFiles) {
  const std::vector<std::uint8_t> zeros(1 << 20, 0);
  Member bomb;
  bomb.name = "big.bin";
  bomb.method = zip::kMethodShrunk;
  bomb.data = zip::shrinkBytes(zeros);
  bomb.uncompressedSize = 1000;
  bomb.crc = zip::crc32(zeros.data(), 1000);

  Member badCrc = storedMember("a.txt", "altered");
  badCrc.crc ^= 1;
  Member shortStored = storedMember("a.txt", "short");
  shortStored.uncompressedSize = 50;

  // A streamed member whose data holds a whole member that the directory does not list.
  const std::vector<std::uint8_t> hidden =
      buildArchive({storedMember("hidden.txt", "gotcha")}, false);
  Member carrier;
  carrier.name = "o.bin";
  carrier.data.assign(hidden.begin(), hidden.end() - zip::kEndRecordSize);
  carrier.uncompressedSize = static_cast<std::uint32_t>(carrier.data.size());
  carrier.crc = zip::crc32(carrier.data.data(), carrier.data.size());
  carrier.flags = zip::kFlagDataDescriptor;
  const std::string carried(carrier.data.begin(), carrier.data.end());

  // The same, with the directory also listing a member one byte into the carrier's
  // header: its data must not be read as headers either.
  std::vector<std::uint8_t> listedInside = buildArchive({carrier});
  {
    const std::size_t endAt = listedInside.size() - zip::kEndRecordSize;
    zip::EndRecord e = zip::readEndRecord(&listedInside[endAt]);
    zip::CentralHeader c;
    c.nameLength = 1;
    c.localHeaderOffset = 1;
    std::vector<std::uint8_t> record(zip::kCentralHeaderSize + 1, 'x');
    zip::writeCentralHeader(record.data(), c);
    listedInside.insert(listedInside.begin() + static_cast<std::ptrdiff_t>(endAt), record.begin(),
                        record.end());
    e.entriesOnDisk = e.totalEntries = 2;
    e.centralDirectorySize += static_cast<std::uint32_t>(record.size());
    zip::writeEndRecord(&listedInside[endAt + record.size()], e);
  }

  Member evil = storedMember("evil\nb\tc\x1b[2J.txt", "x");
  evil.method = 9;  // Deflate64, which this reader does not decode
  const std::string shownEvil = "evil\\nb\\tc\\x1B[2J.txt";

  std::vector<std::uint8_t> empty(zip::kEndRecordSize, 0);
  zip::writeEndRecord(empty.data(), zip::EndRecord{});

  const std::vector<std::uint8_t> streamedNoDirectory =
      buildArchive({with(storedMember("a.txt", "alpha"), zip::kFlagDataDescriptor)}, false);

  struct Row {
    const char* name;
    std::vector<std::uint8_t> archive;
    std::vector<Prepared> before;
    std::vector<std::string> messages;
    std::map<std::string, std::string> after;
    std::map<std::string, int> modes;  // permission bits afterwards
    std::vector<std::string> listing;  // the listing's lines, when `listed`
    bool listed;
  };
  const Prepared good{"a.txt", "good", 0644};
  const Row rows[] = {
      {"a shrunk bomb stops at its declared size",
       archiveOf({bomb}),
       {},
       {"File @big.bin has wrong size ! Stored size is 1000, its data goes on past it."},
       {{"big.bin", std::string(1000, '\0')}},
       {},
       {},
       false},
      {"an encrypted member is refused",
       archiveOf({with(storedMember("a.txt", "ciphertext"), zip::kFlagEncrypted)}),
       {good},
       {"Member a.txt is encrypted ! Skip next..."},
       {{"a.txt", "good"}},
       {},
       {},
       false},
      {"streamed members take their sizes from the directory",
       archiveOf({with(storedMember("a.txt", "alpha"), zip::kFlagDataDescriptor),
                  with(storedMember("b.txt", "beta"), zip::kFlagDataDescriptor)}),
       {good},
       {},
       {{"a.txt", "alpha"}, {"b.txt", "beta"}},
       {},
       {"a.txt\t5\t5\t0%\t01.06.2024\t12:34:56", "b.txt\t4\t4\t0%\t01.06.2024\t12:34:56"},
       true},
      {"a member hidden in a streamed member's data is not extracted",
       archiveOf({carrier}),
       {},
       {},
       {{"o.bin", carried}},
       {},
       {"o.bin\t" + std::to_string(carried.size()) + "\t" + std::to_string(carried.size()) +
        "\t0%\t01.06.2024\t12:34:56"},
       true},
      {"a member listed inside a streamed member's header ends the walk",
       listedInside,
       {},
       {"Member o.bin is not where the central directory lists it ! Skip next..."},
       {},
       {},
       {},
       false},
      {"a streamed member without a directory is refused",
       streamedNoDirectory,
       {good},
       {"Member a.txt has its sizes after its data, and no central directory gives them ! Skip "
        "next..."},
       {{"a.txt", "good"}},
       {},
       {},
       false},
      {"a bad CRC keeps the existing file",
       archiveOf({badCrc}),
       {good},
       {"File @a.txt has bad CRC ! Stored CRC is " + hex(badCrc.crc) + ", computed CRC is " +
            hex(badCrc.crc ^ 1) + ".",
        "File @a.txt was kept as it was."},
       {{"a.txt", "good"}},
       {},
       {},
       false},
      {"a wrong size keeps the existing file",
       archiveOf({shortStored}),
       {good},
       {"File @a.txt has wrong size ! Stored size is 50, written size is 5.",
        "File @a.txt was kept as it was."},
       {{"a.txt", "good"}},
       {},
       {},
       false},
      {"a read-only target is refused",
       archiveOf({storedMember("a.txt", "alpha")}),
       {{"a.txt", "good", 0444}},
       {"Chyba souboru/cesty/syntaxe\na.txt"},
       {{"a.txt", "good"}},
       {{"a.txt", 0444}},
       {},
       false},
      {"a replaced target keeps its permission bits",
       archiveOf({storedMember("a.txt", "alpha"), storedMember("run.sh", "echo")}),
       {{"a.txt", "good", 0640}, {"run.sh", "old", 0750}},
       {},
       {{"a.txt", "alpha"}, {"run.sh", "echo"}},
       {{"a.txt", 0640}, {"run.sh", 0750}},
       {},
       false},
      {"a folder in the target's place is the specified text",
       archiveOf({storedMember("sub", "x"), storedMember("b.txt", "y")}),
       {{"sub", "", -1}},
       {"Chyba souboru/cesty/syntaxe\nsub"},
       {{"sub", "<folder>"}, {"b.txt", "y"}},
       {},
       {},
       false},
      {"debris of a killed extraction goes, other files stay",
       archiveOf({storedMember("a.txt", "alpha"), storedMember(".sundrix-zz99zz.part", "mine")}),
       {{".sundrix-ab12cd.part", "half", 0644},
        {".sundrix-1234-7.part", "mine", 0644},
        {"x.part", "mine", 0644},
        {".sundrix-ab12cd.partial", "mine", 0644},
        {".sundrix-AB12CD.part", "mine", 0644}},
       {"Name .sundrix-zz99zz.part is kept for temporary files ! Skip next..."},
       {{"a.txt", "alpha"},
        {".sundrix-1234-7.part", "mine"},
        {"x.part", "mine"},
        {".sundrix-ab12cd.partial", "mine"},
        {".sundrix-AB12CD.part", "mine"}},
       {},
       {},
       false},
      {"control characters in a name are escaped",
       archiveOf({evil}),
       {},
       {"Unknown compress method (9) use on " + shownEvil + " ! Skip next..."},
       {},
       {},
       {shownEvil + "\t1\t1\t0%\t01.06.2024\t12:34:56"},
       true},
      {"the writer's empty archive lists as empty",
       empty,
       {},
       {"Hlava chybí nebo je poškozena u %"},
       {},
       {},
       {},
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    const std::string out = dir.file("out/");
    std::filesystem::create_directories(out);
    for (const Prepared& p : row.before) {
      if (p.mode < 0) {
        std::filesystem::create_directory(out + p.name);
        continue;
      }
      writeText(out + p.name, p.text);
      ::chmod((out + p.name).c_str(), static_cast<mode_t>(p.mode));
    }
    const std::string archive = dir.file("a.zip");
    testing_support::writeFile(archive, row.archive);
    const auto run = extract(archive, out, {"*.*", "*"});
    std::vector<std::string> expected;
    for (std::string m : row.messages) {
      for (std::size_t at; (at = m.find('@')) != std::string::npos;) m.replace(at, 1, out);
      for (std::size_t at; (at = m.find('%')) != std::string::npos;) m.replace(at, 1, archive);
      expected.push_back(m);
    }
    EXPECT_EQ(run.messages, expected);
    EXPECT_EQ(folderContents(out), row.after);
    for (const auto& [name, mode] : row.modes) {
      struct stat st {};
      ASSERT_EQ(::stat((out + name).c_str(), &st), 0) << name;
      EXPECT_EQ(st.st_mode & 07777, static_cast<mode_t>(mode)) << name;
    }
    if (!row.listed) continue;
    zip::TUnZip lister;
    lister.DateSeparator = '.';
    lister.TimeSeparator = ':';
    std::vector<std::string> lines;
    lister.GetZipList(archive, lines);
    EXPECT_EQ(lines, row.listing);
    EXPECT_EQ(lister.listingProblem(), "");
  }
}

// Once a streamed member made the reader take in the central directory, a header that
// the directory does not list (hidden in a plain member's data, past what its local header
// says) is no member: neither listed nor extracted.
TEST(HostileArchive, AHeaderTheDirectoryDoesNotListIsNoMember) {
  TempDir dir;
  const std::vector<std::uint8_t> hidden = buildArchive({storedMember("hidden.txt", "gotcha")}, false);
  Member carrier = storedMember("b.bin", "12345678");
  carrier.data.insert(carrier.data.end(), hidden.begin(), hidden.end() - zip::kEndRecordSize);
  carrier.uncompressedSize = static_cast<std::uint32_t>(carrier.data.size());
  carrier.crc = zip::crc32(carrier.data.data(), carrier.data.size());
  std::vector<std::uint8_t> bytes =
      buildArchive({with(storedMember("a.txt", "alpha"), zip::kFlagDataDescriptor), carrier});
  // The carrier's local header says 8 bytes; the directory keeps its whole size.
  const std::string text(bytes.begin(), bytes.end());
  const std::size_t header = text.find("b.bin") - zip::kLocalHeaderSize;
  for (const std::size_t field : {std::size_t{18}, std::size_t{22}}) {
    bytes[header + field] = 8;
    bytes[header + field + 1] = bytes[header + field + 2] = bytes[header + field + 3] = 0;
  }
  const std::string archive = dir.file("a.zip");
  testing_support::writeFile(archive, bytes);
  const reader_test::RunResult run = reader_test::extract(archive, dir.file("out/"));
  EXPECT_FALSE(testing_support::exists(dir.file("out/hidden.txt")));
  bool named = false;
  for (const std::string& m : run.messages) named = named || m.find("hidden.txt") != std::string::npos;
  EXPECT_TRUE(named);
  zip::TUnZip lister;
  std::vector<std::string> lines;
  lister.GetZipList(archive, lines);
  for (const std::string& line : lines) EXPECT_EQ(line.find("hidden.txt"), std::string::npos) << line;
  EXPECT_NE(lister.listingProblem().find("hidden.txt"), std::string::npos);
}

// A temporary file that a running extraction or archive write holds is never taken for
// debris, however many runs pass through its folder; once let go, it is.
TEST(HostileArchive, ATemporaryFileInUseIsNeverSwept) {
  TempDir dir;
  const std::string out = dir.file("out/");
  std::filesystem::create_directories(out);
  platform::IoError err;
  platform::File held = platform::createTemporaryBeside(out + "x.zip", err);
  ASSERT_TRUE(held.isOpen()) << err.message();
  const std::string archive = dir.file("a.zip");
  testing_support::writeFile(archive, buildArchive({storedMember("a.txt", "alpha")}));
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(extract(archive, out).messages, std::vector<std::string>{});
    EXPECT_TRUE(exists(held.path()));
  }
  held.closeQuietly();
  EXPECT_EQ(extract(archive, out).messages, std::vector<std::string>{});
  EXPECT_FALSE(exists(held.path()));
}

TEST(HostileArchive, ListAndUnzipExitWithTheReasonOnDamage) {
  if (!exists(SUNDRIX_CLI)) GTEST_SKIP() << "sundrix-cli not built";
  TempDir dir;
  std::vector<std::uint8_t> cut =
      buildArchive({storedMember("a.txt", "alpha"), storedMember("b.txt", std::string(500, 'b'))});
  cut.resize(30 + 5 + 5 + 30 + 5 + 100);
  testing_support::writeFile(dir.file("cut.zip"), cut);
  Member shortStored = storedMember("s.txt", "short");
  shortStored.uncompressedSize = 50;
  writeArchive(dir.file("short.zip"), {shortStored});
  writeArchive(dir.file("good.zip"), {storedMember("a.txt", "alpha")});
  writeArchive(dir.file("enc.zip"), {with(storedMember("a.txt", "noise"), zip::kFlagEncrypted)});
  std::vector<std::uint8_t> empty(zip::kEndRecordSize, 0);
  zip::writeEndRecord(empty.data(), zip::EndRecord{});
  testing_support::writeFile(dir.file("empty.zip"), empty);
  writeText(dir.file("nothing.zip"), "");
  zip::EndRecord claims;
  claims.entriesOnDisk = claims.totalEntries = 5;
  zip::writeEndRecord(empty.data(), claims);
  testing_support::writeFile(dir.file("claims.zip"), empty);
  writeText(dir.file("a.txt"), "alpha");
  writeText(dir.file("h.zip"), "an old archive");
  ASSERT_EQ(::symlink("h.zip", dir.file("self.lnk").c_str()), 0);
  struct Case {
    std::string command;
    int exit;
    std::string error;  // found in stderr
  };
  const Case cases[] = {
      {"list " + dir.file("cut.zip"), 1, "ends inside member b.txt"},
      {"unzip " + dir.file("cut.zip") + " --dir " + dir.file("o1"), 1, "ends inside member b.txt"},
      {"unzip " + dir.file("short.zip") + " --dir " + dir.file("o2"), 1, "has wrong size"},
      {"list " + dir.file("good.zip"), 0, ""},
      {"list " + dir.file("empty.zip"), 0, ""},
      {"list " + dir.file("nothing.zip"), 1, "header is missing"},
      {"list " + dir.file("claims.zip"), 1, "header is missing"},
      {"unzip " + dir.file("enc.zip") + " --dir " + dir.file("o3"), 1, "a.txt is encrypted"},
      {"zip --overwrite " + dir.file("h.zip") + " " + dir.file("a.txt") + " " +
           dir.file("self.lnk"),
       1, "self.lnk is another name of the archive"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    std::string out;
    EXPECT_EQ(testing_support::runCommand(
                  std::string(SUNDRIX_CLI) + " " + c.command + " 2>" + dir.file("err"), &out),
              c.exit);
    const std::string err = readText(dir.file("err"));
    if (c.error.empty()) {
      EXPECT_EQ(err, "");
    } else {
      EXPECT_NE(err.find(c.error), std::string::npos) << err;
    }
  }
}

}  // namespace
