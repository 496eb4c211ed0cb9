// The recovery-file fuzz target's seeds and saved finds, run under the ordinary build: the
// seeds describe the target's parts with p.002 changed, so each must reach a repair that
// rebuilds exactly that file; saved finds (fuzz/regressions/par2-*) must run to the end.
#include <dirent.h>
#include <gtest/gtest.h>

#include "fuzz/fuzz_par2_input.h"
#include "support/temp_dir.h"

namespace {

std::vector<std::string> filesIn(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> out;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name;
      if (name[0] != '.' && name.rfind(prefix, 0) == 0) out.push_back(folder + name);
    }
    ::closedir(dir);
  }
  return out;
}

TEST(Par2FuzzInputs, SeedsReachARepairAndSavedFindsRunToTheEnd) {
  const std::string fuzz = std::string(SUNDRIX_SOURCE_DIR) + "/fuzz/";
  fuzz_par2::Folder folder;
  ASSERT_TRUE(folder.ok());
  const std::vector<std::string> seeds = filesIn(fuzz + "seeds-par2/", "");
  ASSERT_FALSE(seeds.empty());
  for (const std::string& seed : seeds) {
    SCOPED_TRACE(seed);
    const std::vector<std::uint8_t> bytes = testing_support::readFile(seed);
    // The index alone holds no recovery slices: it finds the damage and cannot mend it.
    const std::size_t expected = seed.find("index") != std::string::npos ? 0 : 1;
    EXPECT_EQ(fuzz_par2::run(folder, bytes.data(), bytes.size()), expected);
  }
  for (const std::string& saved : filesIn(fuzz + "regressions/", "par2-")) {
    SCOPED_TRACE(saved);
    const std::vector<std::uint8_t> bytes = testing_support::readFile(saved);
    fuzz_par2::run(folder, bytes.data(), bytes.size());
  }
  EXPECT_EQ(testing_support::listFolder(folder.path()), (std::vector<std::string>{"in.par2", "p.001", "p.002"}));
}

}  // namespace
