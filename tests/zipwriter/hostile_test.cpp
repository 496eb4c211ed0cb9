// The writer against its own archive: the archive under another name of a source, a
// source that leads back to the archive, a source that grows while it is packed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

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
  };
  const Case cases[] = {
      {"archive is a hard link to the source",
       [](const std::string& d) {
         EXPECT_EQ(::link((d + "a.txt").c_str(), (d + "h.zip").c_str()), 0);
         return std::vector<std::string>{d + "a.txt"};
       }},
      {"archive is a symbolic link to the source",
       [](const std::string& d) {
         EXPECT_EQ(::symlink("a.txt", (d + "h.zip").c_str()), 0);
         return std::vector<std::string>{d + "a.txt"};
       }},
      {"a source is a link to the old archive",
       [](const std::string& d) {
         writeText(d + "h.zip", "an old archive");
         EXPECT_EQ(::symlink("h.zip", (d + "self.lnk").c_str()), 0);
         return std::vector<std::string>{d + "a.txt", d + "self.lnk"};
       }},
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
    EXPECT_EQ(messages, std::vector<std::string>{});
    EXPECT_EQ(testing_support::readText(tmp / "a.txt"), text);
    const Archive a = parseArchive(readAll(tmp / "h.zip"));
    ASSERT_EQ(a.error, "");
    ASSERT_EQ(a.members.size(), 1u);
    EXPECT_EQ(a.members[0].name, "a.txt");
    EXPECT_EQ(a.members[0].local.uncompressedSize, text.size());
  }
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
