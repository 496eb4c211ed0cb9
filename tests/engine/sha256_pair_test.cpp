// The two-stream SHA-256 against the system's SHA-256, and the digest copy with and
// without it.
#include "engine/sha256_pair.h"

#include <gtest/gtest.h>

#include "engine/checksum.h"
#include "engine/split.h"
#include "engine_fakes.h"
#include "support/temp_dir.h"

namespace {

std::string systemSha(const std::uint8_t* p, std::size_t n) {
  engine::Sha256 sha;
  sha.update(p, n);
  return sha.finishHex();
}

// Feeds [p, p + n) in pieces of `piece` bytes.
template <typename Feed>
void inPieces(const std::uint8_t* p, std::size_t n, std::size_t piece, Feed feed) {
  for (std::size_t at = 0; at < n; at += piece) feed(p + at, std::min(piece, n - at));
}

// Parts of every length around the block and padding boundaries, after a stretch the
// whole stream takes alone, fed in pieces that split blocks anywhere: each part's digest
// and the whole one are the system's.
TEST(Sha256Pair, AgreesWithTheSystemDigestWhereverPartsAndPiecesEnd) {
  if (!engine::Sha256Pair::available()) GTEST_SKIP() << "this processor has no SHA instructions";
  const std::vector<std::uint8_t> data = testing_support::makeBytes(300'000, 3);
  struct Row {
    std::size_t secondOnly;
    std::vector<std::size_t> parts;
    std::size_t piece;
  };
  const std::vector<Row> rows = {
      {0, {0, 1, 55, 56, 63, 64, 65, 119, 120, 128}, 1},
      {0, {0, 1, 55, 56, 63, 64, 65, 119, 120, 128}, 7},
      {5, {1000, 64, 3, 70'000, 1}, 64},
      {63, {100'003, 99'997}, 4096},
      {64, {65'543, 10}, 100'000},
      {100, {0, 0, 200'000}, 300'000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("second only " + std::to_string(row.secondOnly) + ", pieces of " +
                 std::to_string(row.piece));
    engine::Sha256Pair pair;
    inPieces(data.data(), row.secondOnly, row.piece,
             [&](const std::uint8_t* p, std::size_t n) { pair.updateSecond(p, n); });
    std::size_t at = row.secondOnly;
    for (const std::size_t part : row.parts) {
      inPieces(data.data() + at, part, row.piece,
               [&](const std::uint8_t* p, std::size_t n) { pair.updateBoth(p, n); });
      // A look at the whole stream so far leaves it going on.
      EXPECT_EQ(engine::hexOf(pair.secondSoFar()), systemSha(data.data(), at + part)) << part;
      EXPECT_EQ(engine::hexOf(pair.finishFirst()), systemSha(data.data() + at, part)) << part;
      at += part;
    }
    EXPECT_EQ(engine::hexOf(pair.finishSecond()), systemSha(data.data(), at));
    // Both start afresh.
    pair.updateBoth("abc", 3);
    const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    EXPECT_EQ(engine::hexOf(pair.finishFirst()), abc);
    EXPECT_EQ(engine::hexOf(pair.finishSecond()), abc);
  }
}

// A split's checksum file is the same whether both digests run on one thread or on two
// (the first part's then taken from the whole file's stream).
TEST(Sha256Pair, ASplitListsTheSameDigestsWithOrWithoutIt) {
  testing_support::TempDir dir;
  testing_support::writeFile(dir.file("in.bin"), testing_support::makeBytes(1'000'003, 9));
  std::vector<std::string> lists;
  for (const bool disabled : {true, false}) {
    engine::Sha256Pair::setDisabled(disabled);
    testing_support::TempDir out;
    engine_test::FakeSplitOptions options;
    options.folder = out.path();
    options.checksum = true;
    engine_test::RecordingSink sink;
    engine::StopToken stop;
    const engine::JobResult result =
        engine::SplitFile({dir.file("in.bin"), 7, "t"}, options, sink, stop, nullptr);
    ASSERT_EQ(result.outcome, engine::JobOutcome::Done) << result.message();
    lists.push_back(testing_support::readText(out.file("in.bin.sha256")));
  }
  engine::Sha256Pair::setDisabled(false);
  EXPECT_EQ(lists[0], lists[1]);
  const auto whole = testing_support::readFile(dir.file("in.bin"));
  EXPECT_NE(lists[1].find(systemSha(whole.data(), whole.size())), std::string::npos);
}

}  // namespace
