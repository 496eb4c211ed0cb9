// Archives written by TZip, checked and extracted by other programs (Info-ZIP unzip and
// 7-Zip), which must get back the original bytes.
#include <gtest/gtest.h>

#include "zip/tzip.h"
#include "zipwriter/zipwriter_util.h"

using namespace zipwriter_test;

namespace {

struct Input {
  std::string name;
  Bytes data;
};

std::vector<Input> oracleInputs() {
  std::vector<Input> inputs;
  inputs.push_back({"empty.bin", {}});
  inputs.push_back({"one.bin", {0x9C}});
  inputs.push_back({"equal10000.bin", Bytes(10000, 0x41)});
  std::string text;
  for (int i = 0; text.size() < 200000; ++i) {
    text += "Line " + std::to_string(i % 977) + ": the parts are joined back in order.\n";
  }
  inputs.push_back({"text.txt", Bytes(text.begin(), text.end())});
  inputs.push_back({"random.bin", randomBytes(300000, 21)});
  // Several MiB of mixed data: 13-bit codes and many partial clears.
  inputs.push_back({"mixed.bin", mixedBytes(3 << 20, 22)});
  return inputs;
}

class OracleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = std::make_unique<TempDir>();
    s_inputs = oracleInputs();
    zip::TZip zip;
    std::vector<std::string> messages;
    zip.OnError = [&](zip::ZipComponent&, const std::string& m) { messages.push_back(m); };
    for (const Input& in : s_inputs) {
      writeAll(*s_dir / in.name, in.data);
      zip.Files.push_back(*s_dir / in.name);
    }
    zip.SetFName(*s_dir / "all.zip");
    s_written = zip.Execute() && messages.empty();
  }
  static void TearDownTestSuite() { s_dir.reset(); }

  static std::string archive() { return *s_dir / "all.zip"; }

  static std::unique_ptr<TempDir> s_dir;
  static std::vector<Input> s_inputs;
  static bool s_written;
};

std::unique_ptr<TempDir> OracleTest::s_dir;
std::vector<Input> OracleTest::s_inputs;
bool OracleTest::s_written = false;

}  // namespace

TEST_F(OracleTest, ArchiveUsesBothMethods) {
  ASSERT_TRUE(s_written);
  const Archive a = parseArchive(readAll(archive()));
  ASSERT_EQ(a.error, "");
  ASSERT_EQ(a.members.size(), s_inputs.size());
  int shrunk = 0;
  int clears = 0;
  for (const Member& m : a.members) {
    shrunk += m.local.method == zip::kMethodShrunk;
    if (m.name != "mixed.bin") continue;
    const std::vector<int> codes = readCodes(m.data);
    for (std::size_t i = 0; i + 1 < codes.size(); ++i)
      clears += codes[i] == 256 && codes[i + 1] == 2;
  }
  EXPECT_GE(shrunk, 3);
  EXPECT_GE(clears, 5) << "the mixed input should reach partial clears";
}

TEST_F(OracleTest, InfoZipUnzipTestsAndExtracts) {
  if (!haveTool("unzip")) GTEST_SKIP() << "unzip is not installed";
  ASSERT_TRUE(s_written);
  std::string log;
  EXPECT_EQ(runCommand("unzip -t " + shellQuote(archive()) + " 2>&1", &log), 0) << log;
  for (const Input& in : s_inputs) {
    SCOPED_TRACE(in.name);
    std::string out;
    EXPECT_EQ(runCommand("unzip -p " + shellQuote(archive()) + " " + shellQuote(in.name), &out), 0);
    EXPECT_TRUE(out == std::string(in.data.begin(), in.data.end()))
        << "extracted " << out.size() << " bytes of " << in.data.size();
  }
}

TEST_F(OracleTest, SevenZipTestsAndExtracts) {
  const std::string tool = haveTool("7z") ? "7z" : haveTool("7zz") ? "7zz" : "";
  if (tool.empty()) GTEST_SKIP() << "7-Zip is not installed";
  ASSERT_TRUE(s_written);
  std::string log;
  EXPECT_EQ(runCommand(tool + " t " + shellQuote(archive()) + " 2>&1", &log), 0) << log;
  for (const Input& in : s_inputs) {
    SCOPED_TRACE(in.name);
    std::string out;
    EXPECT_EQ(runCommand(tool + " e -so " + shellQuote(archive()) + " " + shellQuote(in.name) +
                             " 2>/dev/null",
                         &out),
              0);
    EXPECT_TRUE(out == std::string(in.data.begin(), in.data.end()))
        << "extracted " << out.size() << " bytes of " << in.data.size();
  }
}

// The command-line front end: exit codes and messages.
TEST(ZipCli, ExitCodesAndMessages) {
  TempDir tmp;
  writeText(tmp / "f.txt", "some text some text some text");
  // The archive component's messages in English, whatever the locale of the run.
  const std::string cli = "LC_ALL=C.UTF-8 " + shellQuote(SUNDRIX_CLI) + " zip ";
  struct Row {
    const char* what;
    std::string args;
    int exit;
    const char* inOutput;
  };
  const Row rows[] = {
      {"packs", shellQuote(tmp / "a.zip") + " " + shellQuote(tmp / "f.txt"), 0, ""},
      {"existing archive", shellQuote(tmp / "a.zip") + " " + shellQuote(tmp / "f.txt"), 1,
       "sundrix-cli: No overwite rights for file"},
      {"overwrite", shellQuote(tmp / "a.zip") + " " + shellQuote(tmp / "f.txt") + " --overwrite", 0,
       ""},
      {"nothing to pack", shellQuote(tmp / "b.zip") + " " + shellQuote(tmp / "none"), 1,
       "sundrix-cli: There are no files to shrink!"},
      {"source folder", shellQuote(tmp / "c.zip") + " --source " + shellQuote(tmp.path()), 0, ""},
      {"no archive name", "", 2, "no archive given"},
      {"unknown option", "--fast x.zip", 2, "unknown option"},
      {"help", "--help", 0, "Usage: sundrix-cli zip"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::string out;
    EXPECT_EQ(runCommand(cli + row.args + " 2>&1", &out), row.exit) << out;
    EXPECT_NE(out.find(row.inOutput), std::string::npos) << out;
  }
  // Everything in the folder but the archive being written: f.txt and a.zip.
  EXPECT_EQ(parseArchive(readAll(tmp / "c.zip")).members.size(), 2u);
}
