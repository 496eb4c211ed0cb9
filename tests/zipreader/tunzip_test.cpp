// TUnZip: selection, messages, progress, refused names, empty members, file times and
// the listing, on archives built byte by byte in temporary folders.
#include "zip/tunzip.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>

#include "platform/dos_time.h"
#include "platform/file.h"
#include "platform/path.h"
#include "reader_support.h"
#include "support/temp_dir.h"
#include "zip/crc32.h"
#include "zip/name_match.h"
#include "zip/shrink.h"

namespace {

using reader_test::buildArchive;
using reader_test::extract;
using reader_test::Member;
using reader_test::storedMember;
using testing_support::exists;
using testing_support::readText;
using testing_support::TempDir;

std::string writeArchive(const TempDir& dir, const std::vector<Member>& members,
                         const std::string& name = "a.zip", bool central = true) {
  testing_support::writeFile(dir.file(name), buildArchive(members, central));
  return dir.file(name);
}

TEST(NameMatch, FoldsCaseAndMatchesWildcardsOnEitherSide) {
  struct Case {
    const char* a;
    const char* b;
    bool match;
  };
  const Case cases[] = {
      {"*", "report", true},
      {"REPORT", "report", true},
      {"rep?rt", "report", true},
      {"report", "rep*", true},
      {"a*c", "abd", false},
      {"ŽLUŤOUČKÝ", "žluťoučký", true},
      {"k?ň", "kůň", true},
      {"k??ň", "kůň", false},
      {"ß", "SS", false},
      {"", "", true},
      {"*", "", true},
      {"a", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    EXPECT_EQ(zip::wildcardNamesMatch(c.a, c.b), c.match);
  }
}

TEST(NameMatch, ComparesFoldersExactlyAndUpToThreeExtensionCharacters) {
  EXPECT_TRUE(zip::sameArchiveName("*.*", "a.txt"));
  EXPECT_TRUE(zip::sameArchiveName("*.*", "README"));
  EXPECT_FALSE(zip::sameArchiveName("*.*", "sub/a.txt"));
  EXPECT_TRUE(zip::sameArchiveName("sub/*.*", "sub/a.txt"));
  EXPECT_FALSE(zip::sameArchiveName("SUB/*.*", "sub/a.txt"));
  EXPECT_TRUE(zip::sameArchiveName("a.zip", "a.b.zip"));  // name part up to the first "."
  EXPECT_TRUE(zip::sameArchiveName("a.zip", "A.ZIPX"));   // three extension characters
  EXPECT_FALSE(zip::sameArchiveName("*.txt", "a.doc"));
  EXPECT_FALSE(zip::sameArchiveName("*", "a.txt"));  // no extension in the mask
}

TEST(TUnZip, ExtractsWhatTheMasksSelectAndWalksEveryMember) {
  TempDir dir;
  const std::string archive =
      writeArchive(dir, {storedMember("a.txt", "alpha"), storedMember("e.bin", "skip me"),
                         storedMember("c.doc", "charlie"), storedMember("sub/d.txt", "delta")});
  const auto run = extract(archive, dir.file("out"), {"*.txt", "*.DOC"});
  EXPECT_TRUE(run.executed);
  EXPECT_TRUE(run.messages.empty());
  EXPECT_EQ(testing_support::listFolder(dir.file("out/")),
            (std::vector<std::string>{"a.txt", "c.doc"}));
  EXPECT_EQ(readText(dir.file("out/c.doc")), "charlie");
}

TEST(TUnZip, ReplacesExistingFilesWhateverOverwriteSays) {
  TempDir dir;
  const std::string archive = writeArchive(dir, {storedMember("a.txt", "new")});
  testing_support::writeText(dir.file("a.txt"), "old and longer");
  const auto run = extract(archive, dir.path());
  EXPECT_TRUE(run.messages.empty());
  EXPECT_EQ(readText(dir.file("a.txt")), "new");
}

TEST(TUnZip, ArchiveLevelOutcomes) {
  TempDir dir;
  testing_support::writeFile(dir.file("end-only.zip"), buildArchive({}));
  testing_support::writeText(dir.file("empty.zip"), "");
  {
    SCOPED_TRACE("end record only");
    const auto run = extract(dir.file("end-only.zip"), dir.file("out"));
    EXPECT_TRUE(run.executed);
    EXPECT_EQ(run.messages, std::vector<std::string>{"Hlava chybí nebo je poškozena u " +
                                                     dir.file("end-only.zip")});
  }
  {
    SCOPED_TRACE("zero bytes");
    const auto run = extract(dir.file("empty.zip"), dir.file("out"));
    EXPECT_TRUE(run.executed);
    EXPECT_TRUE(run.messages.empty());
  }
  {
    SCOPED_TRACE("missing archive");
    const auto run = extract(dir.file("missing.zip"), dir.file("never"));
    EXPECT_TRUE(run.executed);
    EXPECT_TRUE(run.messages.empty());
    EXPECT_FALSE(exists(dir.file("never")));
  }
  {
    SCOPED_TRACE("empty extraction folder");
    zip::TUnZip unzip;
    unzip.SetFName(dir.file("end-only.zip"));
    unzip.SetExtrPath("");
    EXPECT_EQ(unzip.ExtrPath(), "");
    EXPECT_FALSE(unzip.Execute());
    EXPECT_THROW(unzip.UnCrunch(dir.file("end-only.zip"), "", {}), zip::UnZipError);
  }
}

TEST(TUnZip, SetExtrPathAppendsTheSeparatorOnce) {
  zip::TUnZip unzip;
  unzip.SetExtrPath("/out");
  EXPECT_EQ(unzip.ExtrPath(), "/out" + std::string(1, platform::kPathSeparator));
  unzip.SetExtrPath("/out/");
  EXPECT_EQ(unzip.ExtrPath(), "/out/");
}

TEST(TUnZip, MemberMessagesAndTheNextMemberStillExtracts) {
  TempDir dir;
  Member altered = storedMember("bad.txt", "original");
  altered.data[0] = 'O';
  Member unknown = storedMember("x.dat", "deflate64?");
  unknown.method = 9;  // Deflate64, which this reader does not decode
  Member longName = storedMember(std::string(300, 'n'), "long");
  Member longExtra = storedMember("extra.txt", "with extra");
  longExtra.extraLength = 300;
  const std::string archive =
      writeArchive(dir, {altered, unknown, longName, longExtra, storedMember("z.txt", "last")});
  const auto run = extract(archive, dir.path());
  const std::vector<std::string> expected{
      "File " + dir.file("bad.txt") + " has bad CRC ! Stored CRC is " +
          [] {
            char t[16];
            std::snprintf(t, sizeof t, "%X",
                          zip::crc32(reinterpret_cast<const std::uint8_t*>("original"), 8));
            return std::string(t);
          }() +
          ", computed CRC is " +
          [] {
            char t[16];
            std::snprintf(t, sizeof t, "%X",
                          zip::crc32(reinterpret_cast<const std::uint8_t*>("Original"), 8));
            return std::string(t);
          }() +
          ".",
      "Unknown compress method (9) use on x.dat ! Skip next...",
      "Jméno je chybné !",
      "Jméno je chybné !",
  };
  EXPECT_EQ(run.messages, expected);
  EXPECT_EQ(readText(dir.file("bad.txt")), "Original");  // kept as written
  EXPECT_EQ(readText(dir.file(std::string(255, 'n'))), "long");
  EXPECT_EQ(readText(dir.file("extra.txt")), "with extra");
  EXPECT_EQ(readText(dir.file("z.txt")), "last");
}

TEST(TUnZip, CrcMessageUsesUpperCaseHexWithoutLeadingZeros) {
  TempDir dir;
  Member m = storedMember("m.txt", "x");
  m.crc = 0x00ABCDEF;
  const auto run = extract(writeArchive(dir, {m}), dir.path());
  ASSERT_EQ(run.messages.size(), 1u);
  EXPECT_NE(run.messages[0].find("Stored CRC is ABCDEF, computed CRC is "), std::string::npos);
}

TEST(TUnZip, NamesLeadingOutOfTheFolderAreRefused) {
  TempDir dir;
  const char* names[] = {"../up.txt",     "sub/../../up2.txt", "/tmp/abs.txt",       "..\\win.txt",
                         "C:\\drive.txt", "\\root.txt",        "a/..\\..\\mixed.txt"};
  std::vector<Member> members;
  for (const char* n : names) members.push_back(storedMember(n, "escape"));
  members.push_back(storedMember("ok.txt", "fine"));
  const std::string archive = writeArchive(dir, members);
  // Masks that select every one of them, wherever its folder part points.
  const auto run = extract(archive, dir.file("out"),
                           {"*.*", "../*.*", "/tmp/*.*", "out/../../*.*", "../../*.*"});
  EXPECT_TRUE(run.executed);
  for (const std::string& m : run.messages) {
    EXPECT_NE(m.find("leads outside the extraction folder"), std::string::npos) << m;
  }
  EXPECT_GE(run.messages.size(), 5u);
  EXPECT_EQ(testing_support::listFolder(dir.file("out/")), std::vector<std::string>{"ok.txt"});
  EXPECT_FALSE(exists(dir.file("up.txt")));
  EXPECT_FALSE(exists(dir.file("up2.txt")));
  EXPECT_FALSE(exists("/tmp/abs.txt"));
  for (const char* n : {"..\\win.txt", "C:\\drive.txt", "\\root.txt"}) {
    EXPECT_FALSE(zip::isSafeMemberName(n)) << n;
  }
  EXPECT_TRUE(zip::isSafeMemberName("a..b.txt"));
  EXPECT_TRUE(zip::isSafeMemberName("sub/x.txt"));
}

TEST(TUnZip, EmptyMembersOfEveryMethodGiveEmptyFilesSilently) {
  TempDir dir;
  std::vector<Member> members;
  for (int method = 0; method <= 6; ++method) {
    for (int flags : {0, 6}) {
      Member m;
      m.name = "empty" + std::to_string(method) + "_" + std::to_string(flags);
      m.method = static_cast<std::uint16_t>(method);
      m.flags = static_cast<std::uint16_t>(flags);
      if (method == 6) m.data = {0x00, 0x01};  // some bytes that are no trees at all
      members.push_back(m);
    }
  }
  const auto run = extract(writeArchive(dir, members), dir.path(), {"empty*"});
  EXPECT_TRUE(run.messages.empty());
  for (const Member& m : members) EXPECT_EQ(testing_support::sizeOf(dir.file(m.name)), 0) << m.name;
}

TEST(TUnZip, ProgressOfAStoredMemberAndOfAShrunkOne) {
  TempDir dir;
  const auto run =
      extract(writeArchive(dir, {storedMember("four.txt", "abcd")}), dir.path(), {}, true);
  EXPECT_EQ(run.progress, (std::vector<int>{0, 25, 50, 75}));
  // Halves go to the even neighbour: 87.5 % left shows 12, 62.5 % shows 38.
  TempDir dir8;
  const auto run8 =
      extract(writeArchive(dir8, {storedMember("eight.txt", "abcdefgh")}), dir8.path(), {}, true);
  EXPECT_EQ(run8.progress, (std::vector<int>{0, 12, 25, 38, 50, 62, 75, 88}));

  const std::string text(5000, 'q');
  Member shrunk;
  shrunk.name = "q.txt";
  shrunk.method = 1;
  shrunk.data =
      zip::shrinkBytes(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  shrunk.uncompressedSize = 5000;
  shrunk.crc = zip::crc32(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  TempDir dir2;
  const auto run2 = extract(writeArchive(dir2, {shrunk}), dir2.path(), {}, true);
  EXPECT_TRUE(run2.messages.empty());
  EXPECT_EQ(readText(dir2.file("q.txt")), text);
  ASSERT_EQ(run2.progress.size(), shrunk.data.size());
  EXPECT_EQ(run2.progress.front(), 0);
  EXPECT_TRUE(std::is_sorted(run2.progress.begin(), run2.progress.end()));
  EXPECT_LT(run2.progress.back(), 100);
}

TEST(TUnZip, FileTimesComeFromTheHeaderAndInvalidOnesAreLeftAlone) {
  TempDir dir;
  Member dated = storedMember("dated.txt", "d");
  Member invalid = storedMember("invalid.txt", "i");
  invalid.date = 0;  // month 0, day 0
  const auto run = extract(writeArchive(dir, {dated, invalid}), dir.path());
  EXPECT_TRUE(run.messages.empty());
  std::time_t expected = 0;
  ASSERT_TRUE(platform::fromDosDateTime({dated.date, dated.time}, expected));
  platform::IoError err;
  std::time_t got = 0;
  ASSERT_TRUE(platform::fileModificationTime(dir.file("dated.txt"), got, err));
  EXPECT_EQ(got, expected);
  ASSERT_TRUE(platform::fileModificationTime(dir.file("invalid.txt"), got, err));
  EXPECT_LT(std::difftime(std::time(nullptr), got), 3600);
}

TEST(TUnZip, TargetsThatCannotBeCreatedAreReportedAndSkipped) {
  TempDir dir;
  const auto run =
      extract(writeArchive(dir, {storedMember("nofolder/a.txt", "x"), storedMember("b.txt", "y")}),
              dir.file("out"), {"nofolder/*.*", "*.*"});
  EXPECT_EQ(run.messages, std::vector<std::string>{"Cesta není platná/nebyla nalezana"});
  EXPECT_EQ(readText(dir.file("out/b.txt")), "y");
}

TEST(TUnZip, InputOutputMessagesByErrorCode) {
  using platform::ErrorKind;
  const auto message = [](ErrorKind kind) { return zip::ioErrorMessage(platform::errorCode(kind)); };
  EXPECT_EQ(message(ErrorKind::NotFound), "Soubor nebyl nalezen");
  EXPECT_EQ(message(ErrorKind::PathNotFound), "Cesta není platná/nebyla nalezana");
  EXPECT_EQ(message(ErrorKind::Denied), "Chyba souboru/cesty/syntaxe");
  EXPECT_EQ(message(ErrorKind::DiskFull), "Disk je plný");
  const int other = platform::errorCode(ErrorKind::Other);
  EXPECT_EQ(zip::ioErrorMessage(other), "Vstupně/výstupní chyba " + std::to_string(other));
}

// --- Listing --------------------------------------------------------------------------

TEST(GetZipList, LineOfTheDocumentedExampleAndAppendingTwice) {
  TempDir dir;
  Member m;
  m.name = "report.txt";
  m.method = 1;
  m.data.assign(370, 0);
  m.uncompressedSize = 1000;
  m.date = static_cast<std::uint16_t>((21 << 9) | (12 << 5) | 31);
  m.time = static_cast<std::uint16_t>((23 << 11) | (59 << 5) | 29);
  const std::string archive = writeArchive(dir, {m});
  zip::TUnZip unzip;
  unzip.DateSeparator = '.';
  unzip.TimeSeparator = ':';
  std::vector<std::string> lines{"kept"};
  unzip.GetZipList(archive, lines);
  unzip.GetZipList(archive, lines);
  const std::string line = "report.txt\t1000\t370\t-63%\t31.12.2001\t23:59:58";
  EXPECT_EQ(lines, (std::vector<std::string>{"kept", line, line}));
}

TEST(GetZipList, RatiosPlaceholdersAndTheEndOfTheWalk) {
  TempDir dir;
  Member grown = storedMember("grown", "");
  grown.method = 1;
  grown.data.assign(3, 0);
  grown.uncompressedSize = 2;
  Member empty = storedMember("empty", "");
  Member badDate = storedMember("bad", "x");
  badDate.date = 0;
  badDate.time = 0xFFFF;
  std::vector<std::uint8_t> bytes = buildArchive({grown, empty, badDate}, false);
  bytes.resize(bytes.size() - 22 - 1);  // the end record goes, and the last data byte
  testing_support::writeFile(dir.file("a.zip"), bytes);
  zip::TUnZip unzip;
  unzip.DateSeparator = '-';
  unzip.TimeSeparator = '.';
  std::vector<std::string> lines;
  unzip.GetZipList(dir.file("a.zip"), lines);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "grown\t2\t3\t50%\t01-06-2024\t12.34.56",
                       "empty\t0\t0\t0%\t01-06-2024\t12.34.56",
                       "bad\t1\t1\t0%\t00-00-0000\t00.00.00",
                   }));
  EXPECT_THROW(unzip.GetZipList(dir.file("missing.zip"), lines), zip::UnZipError);
}

TEST(GetZipList, SeparatorsComeFromTheCLocaleByDefault) {
  // The test runs in the "C" locale: dates as %m/%d/%y, times as %H:%M:%S.
  zip::TUnZip unzip;
  EXPECT_EQ(unzip.DateSeparator, '/');
  EXPECT_EQ(unzip.TimeSeparator, ':');
}

}  // namespace
