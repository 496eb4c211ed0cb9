// The key store on the real registry: below a scratch key of the current user, so that
// the user's own classes are never touched. Built for Windows only.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/explorer_entries.h"
#include "platform/registry.h"

namespace {

using platform::IoError;
using platform::Registry;

// A scratch key that stands in for the classes key, removed with everything below it.
class ScratchRegistry : public ::testing::Test {
 protected:
  ScratchRegistry()
      : base("Software\\SundrixTest-" + std::to_string(::GetCurrentProcessId())),
        registry(platform::RegistryPaths{base, ""}) {}
  ~ScratchRegistry() override {
    const std::wstring wide(base.begin(), base.end());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, wide.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, wide.c_str());
  }
  std::string base;
  Registry registry;
};

TEST_F(ScratchRegistry, KeysValuesAndTreesBehaveAsInTheFileStore) {
  IoError err;
  ASSERT_TRUE(registry.openKey("a\\b\\c", err)) << err.message();
  for (const char* key : {"a", "a\\b", "a\\b\\c", "A\\B\\C"}) {
    SCOPED_TRACE(key);
    EXPECT_TRUE(registry.keyExists(key));
    EXPECT_EQ(registry.readDefaultString(key), std::nullopt);  // created without a value
  }
  ASSERT_TRUE(registry.writeDefaultString("Rozdělit soubor", err)) << err.message();
  EXPECT_EQ(registry.readDefaultString("A\\b\\C"), "Rozdělit soubor");
  ASSERT_TRUE(registry.openKey("a\\second", err));
  ASSERT_TRUE(registry.writeDefaultString("", err));
  EXPECT_EQ(registry.readDefaultString("a\\second"), "");
  EXPECT_EQ(registry.subKeyNames("a"), (std::vector<std::string>{"b", "second"}));

  EXPECT_TRUE(registry.deleteKey("a\\B", err)) << err.message();
  EXPECT_FALSE(registry.keyExists("a\\b\\c"));
  EXPECT_FALSE(registry.keyExists("a\\b"));
  EXPECT_TRUE(registry.keyExists("a\\second"));
  EXPECT_FALSE(registry.deleteKey("a\\b", err));
  EXPECT_EQ(err.detail, "not found");

  registry.closeKey();
  EXPECT_FALSE(registry.writeDefaultString("x", err));
  EXPECT_FALSE(registry.openKey("bad\\\\name", err));
}

TEST_F(ScratchRegistry, ExplorerEntriesAreWrittenAndRemoved) {
  IoError err;
  const std::string exe = "C:\\Program Files\\Sundrix\\sundrix.exe";
  ASSERT_TRUE(platform::updateExplorerEntries(registry, true, "Split", "Join", exe, err))
      << err.message();
  EXPECT_EQ(registry.readDefaultString("*\\shell\\split"), "Split");
  EXPECT_EQ(registry.readDefaultString("*\\shell\\join\\command"),
            platform::explorerCommands(exe).join);
  ASSERT_TRUE(platform::updateExplorerEntries(registry, false, "", "", exe, err));
  EXPECT_FALSE(registry.keyExists("*\\shell\\split"));
  EXPECT_FALSE(registry.keyExists("*\\shell\\join"));
  EXPECT_TRUE(registry.keyExists("*\\shell"));
}

}  // namespace
