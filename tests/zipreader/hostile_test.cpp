// Archives and extraction folders built to turn the reader against the user's files:
// links in the folder, the archive as its own target, huge declared sizes, archives cut
// off, folders in a target's place.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "reader_support.h"
#include "support/temp_dir.h"
#include "zip/tunzip.h"

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

// A target is replaced only by a member whose data was there to the end; a bad CRC still
// replaces it, an archive cut off does not, and no temporary file stays behind.
TEST(HostileArchive, TargetsAreReplacedOnlyByCompleteMembers) {
  Member badCrc = storedMember("a.txt", "altered");
  badCrc.crc ^= 1;
  Member shortStored = storedMember("a.txt", "short");
  shortStored.uncompressedSize = 50;
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
      {"bad CRC", buildArchive({badCrc}), "altered", "File "},
      {"stored data shorter than declared", buildArchive({shortStored}), "short", "File "},
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

TEST(HostileArchive, AFolderInTheTargetsPlaceIsAPathErrorNamingTheMember) {
  TempDir dir;
  std::filesystem::create_directories(dir.file("out/sub"));
  const auto run = extract(
      writeArchive(dir.file("a.zip"), {storedMember("sub", "x"), storedMember("b.txt", "y")}),
      dir.file("out"), {"*"});
  EXPECT_EQ(run.messages, std::vector<std::string>{"Chyba souboru/cesty/syntaxe: sub"});
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("out/sub")));
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
