// Path parts and part-number names.
#include "platform/path.h"

#include <gtest/gtest.h>

#include "engine/part_names.h"

namespace {

TEST(PathParts, FolderAndNameSplitAtTheLastSeparator) {
  EXPECT_EQ(platform::folderPart("/video/movie.avi"), "/video/");
  EXPECT_EQ(platform::namePart("/video/movie.avi"), "movie.avi");
  EXPECT_EQ(platform::folderPart("movie.avi"), "");
  EXPECT_EQ(platform::namePart("movie.avi"), "movie.avi");
  EXPECT_EQ(platform::folderPart("/video/"), "/video/");
  EXPECT_EQ(platform::namePart("/video/"), "");
}

TEST(PathParts, ReplaceExtensionOnlyLooksAtTheNamePart) {
  EXPECT_EQ(platform::replaceExtension("movie.avi.000", ".001"), "movie.avi.001");
  EXPECT_EQ(platform::replaceExtension("README", ".001"), "README.001");
  EXPECT_EQ(platform::replaceExtension("/a.b/README", ".001"), "/a.b/README.001");
  EXPECT_EQ(platform::replaceExtension("my.x", ".002"), "my.002");
  EXPECT_EQ(platform::replaceExtension("", ".001"), ".001");
  EXPECT_EQ(platform::replaceExtension(".hidden", ".001"), ".001");
}

TEST(PathParts, PartNumbersHaveAtLeastThreeDigits) {
  EXPECT_EQ(engine::partFileName("movie.avi.000", 1), "movie.avi.001");
  EXPECT_EQ(engine::partFileName("movie.avi.000", 999), "movie.avi.999");
  EXPECT_EQ(engine::partFileName("a.bin.000", 1000), "a.bin.1000");
  EXPECT_EQ(engine::partFileName("temp", 3), "temp.003");
  EXPECT_EQ(engine::partFileName("", 1), ".001");
}

TEST(PathParts, AbsolutePathResolvesDotsLexically) {
#ifdef _WIN32
  EXPECT_EQ(platform::absolutePath("C:/a/b/../c/./d"), "C:\\a\\c\\d");
  EXPECT_EQ(platform::absolutePath("C:\\a\\b\\"), "C:\\a\\b\\");
  EXPECT_EQ(platform::absolutePath("\\\\server\\share\\x\\..\\y"), "\\\\server\\share\\y");
  EXPECT_EQ(platform::namePart("C:file.txt"), "file.txt");
  EXPECT_EQ(platform::folderPart("D:\\parts/movie.avi.001"), "D:\\parts/");
#else
  EXPECT_EQ(platform::absolutePath("/a/b/../c/./d"), "/a/c/d");
  EXPECT_EQ(platform::absolutePath("/a/b/"), "/a/b/");
#endif
  EXPECT_EQ(platform::absolutePath("x"), platform::currentFolder() + "x");
  const std::string sep(1, platform::kPathSeparator);
  EXPECT_EQ(platform::withTrailingSeparator("/a"), "/a" + sep);
  EXPECT_EQ(platform::withTrailingSeparator("/a/"), "/a/");
  EXPECT_EQ(platform::withTrailingSeparator(""), "");
}

}  // namespace
