// Path parts and part-number names.
#include "platform/path.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <optional>
#include <string>

#include "engine/part_names.h"

namespace {

// Sets an environment variable ("" removes it) for the life of the holder.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_saved = old;
    set(value);
  }
  ~ScopedVariable() { set(m_saved ? m_saved->c_str() : ""); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  void set(const char* value) const {
#ifdef _WIN32
    ::_putenv_s(m_name, value);
#else
    if (*value == '\0')
      ::unsetenv(m_name);
    else
      ::setenv(m_name, value, 1);
#endif
  }

  const char* m_name;
  std::optional<std::string> m_saved;
};

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

// The settings folder follows the variables the session sets; a relative or missing
// value is not taken, and the account's own folder is used instead (never one under the
// current folder).
TEST(PathParts, UserConfigFolderFollowsTheSession) {
  struct Case {
    const char* variable;
    const char* value;
    std::string expected;
  };
#ifdef _WIN32
  // The session's APPDATA is the folder the system keeps for the user.
  const char* session = std::getenv("APPDATA");
  if (session == nullptr) GTEST_SKIP() << "APPDATA is not set";
  const std::string own = platform::withTrailingSeparator(session) + "sundrix\\";
  const Case cases[] = {
      {"APPDATA", "C:\\Users\\ann\\AppData\\Roaming", "C:\\Users\\ann\\AppData\\Roaming\\sundrix\\"},
      {"APPDATA", "D:\\profile\\", "D:\\profile\\sundrix\\"},
      {"APPDATA", "\\\\server\\ann", "\\\\server\\ann\\sundrix\\"},
      {"APPDATA", "", own},
      {"APPDATA", "relative\\cfg", own},
      {"APPDATA", "\\no-drive", own},
  };
#else
  // The account's home folder, as the system's user database has it.
  const passwd* account = ::getpwuid(::getuid());
  if (account == nullptr || account->pw_dir == nullptr || account->pw_dir[0] != '/')
    GTEST_SKIP() << "no home folder for this account";
  const std::string own = platform::withTrailingSeparator(account->pw_dir) + ".config/sundrix/";
  const ScopedVariable noXdg("XDG_CONFIG_HOME", "");
  const ScopedVariable home("HOME", "/home/ann");
  const Case cases[] = {
      {"XDG_CONFIG_HOME", "/etc/ann", "/etc/ann/sundrix/"},
      {"XDG_CONFIG_HOME", "/etc/ann/", "/etc/ann/sundrix/"},
      {"XDG_CONFIG_HOME", "relative/cfg", "/home/ann/.config/sundrix/"},
      {"XDG_CONFIG_HOME", "", "/home/ann/.config/sundrix/"},
      {"HOME", "", own},
      {"HOME", "relative", own},
  };
#endif
  for (const Case& c : cases) {
    const ScopedVariable set(c.variable, c.value);
    const std::string folder = platform::userConfigFolder();
    EXPECT_EQ(folder, c.expected) << c.variable << "=" << c.value;
  }
}

}  // namespace
