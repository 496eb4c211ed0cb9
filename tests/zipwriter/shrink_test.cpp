// The Shrink code stream: hand-checked small cases, the width changes and the partial
// clear, a plain tree-walking model of the rules as a second opinion on many inputs, and
// the streams of the shared test archives.
#include "zip/shrink.h"

#include <gtest/gtest.h>

#include <cstring>

#include "zip/crc32.h"
#include "zipwriter/zipwriter_util.h"

using namespace zipwriter_test;

namespace {

// The rules taken word for word: child chains walked for every lookup and addition,
// Prune recursive. Slow, but with nothing in common with the real coder's lookup.
class PlainShrinker {
 public:
  Bytes run(const Bytes& in) {
    for (int i = 0; i < 8192; ++i) {
      child[i] = sibling[i] = -1;
      suffix[i] = i < 256 ? i : 0;
      if (i >= 257) freeList[i] = i;
    }
    nextFree = 257;
    full = false;
    out.clear();
    bitBuf = bitCount = 0;
    codeSize = 9;
    maxCode = 511;
    if (in.empty()) return out;
    lastCode = in[0];
    for (std::size_t i = 1; i < in.size(); ++i) step(in[i]);
    put(lastCode);
    if (bitCount > 0) out.push_back(static_cast<std::uint8_t>(bitBuf));
    return out;
  }

  // The code the next addition would get (-1: table full), the smallest code the last
  // clear freed, and the code of the last addition.
  int nextCode() const { return nextFree <= 8191 ? freeList[nextFree] : -1; }
  int smallestFreed = -1;
  int lastAdded = -1;

 private:
  void step(int c) {
    if (full) {
      put(lastCode);
      put(256);
      put(2);
      clear();
      add(lastCode, c);
      lastCode = c;
      return;
    }
    for (int x = child[lastCode]; x != -1; x = sibling[x]) {
      if (suffix[x] == c) {
        lastCode = x;
        return;
      }
    }
    put(lastCode);
    add(lastCode, c);
    lastCode = c;
    if (nextFree <= 8191 && freeList[nextFree] > maxCode && codeSize < 13) {
      put(256);
      put(1);
      ++codeSize;
      maxCode = (1 << codeSize) - 1;
    }
  }
  void put(int code) {
    for (int b = 0; b < codeSize; ++b) {
      bitBuf |= ((code >> b) & 1) << bitCount;
      if (++bitCount == 8) {
        out.push_back(static_cast<std::uint8_t>(bitBuf));
        bitBuf = bitCount = 0;
      }
    }
  }
  void add(int prefix, int s) {
    if (nextFree > 8191) return;
    const int k = freeList[nextFree++];
    lastAdded = k;
    child[k] = sibling[k] = -1;
    suffix[k] = s;
    if (child[prefix] == -1) {
      child[prefix] = k;
    } else {
      int x = child[prefix];
      while (sibling[x] != -1) x = sibling[x];
      sibling[x] = k;
    }
    if (nextFree > 8191) full = true;
  }
  void clear() {
    std::memset(bits, 0, sizeof bits);
    for (int r = 0; r < 256; ++r) prune(r);
    nextFree = 8192;
    for (int x = 8191; x >= 257; --x) {
      if (bits[x]) freeList[--nextFree] = x;
    }
    if (nextFree <= 8191) full = false;
    smallestFreed = nextCode();
  }
  void prune(int p) {
    int c;
    while ((c = child[p]) != -1 && child[c] == -1) {
      child[p] = sibling[c];
      sibling[c] = -1;
      bits[c] = true;
    }
    if (child[p] == -1) return;
    c = child[p];
    prune(c);
    int n = sibling[c];
    while (n != -1) {
      if (child[n] == -1) {
        sibling[c] = sibling[n];
        sibling[n] = -1;
        bits[n] = true;
        n = sibling[c];
      } else {
        c = n;
        prune(c);
        n = sibling[c];
      }
    }
  }

  int child[8192], sibling[8192], suffix[8192], freeList[8192];
  bool bits[8192];
  int nextFree = 257, codeSize = 9, maxCode = 511, lastCode = 0, bitBuf = 0, bitCount = 0;
  bool full = false;
  Bytes out;
};

Bytes shrink(const Bytes& in) {
  return zip::shrinkBytes(in);
}

Bytes plainShrink(const Bytes& in) {
  auto model = std::make_unique<PlainShrinker>();
  return model->run(in);
}

// Data codes (not 256 and its argument) before the first control code `arg`.
std::size_t dataCodesBefore(const std::vector<int>& codes, int arg, std::size_t* at = nullptr) {
  std::size_t data = 0;
  for (std::size_t i = 0; i + 1 < codes.size(); ++i) {
    if (codes[i] == 256) {
      if (codes[i + 1] == arg) {
        if (at) *at = i;
        return data;
      }
      ++i;
      continue;
    }
    ++data;
  }
  return SIZE_MAX;
}

}  // namespace

TEST(Shrink, SmallInputs) {
  struct Row {
    const char* what;
    Bytes in;
    Bytes expected;
  };
  const Row rows[] = {
      {"empty input: no bytes at all", {}, {}},
      {"one byte: one 9-bit code", {0x41}, {0x41, 0x00}},
      {"one byte 0xFF", {0xFF}, {0xFF, 0x00}},
      // 0x41 at 9 bits, then 0x42 at 9 bits: 18 bits in 3 bytes.
      {"two different bytes", {0x41, 0x42}, {0x41, 0x84, 0x00}},
      {"two equal bytes", {0x07, 0x07}, {0x07, 0x0E, 0x00}},
      // a is written when "aa" is added as 257; then "aa" is found and written as 257.
      {"three equal bytes", {0x61, 0x61, 0x61}, {0x61, 0x02, 0x02}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(shrink(row.in), row.expected);
    EXPECT_EQ(plainShrink(row.in), row.expected);
  }
}

TEST(Shrink, TwoBytesHandOutCode257) {
  // "abab": a, b (257 = ab, 258 = ba), then ab is found and written as 257.
  const Bytes in = {'a', 'b', 'a', 'b'};
  EXPECT_EQ(readCodes(shrink(in)), (std::vector<int>{'a', 'b', 257}));
}

TEST(Shrink, FirstWideningComesRightAfterCode511) {
  // Random bytes rarely repeat a pair early on: every data code hands out one new code.
  const Bytes in = randomBytes(6000, 7);
  const std::vector<int> codes = readCodes(shrink(in));
  std::size_t at = 0;
  // The 255th data code hands out code 511; 256,1 follows it at once.
  EXPECT_EQ(dataCodesBefore(codes, 1, &at), 255u);
  // Then the following widenings after codes 1023, 2047, 4095: they follow data codes
  // number 767, 1791 and 3839 in the stream.
  std::vector<std::size_t> widenAfter;
  std::size_t data = 0;
  for (std::size_t i = 0; i + 1 < codes.size(); ++i) {
    if (codes[i] == 256) {
      if (codes[i + 1] == 1) widenAfter.push_back(data);
      ++i;
    } else {
      ++data;
    }
  }
  EXPECT_EQ(widenAfter, (std::vector<std::size_t>{255, 767, 1791, 3839}));
  EXPECT_EQ(shrink(in), plainShrink(in));
}

TEST(Shrink, WidthStaysAt13AndTableFillsWithClear) {
  const Bytes in = randomBytes(20000, 11);
  std::vector<std::uint8_t> out;
  zip::Shrinker s([&](const std::uint8_t* p, std::size_t n) { out.insert(out.end(), p, p + n); });
  s.begin();
  std::size_t i = 0;
  while (s.nextCode() != -1) s.ShrinkChar(in[i++]);
  // The table just filled: 7935 codes handed out, all widenings done.
  EXPECT_EQ(s.codeSize(), 13);
  EXPECT_EQ(s.partialClears(), 0u);
  s.ShrinkChar(in[i++]);
  EXPECT_EQ(s.partialClears(), 1u);
  s.end();
  const std::vector<int> codes = readCodes(out);
  std::size_t at = 0;
  // 7935 additions, each after one data code; then the pending prefix, 256, 2.
  EXPECT_EQ(dataCodesBefore(codes, 2, &at), 7935u + 1u);
  ASSERT_GT(at, 0u);
  const Bytes head(in.begin(), in.begin() + static_cast<long>(i));
  auto model = std::make_unique<PlainShrinker>();
  EXPECT_EQ(out, model->run(head));
  // The addition right after the clear took the smallest freed code; the coder hands
  // out the same codes from there on.
  EXPECT_EQ(model->lastAdded, model->smallestFreed);
  EXPECT_EQ(s.nextCode(), model->nextCode());
  EXPECT_GT(s.nextCode(), model->smallestFreed);
}

// The coder's hash must answer exactly as the chain walk does, also after clears that
// leave duplicate pairs and prefixes that were freed by the clear that follows them.
TEST(Shrink, AgreesWithPlainModel) {
  struct Row {
    const char* what;
    Bytes in;
  };
  std::vector<Row> rows;
  rows.push_back({"random 40k", randomBytes(40000, 1)});
  rows.push_back({"mixed 300k", mixedBytes(300000, 2)});
  for (std::uint32_t alphabet : {2u, 3u, 5u, 17u}) {
    Bytes b = randomBytes(200000, alphabet);
    for (auto& x : b) x = static_cast<std::uint8_t>(x % alphabet);
    rows.push_back({"small alphabet", std::move(b)});
  }
  Bytes blocks;
  for (int k = 0; k < 40; ++k) {
    const Bytes r = randomBytes(3000, static_cast<std::uint32_t>(100 + k % 4));
    blocks.insert(blocks.end(), r.begin(), r.end());
  }
  rows.push_back({"repeated random blocks", std::move(blocks)});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(shrink(row.in), plainShrink(row.in));
  }
}

TEST(Shrink, BlockAndByteFeedingGiveTheSameStream) {
  const Bytes in = mixedBytes(60000, 5);
  Bytes byByte;
  zip::Shrinker s(
      [&](const std::uint8_t* p, std::size_t n) { byByte.insert(byByte.end(), p, p + n); }, 100);
  s.begin();
  for (std::uint8_t b : in) s.ShrinkChar(b);
  s.end();
  EXPECT_EQ(byByte, shrink(in));
  // The same coder reused for a second member starts afresh.
  Bytes second;
  zip::Shrinker t(
      [&](const std::uint8_t* p, std::size_t n) { second.insert(second.end(), p, p + n); });
  for (int round = 0; round < 2; ++round) {
    second.clear();
    t.InitTable();
    t.begin();
    t.shrinkBlock(in.data(), in.size());
    t.end();
    EXPECT_EQ(second, byByte);
  }
}

// A run of one byte value builds a chain of nested strings as deep as the dictionary;
// the clear that follows must walk it without running out of stack.
TEST(Shrink, DeepChainIsPrunedWithoutRecursion) {
  const std::size_t depth = 7935;
  Bytes in(depth * (depth + 1) / 2 + depth + 50, 0x5A);
  std::vector<std::uint8_t> out;
  zip::Shrinker s([&](const std::uint8_t* p, std::size_t n) { out.insert(out.end(), p, p + n); });
  s.begin();
  s.shrinkBlock(in.data(), in.size());
  s.end();
  EXPECT_GE(s.partialClears(), 1u);
  EXPECT_EQ(out, plainShrink(in));
}

TEST(Shrink, MatchesTheSharedExpectedStreams) {
  const std::string dir = testdataDir();
  if (dir.empty()) GTEST_SKIP() << "shared test data not found under " << SUNDRIX_TESTDATA;
  for (const char* archive : {"sh_shrink_expected.zip", "sh_expected_layout.zip"}) {
    const Archive a = parseArchive(readAll(dir + archive));
    ASSERT_EQ(a.error, "") << archive;
    int shrunk = 0;
    for (const Member& m : a.members) {
      if (m.local.method != zip::kMethodShrunk) continue;
      SCOPED_TRACE(std::string(archive) + " " + m.name);
      const Bytes input = readAll(dir + "inputs/" + m.name);
      EXPECT_EQ(shrink(input), m.data);
      EXPECT_EQ(zip::crc32(input.data(), input.size()), m.local.crc);
      ++shrunk;
    }
    EXPECT_GE(shrunk, 3) << archive;
  }
}
