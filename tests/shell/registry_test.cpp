// The key store: creating with parents, values, deleting trees, persistence, and what an
// unreadable or unwritable store does.
#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "shell_test_env.h"
#include "support/temp_dir.h"

namespace {

using platform::IoError;
using platform::Registry;
using testing_support::exists;
using testing_support::readText;
using testing_support::writeText;

bool writeKey(Registry& registry, const std::string& key, const std::string& value) {
  IoError err;
  const bool ok = registry.openKey(key, err) && registry.writeDefaultString(value, err);
  registry.closeKey();
  EXPECT_FALSE(err.isSet()) << err.message();
  return ok;
}

// chmod does not stop root; such tests are meaningless then.
bool permissionsApply(const std::string& folder) {
  return ::access(folder.c_str(), W_OK) != 0;
}

TEST(KeyStore, FollowsXdgConfigHomeAndFallsBackToHome) {
  shell_test::TempHome home;
  EXPECT_EQ(platform::RegistryPaths::fromEnvironment().storeFile, home.store());
  EXPECT_EQ(platform::RegistryPaths::fromEnvironment().dataHome, home.data());
  ::unsetenv("XDG_CONFIG_HOME");
  ::setenv("XDG_DATA_HOME", "relative/data", 1);  // not absolute: ignored
  EXPECT_EQ(platform::RegistryPaths::fromEnvironment().storeFile,
            home.root() + "home/.config/sundrix/registry.ini");
  EXPECT_EQ(platform::RegistryPaths::fromEnvironment().dataHome, home.root() + "home/.local/share");
}

TEST(KeyStore, OpenCreatesTheKeyWithEveryMissingParent) {
  shell_test::TempHome home;
  Registry registry;
  IoError err;
  ASSERT_TRUE(registry.openKey("a\\b\\c", err)) << err.message();
  registry.closeKey();
  for (const char* key : {"a", "a\\b", "a\\b\\c", "A\\B\\C"}) {
    SCOPED_TRACE(key);
    EXPECT_TRUE(registry.keyExists(key));
    EXPECT_EQ(registry.readDefaultString(key), std::nullopt);  // created without a value
  }
  EXPECT_FALSE(registry.keyExists("a\\b\\c\\d"));
  EXPECT_FALSE(registry.keyExists("b"));
  EXPECT_TRUE(exists(home.store()));
}

TEST(KeyStore, ValuesAreOverwrittenAndSurviveTheFileRoundTrip) {
  shell_test::TempHome home;
  Registry registry;
  const std::string awkward = "\"C:\\dir\" \"-s\" \"%1\"\nline two\ttab";
  ASSERT_TRUE(writeKey(registry, "x\\y", "first"));
  ASSERT_TRUE(writeKey(registry, "X\\Y", awkward));  // same key, other letter case
  ASSERT_TRUE(writeKey(registry, "x\\empty", ""));

  Registry another;  // a second instance reads the file
  EXPECT_EQ(another.readDefaultString("x\\y"), awkward);
  EXPECT_EQ(another.readDefaultString("x\\empty"), "");
  EXPECT_EQ(another.subKeyNames("x"), (std::vector<std::string>{"y", "empty"}));
}

TEST(KeyStore, DeleteRemovesTheTreeAndNothingBesideIt) {
  shell_test::TempHome home;
  Registry registry;
  ASSERT_TRUE(writeKey(registry, "*\\shell\\split", "Split"));
  ASSERT_TRUE(writeKey(registry, "*\\shell\\split\\command", "cmd"));
  ASSERT_TRUE(writeKey(registry, "*\\shell\\split\\extra\\deeper", "x"));
  ASSERT_TRUE(writeKey(registry, "*\\shell\\splitter", "sibling with the same prefix"));
  ASSERT_TRUE(writeKey(registry, "*\\shell\\open", "other verb"));

  IoError err;
  ASSERT_TRUE(registry.deleteKey("*\\SHELL\\Split", err)) << err.message();
  Registry reread;
  for (const char* gone : {"*\\shell\\split", "*\\shell\\split\\command", "*\\shell\\split\\extra",
                           "*\\shell\\split\\extra\\deeper"}) {
    SCOPED_TRACE(gone);
    EXPECT_FALSE(reread.keyExists(gone));
  }
  EXPECT_EQ(reread.readDefaultString("*\\shell\\splitter"), "sibling with the same prefix");
  EXPECT_EQ(reread.readDefaultString("*\\shell\\open"), "other verb");

  IoError missing;
  EXPECT_FALSE(registry.deleteKey("*\\shell\\split", missing));
  EXPECT_TRUE(missing.isSet());
}

TEST(KeyStore, InvalidUseIsAnErrorNotACrash) {
  shell_test::TempHome home;
  Registry registry;
  for (const char* bad : {"", "\\a", "a\\", "a\\\\b", "a\nb"}) {
    SCOPED_TRACE(bad);
    IoError err;
    EXPECT_FALSE(registry.openKey(bad, err));
    EXPECT_TRUE(err.isSet());
  }
  IoError err;
  EXPECT_FALSE(registry.writeDefaultString("no key open", err));
  EXPECT_TRUE(err.isSet());
  EXPECT_FALSE(exists(home.store()));
}

TEST(KeyStore, AGarbledStoreReadsAsWhatCanBeParsed) {
  shell_test::TempHome home;
  ASSERT_EQ(testing_support::runCommand("mkdir -p '" + home.config() + "/sundrix'"), 0);
  writeText(home.store(),
            "garbage line\n@=\"value before any key\"\n[]\n[HKEY_CLASSES_ROOT\\ok\\key]\n"
            "@=\"kept\"\n[HKEY_CLASSES_ROOT\\bad\\\\name]\n@=\"dropped\"\n"
            "[HKEY_CLASSES_ROOT\\ok\\unterminated]\n@=\"no closing quote\n");
  Registry registry;
  EXPECT_EQ(registry.readDefaultString("ok\\key"), "kept");
  EXPECT_TRUE(registry.keyExists("ok"));
  EXPECT_TRUE(registry.keyExists("ok\\unterminated"));
  EXPECT_EQ(registry.readDefaultString("ok\\unterminated"), std::nullopt);
  EXPECT_FALSE(registry.keyExists("bad"));
  EXPECT_TRUE(writeKey(registry, "new", "v"));
  EXPECT_EQ(Registry().readDefaultString("ok\\key"), "kept");
}

TEST(KeyStore, AnUnwritableConfigFolderGivesAnErrorWithThePath) {
  shell_test::TempHome home;
  const std::string folder = home.config() + "/sundrix";
  ASSERT_EQ(testing_support::runCommand("mkdir -p '" + folder + "'"), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  if (!permissionsApply(folder)) {
    ::chmod(folder.c_str(), 0755);
    GTEST_SKIP() << "running with rights that ignore file permissions";
  }
  Registry registry;
  IoError err;
  EXPECT_FALSE(registry.openKey("*\\shell\\split", err));
  EXPECT_EQ(err.code, EACCES);
  EXPECT_NE(err.message().find(folder), std::string::npos) << err.message();
  EXPECT_FALSE(registry.keyExists("*\\shell\\split"));
  ::chmod(folder.c_str(), 0755);
}

TEST(KeyStore, AFailedStoreWriteIsReportedAndLeavesTheOldStore) {
  shell_test::TempHome home;
  Registry registry;
  ASSERT_TRUE(writeKey(registry, "k", "v"));
  const std::string before = readText(home.store());
  shell_test::DenyCreation deny(home.config(), EROFS);
  IoError err;
  EXPECT_FALSE(registry.openKey("new\\key", err));
  EXPECT_EQ(err.code, EROFS);
  EXPECT_NE(err.message().find(home.config() + "/sundrix/"), std::string::npos) << err.message();
  ASSERT_TRUE(registry.openKey("k", err));  // existing: opening writes nothing
  EXPECT_FALSE(registry.writeDefaultString("changed", err));
  EXPECT_EQ(readText(home.store()), before);
  EXPECT_FALSE(registry.keyExists("new"));
}

TEST(KeyStore, AnUnreadableStoreIsEmptyButNeverOverwritten) {
  shell_test::TempHome home;
  Registry registry;
  ASSERT_TRUE(writeKey(registry, "k", "v"));
  ASSERT_EQ(::chmod(home.store().c_str(), 0), 0);
  if (::access(home.store().c_str(), R_OK) == 0) {
    ::chmod(home.store().c_str(), 0644);
    GTEST_SKIP() << "running with rights that ignore file permissions";
  }
  EXPECT_FALSE(registry.keyExists("k"));
  IoError err;
  EXPECT_FALSE(registry.openKey("other", err));
  EXPECT_TRUE(err.isSet());
  ::chmod(home.store().c_str(), 0644);
  EXPECT_EQ(registry.readDefaultString("k"), "v");  // the old contents are still there
}

}  // namespace
