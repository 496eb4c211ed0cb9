// Saved fuzzer finds (fuzz/regressions/) run through extraction and listing under the
// ordinary build; each must finish and leave nothing behind.
#include <dirent.h>
#include <gtest/gtest.h>

#include "fuzz/fuzz_input.h"
#include "support/temp_dir.h"

namespace {

TEST(FuzzRegressions, EverySavedInputRunsToTheEnd) {
  const std::string folder = std::string(SUNDRIX_SOURCE_DIR) + "/fuzz/regressions/";
  std::vector<std::string> inputs;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(dir)) {
      if (e->d_name[0] != '.') inputs.push_back(folder + e->d_name);
    }
    ::closedir(dir);
  }
  if (inputs.empty()) GTEST_SKIP() << "no saved inputs in " << folder;
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input);
    const std::vector<std::uint8_t> bytes = testing_support::readFile(input);
    fuzz_input::WorkFolder work;
    ASSERT_TRUE(work.ok());
    fuzz_input::runReader(work, bytes.data(), bytes.size(), true, true);
    EXPECT_TRUE(testing_support::listFolder(work.outFolder()).empty());
  }
}

}  // namespace
