// The split's compress option end to end: only archives remain, another tool unpacks
// them, and the join restores the input.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/split.h"
#include "engine/zip_part_archiver.h"
#include "zip/zip_format.h"
#include "engine_fakes.h"
#include "support/temp_dir.h"

using testing_support::TempDir;

namespace {

TEST(ZipSplit, ArchivesUnpackAndJoinBackToTheInput) {
  if (testing_support::runCommand("command -v unzip >/dev/null") != 0) {
    GTEST_SKIP() << "Info-ZIP unzip is not installed";
  }
  TempDir dir;
  // Text-like data, so that every part really is shrunk.
  std::string text;
  for (int i = 0; text.size() < 200'000; ++i)
    text += "line " + std::to_string(i * 7919 % 1000) + " of the input\n";
  testing_support::writeText(dir.file("notes.txt"), text);
  const std::string cli = SUNDRIX_CLI;
  ASSERT_EQ(testing_support::runCommand(cli + " split '" + dir.file("notes.txt") +
                                        "' --parts 3 --zip --delete-input 2>&1"),
            0);
  EXPECT_EQ(
      testing_support::listFolder(dir.path()),
      (std::vector<std::string>{"notes.txt.001.zip", "notes.txt.002.zip", "notes.txt.003.zip",
                                "notes.txt.sha256"}));
  for (const char* n : {"001", "002", "003"}) {
    std::string out;
    ASSERT_EQ(testing_support::runCommand(
                  "unzip -t '" + dir.file(std::string("notes.txt.") + n + ".zip") + "'", &out),
              0)
        << out;
    ASSERT_EQ(testing_support::runCommand("cd '" + dir.path() + "' && unzip -q 'notes.txt." + n +
                                          ".zip'"),
              0);
  }
  ASSERT_EQ(testing_support::runCommand(cli + " join '" + dir.file("notes.txt.001") + "' 2>&1"), 0);
  EXPECT_EQ(testing_support::readText(dir.file("notes.txt")), text);
}

// Deflate parts packed one at a time and side by side: the same archives, byte for byte
// but for the headers' times (each run writes its parts at its own time).
TEST(ZipSplit, DeflateArchivesAreTheSameOnOneCoreOrMany) {
  std::vector<std::vector<std::uint8_t>> runs[2];
  std::vector<std::uint8_t> input = testing_support::makeBytes(3'000'000, 77);
  for (std::size_t i = 0; i < input.size(); i += 3) input[i] = 'x';  // compressible
  for (const unsigned threads : {1u, 4u}) {
    TempDir dir;
    testing_support::writeFile(dir.file("in.bin"), input);
    engine_test::FakeSplitOptions options;
    options.folder = dir.path();
    options.compress = true;
    engine_test::RecordingSink sink;
    engine::StopToken stop;
    engine::ZipPartArchiver archiver(zip::ZipMethod::Deflate);
    engine::SplitRequest request{dir.file("in.bin"), 5, "t"};
    request.packThreads = threads;
    const engine::JobResult made = engine::SplitFile(request, options, sink, stop, &archiver);
    ASSERT_EQ(made.outcome, engine::JobOutcome::Done) << made.message();
    for (int k = 1; k <= 5; ++k) {
      std::vector<std::uint8_t> bytes =
          testing_support::readFile(dir.file("in.bin.00" + std::to_string(k) + ".zip"));
      ASSERT_GT(bytes.size(), 100u);
      std::fill(bytes.begin() + 10, bytes.begin() + 14, std::uint8_t{0});  // local header time
      const std::size_t end = bytes.size() - zip::kEndRecordSize;
      const std::size_t central = zip::get32(&bytes[end + 16]);
      std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(central) + 12,
                bytes.begin() + static_cast<std::ptrdiff_t>(central) + 16, std::uint8_t{0});
      runs[threads == 1 ? 0 : 1].push_back(std::move(bytes));
    }
  }
  ASSERT_EQ(runs[0].size(), 5u);
  for (std::size_t k = 0; k < 5; ++k) EXPECT_TRUE(runs[0][k] == runs[1][k]) << "part " << k + 1;
}

}  // namespace
