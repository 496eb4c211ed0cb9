// The file layer: errors that name the operation and the path, hole-aware copying,
// directory search and MS-DOS times.
#include "platform/file.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>

#include "platform/dir_search.h"
#include "platform/dos_time.h"
#include "platform/path.h"
#include "support/descriptors.h"
#include "support/temp_dir.h"

using platform::File;
using platform::IoError;
using testing_support::TempDir;

namespace {

TEST(File, ErrorsNameOperationPathAndReason) {
  TempDir dir;
  IoError err;
  File f = File::open(dir.file("none"), File::Mode::Read, err);
  EXPECT_FALSE(f.isOpen());
  EXPECT_EQ(platform::errorKind(err.code), platform::ErrorKind::NotFound);
#ifdef _WIN32
  const std::string systemText = "File not found";
#else
  const std::string systemText = "No such file or directory";
#endif
  EXPECT_EQ(err.message(), "cannot open " + dir.file("none") + ": " + systemText);
  testing_support::writeText(dir.file("short"), "abc");
  File s = File::open(dir.file("short"), File::Mode::Read, err);
  char buffer[8];
  EXPECT_FALSE(s.readExact(buffer, 8, err));
  EXPECT_EQ(err.reason(), "the file ended early");
  File d = File::open(dir.path(), File::Mode::Read, err);
  EXPECT_FALSE(d.isOpen());
}

TEST(FolderFiles, NamesInAHeldFolderAreTheFilesAtTheirFullPaths) {
  TempDir dir;
  testing_support::writeText(dir.file("a.001"), "abcd");
  IoError err;
  ASSERT_TRUE(platform::createFolders(dir.file("sub"), err));
  const platform::FolderFiles folder(dir.path());
  File a = folder.open("a.001", File::Mode::Read, err);
  ASSERT_TRUE(a.isOpen()) << err.message();
  EXPECT_EQ(a.path(), dir.file("a.001"));
  platform::FileIdentity byPath;
  ASSERT_TRUE(platform::identifyPath(dir.file("a.001"), byPath));
  EXPECT_EQ(a.openedAs(), byPath);
  File none = folder.open("none", File::Mode::Read, err);
  EXPECT_FALSE(none.isOpen());
  EXPECT_EQ(err.path, dir.file("none"));
  platform::FileSpace space;
  ASSERT_TRUE(folder.fileSpace("a.001", space));
  EXPECT_EQ(space.size, 4);
  EXPECT_TRUE(space.regular);
  EXPECT_TRUE(space.device == byPath.device && space.inode == byPath.inode);
  ASSERT_TRUE(folder.fileSpace("sub", space));
  EXPECT_FALSE(space.regular);
  EXPECT_FALSE(folder.fileSpace("none", space));
#ifndef _WIN32
  // A new file replaces a link at its name and never writes through it.
  ASSERT_EQ(::symlink(dir.file("a.001").c_str(), dir.file("link").c_str()), 0);
  File fresh = folder.open("link", File::Mode::CreateNew, err);
  ASSERT_TRUE(fresh.isOpen()) << err.message();
  EXPECT_TRUE(fresh.writeAll("x", 1, err));
  EXPECT_EQ(testing_support::readText(dir.file("a.001")), "abcd");
#endif
}

#ifndef _WIN32
TEST(File, ANamedPipeIsRefused) {
  TempDir dir;
  IoError err;
  // A named pipe is refused at once instead of waiting for a writer.
  ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0644), 0);
  File p = File::open(dir.file("pipe"), File::Mode::Read, err);
  EXPECT_FALSE(p.isOpen());
  EXPECT_EQ(err.reason(), "not a regular file");
}

// Writes `size` bytes at `at` into a sparse file, returns all bytes as they read back.
std::vector<std::uint8_t> makeSparse(
    const std::string& path, std::int64_t total,
    std::initializer_list<std::pair<std::int64_t, std::size_t>> data) {
  const int fd = ::open(path.c_str(), O_CREAT | O_RDWR | O_TRUNC, 0644);
  std::vector<std::uint8_t> expected(static_cast<std::size_t>(total), 0);
  std::uint32_t seed = 1;
  for (const auto& [at, size] : data) {
    const auto bytes = testing_support::makeBytes(size, seed++);
    EXPECT_EQ(::pwrite(fd, bytes.data(), size, at), static_cast<ssize_t>(size));
    std::copy(bytes.begin(), bytes.end(), expected.begin() + at);
  }
  EXPECT_EQ(::ftruncate(fd, total), 0);
  ::close(fd);
  return expected;
}

TEST(CopyBytes, RangesOfSparseFilesCopyExactly) {
  TempDir dir;
  const std::int64_t total = 3 * 1024 * 1024;
  const auto expected = makeSparse(dir.file("in"), total, {{5000, 100}, {1'500'000, 70'000}});
  struct Row {
    std::int64_t from, n;
  };
  // Ranges that start and end in holes and in data, and one that ends in a hole at the end.
  for (const Row row : {Row{0, total}, Row{4000, 2000}, Row{5050, 1'500'010},
                        Row{1'560'000, total - 1'560'000}, Row{6000, 1000}}) {
    SCOPED_TRACE(std::to_string(row.from) + "+" + std::to_string(row.n));
    IoError err;
    File in = File::open(dir.file("in"), File::Mode::Read, err);
    File out = File::open(dir.file("out"), File::Mode::CreateReadWrite, err);
    ASSERT_TRUE(in.seek(row.from, err));
    ASSERT_TRUE(platform::copyBytes(in, out, row.n, err)) << err.message();
    ASSERT_TRUE(out.close(err));
    EXPECT_EQ(in.position(err), row.from + row.n);
    const auto got = testing_support::readFile(dir.file("out"));
    ASSERT_EQ(got.size(), static_cast<std::size_t>(row.n));
    EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin() + row.from));
  }
}

TEST(CopyBytes, HolesAreNotSkippedOverOldData) {
  TempDir dir;
  makeSparse(dir.file("in"), 100'000, {});
  testing_support::writeFile(dir.file("out"), std::vector<std::uint8_t>(100'000, 0xAA));
  IoError err;
  File in = File::open(dir.file("in"), File::Mode::Read, err);
  File out = File::open(dir.file("out"), File::Mode::ReadWrite, err);
  ASSERT_TRUE(platform::copyBytes(in, out, 100'000, err));
  out.close(err);
  EXPECT_EQ(testing_support::readFile(dir.file("out")), std::vector<std::uint8_t>(100'000, 0));
}

TEST(CopyBytes, AShortInputIsAnError) {
  TempDir dir;
  makeSparse(dir.file("in"), 1000, {});
  IoError err;
  File in = File::open(dir.file("in"), File::Mode::Read, err);
  File out = File::open(dir.file("out"), File::Mode::CreateReadWrite, err);
  EXPECT_FALSE(platform::copyBytes(in, out, 2000, err));
  EXPECT_EQ(err.reason(), "the file ended early");
}

#endif  // POSIX: named pipes and files with holes

TEST(CreateFolders, MakesEveryMissingFolderOfAnAbsolutePathAndNothingElse) {
  TempDir work, target;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(work.path());
  const std::string sep(1, platform::kPathSeparator);
  const std::string rows[] = {target.file("a"), target.file("b" + sep + "c" + sep + "d"),
                              target.file("e/f") + sep, target.path()};
  for (const std::string& path : rows) {
    SCOPED_TRACE(path);
    IoError err;
    EXPECT_TRUE(platform::createFolders(path, err)) << err.message();
    EXPECT_TRUE(platform::folderExists(path));
  }
  // Nothing may appear in the current folder (a drive letter taken for a folder name).
  EXPECT_EQ(testing_support::listFolder(work.path()), std::vector<std::string>{});
  IoError err;
  testing_support::writeText(target.file("file"), "x");
  EXPECT_FALSE(platform::createFolders(target.file("file") + sep + "below", err));
  std::filesystem::current_path(previous);
}

TEST(Wildcards, MatchWholeNames) {
  struct Row {
    const char* mask;
    const char* name;
    bool match;
  };
  const Row rows[] = {
      {"*.*", "README", true},
      {"*.*", "a.b", true},
      {"*.txt", "a.txt", true},
      {"*.txt", "a.TXT", false},
      {"*.txt", "a.txt.bak", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"*a*b*", "xxaybzz", true},
      {"x.*", "x", true},
      {"readme.txt", "readme.txt", true},
      {"", "a", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.mask) + " ~ " + row.name);
    EXPECT_EQ(platform::wildcardMatch(row.mask, row.name), row.match);
  }
}

TEST(DirSearch, KindsAndOrder) {
  TempDir dir;
  testing_support::writeText(dir.file("b.txt"), "b");
  testing_support::writeText(dir.file("a.txt"), "a");
  testing_support::writeText(dir.file(".hidden.txt"), "h");
  ASSERT_TRUE(std::filesystem::create_directory(dir.file("sub.txt")));
  ASSERT_TRUE(std::filesystem::create_directory(dir.file(".git")));
  auto names = [](const std::vector<platform::DirEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.name);
    return out;
  };
  using platform::SearchKind;
  EXPECT_EQ(names(platform::findFiles(dir.file("*.txt"), SearchKind::Files)),
            (std::vector<std::string>{".hidden.txt", "a.txt", "b.txt"}));
  EXPECT_EQ(names(platform::findFiles(dir.file("*.*"), SearchKind::Folders)),
            std::vector<std::string>{"sub.txt"});
  EXPECT_TRUE(platform::firstMatchIsFile(dir.file("a*")));
  EXPECT_FALSE(platform::firstMatchIsFile(dir.file("sub*")));
  EXPECT_FALSE(platform::firstMatchIsFile(dir.file("zzz")));
  const auto entries = platform::findFiles(dir.file("a.txt"), SearchKind::Files);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].size, 1);
}

#ifndef _WIN32
// A folder's names include links to files however the folder is named, the current one
// as "" or "." included; a dangling link is left out.
TEST(DirSearch, EntryNamesFollowLinksFromAnyFolderName) {
  TempDir dir;
  testing_support::writeText(dir.file("a.001"), "a");
  ASSERT_EQ(::symlink("a.001", dir.file("a.002").c_str()), 0);
  ASSERT_EQ(::symlink("gone", dir.file("a.003").c_str()), 0);
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const std::vector<std::string> want{"a.001", "a.002"};
  const std::string bare = dir.path().substr(0, dir.path().size() - 1);  // no separator
  for (const std::string& folder : {std::string(), std::string("."), std::string("./"), dir.path(), bare}) {
    std::vector<std::string> names = platform::entryNames(folder);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, want) << "folder \"" << folder << "\"";
  }
  std::filesystem::current_path(before);
}

// A folder read to its end says so; one that cannot be opened (not there, or no
// descriptor left for it) says it was not, rather than passing for an empty folder.
TEST(DirSearch, AFolderThatCannotBeReadIsToldFromAnEmptyOne) {
  TempDir dir;
  testing_support::writeText(dir.file("a.001"), "a");
  std::size_t seen = 0;
  const auto count = [&seen](const std::string&) { ++seen; };
  EXPECT_TRUE(platform::forEachEntryName(dir.path(), count));
  EXPECT_EQ(seen, 1u);
  EXPECT_FALSE(platform::forEachEntryName(dir.file("none"), count));
  bool read = true;
  {
    testing_support::DescriptorLimit none(0);
    ASSERT_TRUE(none.set());
    read = platform::forEachEntryName(dir.path(), count);
  }
  EXPECT_FALSE(read);
  EXPECT_EQ(seen, 1u);
}
#endif

TEST(DosTime, RoundTripsAndRejectsImpossibleDates) {
  std::tm local{};
  local.tm_year = 2001 - 1900;
  local.tm_mon = 11;
  local.tm_mday = 31;
  local.tm_hour = 23;
  local.tm_min = 59;
  local.tm_sec = 58;
  local.tm_isdst = -1;
  const std::time_t t = std::mktime(&local);
  const platform::DosDateTime dos = platform::toDosDateTime(t);
  EXPECT_EQ(dos.date, ((2001 - 1980) << 9) | (12 << 5) | 31);
  EXPECT_EQ(dos.time, (23 << 11) | (59 << 5) | 29);
  std::time_t back = 0;
  ASSERT_TRUE(platform::fromDosDateTime(dos, back));
  EXPECT_EQ(back, t);
  EXPECT_FALSE(platform::fromDosDateTime({static_cast<std::uint16_t>((2 << 5) | 30), 0}, back));
  EXPECT_FALSE(
      platform::fromDosDateTime({static_cast<std::uint16_t>((1 << 5) | 1), 24 << 11}, back));
  EXPECT_EQ(platform::toDosDateTime(0).date, (1 << 5) | 1);  // before 1980
}

}  // namespace
