// The writer against its own archive: the archive under another name of a source, a
// source that leads back to the archive, a source that grows while it is packed, a full
// disk or a link where the archive is to go.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/file.h"
#include "zip/crc32.h"
#include "zip/tzip.h"
#include "zipwriter/zipwriter_util.h"

using namespace zipwriter_test;

namespace {

TEST(HostileArchive, TheWriterNeverReadsOrEmptiesItsOwnArchive) {
  struct Case {
    const char* name;
    // Made in the folder before the run; returns the list of files to pack.
    std::vector<std::string> (*make)(const std::string& dir);
    const char* message;  // after the folder, or nothing
  };
  const Case cases[] = {
      {"archive is a hard link to the source",
       [](const std::string& d) {
         EXPECT_EQ(::link((d + "a.txt").c_str(), (d + "h.zip").c_str()), 0);
         return std::vector<std::string>{d + "a.txt"};
       },
       nullptr},
      {"archive is a symbolic link to the source",
       [](const std::string& d) {
         EXPECT_EQ(::symlink("a.txt", (d + "h.zip").c_str()), 0);
         return std::vector<std::string>{d + "a.txt"};
       },
       nullptr},
      {"a source is a link to the old archive",
       [](const std::string& d) {
         writeText(d + "h.zip", "an old archive");
         EXPECT_EQ(::symlink("h.zip", (d + "self.lnk").c_str()), 0);
         return std::vector<std::string>{d + "a.txt", d + "self.lnk"};
       },
       "self.lnk is another name of the archive "},
  };
  const std::string text(20000, 'a');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tmp;
    writeText(tmp / "a.txt", text);
    zip::TZip zip;
    std::vector<std::string> messages;
    zip.OnError = [&](zip::ZipComponent&, const std::string& m) { messages.push_back(m); };
    zip.SetFName(tmp / "h.zip");
    zip.Files = c.make(tmp.path());
    zip.Overwrite = true;
    ASSERT_TRUE(zip.Execute());
    const std::string folder = tmp.path();
    EXPECT_EQ(messages,
              c.message == nullptr
                  ? std::vector<std::string>{}
                  : std::vector<std::string>{folder + c.message + folder + "h.zip ! Skip next..."});
    EXPECT_EQ(testing_support::readText(tmp / "a.txt"), text);
    const Archive a = parseArchive(readAll(tmp / "h.zip"));
    ASSERT_EQ(a.error, "");
    ASSERT_EQ(a.members.size(), 1u);
    EXPECT_EQ(a.members[0].name, "a.txt");
    EXPECT_EQ(a.members[0].local.uncompressedSize, text.size());
  }
}

// Writes to the archive's temporary file fail with a full disk from the `from`-th on.
class FullDisk : public platform::FaultInjector {
 public:
  explicit FullDisk(int from) : m_left(from) { platform::setFaultInjector(this); }
  ~FullDisk() override { platform::setFaultInjector(nullptr); }
  int before(platform::FileOp op, const std::string& path) override {
    if (op != platform::FileOp::Write || path.find(".sundrix-") == std::string::npos) return 0;
    return --m_left <= 0 ? ENOSPC : 0;
  }

 private:
  int m_left;
};

// Each row is a run of `zip --overwrite` that used to lose or reach a file it was not
// asked to write: the old archive, the file a link at the archive's name points to, a
// file outside the folder. The folder holds a.txt (to pack) and, outside it, victim.txt.
TEST(HostileArchive, AnOverwriteThatFailsOrMeetsALinkKeepsEveryOtherFile) {
  struct Row {
    const char* name;
    void (*prepare)(const std::string& dir);  // makes d/h.zip (or not)
    int failWrite;                            // 0: no fault
    bool succeeds;
    std::vector<std::string> messages;
    const char* oldBytes;  // what d/h.zip must still hold; nullptr: the new archive
  };
  const Row rows[] = {
      {"a full disk keeps the old archive",
       [](const std::string& d) { writeText(d + "d/h.zip", "the old archive"); },
       2,
       false,
       {},
       "the old archive"},
      {"a full disk where no archive was leaves nothing",
       [](const std::string&) {},
       2,
       false,
       {},
       nullptr},
      {"a link at the name to an unrelated file",
       [](const std::string& d) {
         EXPECT_EQ(::symlink("../victim.txt", (d + "d/h.zip").c_str()), 0);
       },
       0,
       true,
       {},
       nullptr},
      {"a dangling link at the name leading outside",
       [](const std::string& d) {
         EXPECT_EQ(::symlink("../made.zip", (d + "d/h.zip").c_str()), 0);
       },
       0,
       true,
       {},
       nullptr},
      {"a read-only archive is refused",
       [](const std::string& d) {
         writeText(d + "d/h.zip", "the old archive");
         ::chmod((d + "d/h.zip").c_str(), 0444);
       },
       0,
       false,
       {"Chyba při otevítání souboru"},
       "the old archive"},
  };
  const std::string text(20000, 'a');
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir tmp;
    const std::string d = tmp.path();
    std::filesystem::create_directory(d + "d");
    writeText(d + "d/a.txt", text);
    writeText(d + "victim.txt", "keep me");
    row.prepare(d);
    zip::TZip zip;
    std::vector<std::string> messages;
    zip.OnError = [&](zip::ZipComponent&, const std::string& m) { messages.push_back(m); };
    zip.SetFName(d + "d/h.zip");
    zip.Files = {d + "d/a.txt"};
    zip.Overwrite = true;
    bool ok;
    if (row.failWrite > 0) {
      FullDisk full(row.failWrite);
      ok = zip.Execute();
    } else {
      ok = zip.Execute();
    }
    EXPECT_EQ(ok, row.succeeds) << zip.lastFailure();
    EXPECT_EQ(messages, row.messages);
    EXPECT_EQ(testing_support::readText(d + "victim.txt"), "keep me");
    EXPECT_FALSE(testing_support::exists(d + "made.zip"));
    std::vector<std::string> left = testing_support::listFolder(d + "d/");
    if (row.oldBytes != nullptr) {
      EXPECT_EQ(testing_support::readText(d + "d/h.zip"), row.oldBytes);
    } else if (row.succeeds) {
      EXPECT_FALSE(std::filesystem::is_symlink(d + "d/h.zip"));
      const Archive a = parseArchive(readAll(d + "d/h.zip"));
      EXPECT_EQ(a.error, "");
      EXPECT_EQ(memberNames(a), std::vector<std::string>{"a.txt"});
    } else {
      EXPECT_EQ(left, std::vector<std::string>{"a.txt"});
    }
    // No temporary file outlives the run.
    for (const std::string& name : left)
      EXPECT_EQ(name.find(".sundrix-"), std::string::npos) << name;
  }
}

// The new archive takes the old one's place with its permission bits.
TEST(HostileArchive, AReplacedArchiveKeepsItsPermissionBits) {
  TempDir tmp;
  writeText(tmp / "a.txt", "alpha");
  writeText(tmp / "h.zip", "old");
  ::chmod((tmp / "h.zip").c_str(), 0640);
  zip::TZip zip;
  zip.SetFName(tmp / "h.zip");
  zip.Files = {tmp / "a.txt"};
  zip.Overwrite = true;
  ASSERT_TRUE(zip.Execute()) << zip.lastFailure();
  struct stat st {};
  ASSERT_EQ(::stat((tmp / "h.zip").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(memberNames(parseArchive(readAll(tmp / "h.zip"))), std::vector<std::string>{"a.txt"});
}

// A file that grows while it is packed goes in as it was when its member began (a file
// growing without end would otherwise be followed without end); the change is reported
// and the archive stays valid. Both the shrunk and the stored path are taken.
TEST(HostileArchive, AFileGrowingWhilePackedIsCutAtItsStartSizeAndReported) {
  for (const bool random : {false, true}) {
    SCOPED_TRACE(random ? "stored" : "shrunk");
    TempDir tmp;
    const std::string path = tmp / "log.txt";
    const Bytes start = random ? randomBytes(100000, 7) : Bytes(100000, 'a');
    writeAll(path, start);
    zip::TZip zip;
    std::vector<std::string> messages;
    zip.OnError = [&](zip::ZipComponent&, const std::string& m) { messages.push_back(m); };
    int events = 0;
    zip.OnProgress = [&](zip::ZipComponent&, std::int16_t) {
      if (++events % 1000 == 0) std::ofstream(path, std::ios::app) << std::string(500, 'b');
    };
    zip.SetFName(tmp / "g.zip");
    zip.Files = {path};
    ASSERT_TRUE(zip.Execute());
    EXPECT_EQ(messages, std::vector<std::string>{path + " changed while it was being packed"});
    const Archive a = parseArchive(readAll(tmp / "g.zip"));
    ASSERT_EQ(a.error, "");
    ASSERT_EQ(a.members.size(), 1u);
    EXPECT_EQ(a.members[0].local.method, random ? 0 : 1);
    EXPECT_EQ(a.members[0].local.uncompressedSize, start.size());
    EXPECT_EQ(a.members[0].local.crc, zip::crc32(start.data(), start.size()));
  }
}

}  // namespace
