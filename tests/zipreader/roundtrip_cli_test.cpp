// Archives written by TZip come back unchanged through TUnZip, and the command line's
// list and unzip give the component's lines, messages and exit codes.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file.h"
#include "reader_support.h"
#include "support/temp_dir.h"
#include "zip/tunzip.h"
#include "zip/tzip.h"

namespace {

using testing_support::readFile;
using testing_support::TempDir;

const std::string kZipData = std::string(SUNDRIX_TESTDATA) + "/zip/";

TEST(RoundTrip, TZipWritesAndTUnZipExtractsTheSameBytesAndTimes) {
  TempDir dir;
  std::vector<std::uint8_t> text = testing_support::makeBytes(200000, 3);
  for (auto& b : text) b = static_cast<std::uint8_t>("etaoin shrdlu\n"[b % 14]);
  const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files{
      {"empty.bin", {}},
      {"one.txt", {'1'}},
      {"random.bin", testing_support::makeBytes(70000, 5)},
      {"text.txt", text},
  };
  platform::IoError err;
  ASSERT_TRUE(platform::createFolders(dir.file("src"), err));
  std::vector<std::string> list;
  for (const auto& [name, bytes] : files) {
    testing_support::writeFile(dir.file("src/" + name), bytes);
    list.push_back(dir.file("src/" + name));
  }
  zip::TZip writer;
  writer.SetFName(dir.file("round.zip"));
  writer.Files = list;
  std::vector<std::string> writerMessages;
  writer.OnError = [&](zip::ZipComponent&, const std::string& m) { writerMessages.push_back(m); };
  ASSERT_TRUE(writer.Execute());
  ASSERT_TRUE(writerMessages.empty());

  const auto run = reader_test::extract(dir.file("round.zip"), dir.file("out"));
  EXPECT_TRUE(run.executed);
  EXPECT_TRUE(run.messages.empty());
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    EXPECT_EQ(readFile(dir.file("out/" + name)), bytes);
    std::time_t original = 0, extracted = 0;
    ASSERT_TRUE(platform::fileModificationTime(dir.file("src/" + name), original, err));
    ASSERT_TRUE(platform::fileModificationTime(dir.file("out/" + name), extracted, err));
    EXPECT_LE(original - extracted, 2);  // MS-DOS times keep even seconds
    EXPECT_GE(original - extracted, 0);
  }
  zip::TUnZip lister;
  std::vector<std::string> lines;
  lister.GetZipList(dir.file("round.zip"), lines);
  ASSERT_EQ(lines.size(), files.size());
  EXPECT_EQ(lines[3].substr(0, 16), "text.txt\t200000\t");
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing_support::exists(SUNDRIX_CLI)) GTEST_SKIP() << "sundrix-cli not built";
    if (!testing_support::exists(kZipData + "sh_multi.zip")) GTEST_SKIP() << "no test data";
  }
  static int run(const std::string& args, std::string* out = nullptr) {
    return testing_support::runCommand(
        "LC_ALL=C " + std::string(SUNDRIX_CLI) + " " + args + " 2>" + m_err.file("err"), out);
  }
  static std::string stderrText() { return testing_support::readText(m_err.file("err")); }
  static TempDir m_err;
};
TempDir Cli::m_err;

TEST_F(Cli, ListPrintsTheComponentsLines) {
  for (const char* archive : {"sh_multi.zip", "pkzip_multizip.zip"}) {
    SCOPED_TRACE(archive);
    zip::TUnZip unzip;
    std::vector<std::string> lines;
    unzip.GetZipList(kZipData + archive, lines);
    std::string expected;
    for (const std::string& l : lines) expected += l + "\n";
    std::string out;
    EXPECT_EQ(run("list " + kZipData + archive, &out), 0);
    EXPECT_EQ(out, expected);
  }
  EXPECT_EQ(run("list " + m_err.file("missing.zip")), 1);
  EXPECT_NE(stderrText().find("missing.zip"), std::string::npos);
  EXPECT_EQ(run("list"), 2);
}

TEST_F(Cli, UnzipExitCodesFollowTheReportedProblems) {
  TempDir dir;
  EXPECT_EQ(run("unzip " + kZipData + "sh_multi.zip --dir " + dir.file("a") + " '*.txt'"), 0);
  EXPECT_EQ(
      testing_support::listFolder(dir.file("a/")),
      (std::vector<std::string>{"m1_shrunk.txt", "m4_imploded_4k2.txt", "m6_reduced_f4.txt"}));
  EXPECT_TRUE(stderrText().empty());

  EXPECT_EQ(run("unzip " + kZipData + "sh_dmg_badcrc_shrink.zip --dir " + dir.file("b")), 1);
  EXPECT_NE(stderrText().find("has bad CRC"), std::string::npos);
  EXPECT_TRUE(testing_support::exists(dir.file("b/after.txt")));

  EXPECT_EQ(run("unzip " + dir.file("missing.zip") + " --dir " + dir.file("c")), 1);
  EXPECT_NE(stderrText().find("missing.zip"), std::string::npos);
  EXPECT_EQ(run("unzip"), 2);
  EXPECT_EQ(run("unzip a.zip --dir"), 2);
  std::string help;
  EXPECT_EQ(run("unzip --help", &help), 0);
  EXPECT_NE(help.find("--dir"), std::string::npos);

  // Without --dir the current folder receives the members.
  EXPECT_EQ(testing_support::runCommand("cd " + dir.path() + " && " + SUNDRIX_CLI + " unzip " +
                                        kZipData + "sh_store.zip"),
            0);
  EXPECT_EQ(testing_support::sizeOf(dir.file("sh_text_3k.txt")), 3000);
}

// An archive written to a pipe keeps each member's sizes and CRC in a data descriptor
// after its data, with zeros in its local header: extraction and listing take the true
// values from the central directory.
TEST(RoundTrip, AnArchiveStreamedByAnotherWriterExtractsWhole) {
  if (testing_support::runCommand("python3 -c pass") != 0) GTEST_SKIP() << "no python3";
  TempDir dir;
  const std::string script =
      "import sys, zipfile\n"
      "z = zipfile.ZipFile(sys.stdout.buffer, 'w', zipfile.ZIP_STORED)\n"
      "z.writestr('a.txt', 'alpha' * 1000)\n"
      "z.writestr('b.txt', 'beta')\n"
      "z.close()\n";
  testing_support::writeText(dir.file("make.py"), script);
  ASSERT_EQ(testing_support::runCommand("python3 " + dir.file("make.py") + " | cat > " +
                                        dir.file("py.zip")),
            0);
  const std::vector<std::uint8_t> bytes = readFile(dir.file("py.zip"));
  ASSERT_GT(bytes.size(), 8u);
  ASSERT_EQ(bytes[6] & 8, 8) << "the archive has no data descriptors";
  std::filesystem::create_directory(dir.file("out"));
  testing_support::writeText(dir.file("out/a.txt"), "the user's file");
  const auto run = reader_test::extract(dir.file("py.zip"), dir.file("out"));
  EXPECT_EQ(run.messages, std::vector<std::string>{});
  std::string alpha;
  for (int i = 0; i < 1000; ++i) alpha += "alpha";
  EXPECT_EQ(testing_support::readText(dir.file("out/a.txt")), alpha);
  EXPECT_EQ(testing_support::readText(dir.file("out/b.txt")), "beta");
  zip::TUnZip lister;
  std::vector<std::string> lines;
  lister.GetZipList(dir.file("py.zip"), lines);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("a.txt\t5000\t5000\t0%\t", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("b.txt\t4\t4\t0%\t", 0), 0u) << lines[1];
  EXPECT_EQ(lister.listingProblem(), "");
}

}  // namespace
