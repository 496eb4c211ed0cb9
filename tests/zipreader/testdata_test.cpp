// Archives made by other tools: every intact member extracts to its original bytes, the
// damaged members give their messages and the member after them still extracts.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "reader_support.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;

const std::string kZipData = std::string(SUNDRIX_TESTDATA) + "/zip/";

struct Row {
  std::string archive, member, status, source;
  int method = 0;
  std::uint32_t uncompressed = 0, compressed = 0, crc = 0, headerCrc = 0;
};

std::vector<Row> manifest() {
  std::vector<Row> rows;
  std::ifstream in(kZipData + "MANIFEST.tsv");
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream s(line);
    std::string cell;
    while (std::getline(s, cell, '\t')) f.push_back(cell);
    if (f.size() < 13) continue;
    Row r;
    r.archive = f[0];
    r.member = f[1];
    r.method = std::stoi(f[2]);
    r.uncompressed = static_cast<std::uint32_t>(std::stoul(f[5]));
    r.compressed = static_cast<std::uint32_t>(std::stoul(f[6]));
    r.crc = static_cast<std::uint32_t>(std::stoul(f[7], nullptr, 16));
    r.headerCrc = static_cast<std::uint32_t>(std::stoul(f[8], nullptr, 16));
    r.source = f[10];
    r.status = f[12];
    rows.push_back(r);
  }
  return rows;
}

std::map<std::string, std::vector<Row>> byArchive() {
  std::map<std::string, std::vector<Row>> m;
  for (const Row& r : manifest()) m[r.archive].push_back(r);
  return m;
}

std::string hexUpper(std::uint32_t v) {
  char t[16];
  std::snprintf(t, sizeof t, "%X", v);
  return t;
}

class TestData : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing_support::exists(kZipData + "MANIFEST.tsv")) {
      GTEST_SKIP() << "test data not found at " << kZipData;
    }
  }
};

TEST_F(TestData, EveryIntactMemberExtractsToItsOriginalBytes) {
  for (const auto& [archive, rows] : byArchive()) {
    SCOPED_TRACE(archive);
    TempDir dir;
    const reader_test::RunResult run = reader_test::extract(kZipData + archive, dir.path());
    EXPECT_TRUE(run.executed);
    std::vector<std::string> expected;
    for (const Row& r : rows) {
      SCOPED_TRACE(r.member);
      // Deflate (8) is read like the legacy methods; anything past it is refused.
      if (r.method > 6 && r.method != 8) {
        expected.push_back("Unknown compress method (" + std::to_string(r.method) + ") use on " +
                           r.member + " ! Skip next...");
        EXPECT_FALSE(testing_support::exists(dir.file(r.member)) &&
                     testing_support::sizeOf(dir.file(r.member)) != 0);
        continue;
      }
      if (r.status == "damaged:badcrc") {
        expected.push_back("File " + dir.file(r.member) + " has bad CRC ! Stored CRC is " +
                           hexUpper(r.headerCrc) + ", computed CRC is " + hexUpper(r.crc) + ".");
      }
      if (r.status.rfind("damaged:", 0) == 0 && r.status != "damaged:badcrc") continue;
      const std::string original = kZipData + "inputs/" + r.source;
      ASSERT_TRUE(testing_support::exists(original));
      EXPECT_EQ(testing_support::readFile(dir.file(r.member)), testing_support::readFile(original));
    }
    if (archive.find("_dmg_") == std::string::npos || archive.find("badcrc") != std::string::npos) {
      EXPECT_EQ(run.messages, expected);
    }
  }
}

TEST_F(TestData, DamagedDataEndsInTheCrcMessageAndTheNextMemberStillExtracts) {
  for (const auto& [archive, rows] : byArchive()) {
    if (archive.find("_dmg_") == std::string::npos) continue;
    SCOPED_TRACE(archive);
    TempDir dir;
    const reader_test::RunResult run = reader_test::extract(kZipData + archive, dir.path());
    EXPECT_TRUE(run.executed);
    const Row& damaged = rows.front();
    ASSERT_FALSE(run.messages.empty());
    const std::string crcMessage = "File " + dir.file(damaged.member) +
                                   " has bad CRC ! Stored CRC is " + hexUpper(damaged.headerCrc) +
                                   ", computed CRC is ";
    EXPECT_EQ(run.messages.back().rfind(crcMessage, 0), 0u) << run.messages.back();
    EXPECT_EQ(testing_support::readText(dir.file("after.txt")),
              testing_support::readText(kZipData + "inputs/sh_fig5.txt"));
  }
}

TEST_F(TestData, ListingShowsEveryMemberWithSizesRatioDateAndTime) {
  for (const auto& [archive, rows] : byArchive()) {
    if (archive == "pkzip_multizip.zip") continue;  // its own dates
    SCOPED_TRACE(archive);
    zip::TUnZip unzip;
    unzip.DateSeparator = '.';
    unzip.TimeSeparator = ':';
    std::vector<std::string> lines;
    unzip.GetZipList(kZipData + archive, lines);
    ASSERT_EQ(lines.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const Row& r = rows[i];
      const long ratio =
          r.uncompressed == 0 ? 0 : std::lround(100.0 * r.compressed / r.uncompressed - 100.0);
      EXPECT_EQ(lines[i], r.member + "\t" + std::to_string(r.uncompressed) + "\t" +
                              std::to_string(r.compressed) + "\t" + std::to_string(ratio) +
                              "%\t01.06.2024\t12:34:56");
    }
  }
}

}  // namespace
