// The legacy decoders on hand-built bit streams: the quirks of each format, damaged data
// that must end safely, and truncation.
#include <gtest/gtest.h>

#include <string>

#include "reader_support.h"
#include "support/temp_dir.h"
#include "zip/explode.h"
#include "zip/shrink.h"
#include "zip/unreduce.h"
#include "zip/unshrink.h"

namespace {

using reader_test::BitWriter;
using reader_test::VectorSink;
using Bytes = std::vector<std::uint8_t>;

struct Decoded {
  zip::DecodeResult result;
  Bytes out;
  std::vector<std::string> messages;
};

enum class Method { Shrink, Reduce1, Reduce2, Reduce3, Reduce4, Implode };

Decoded decode(Method method, const Bytes& data, std::uint64_t size = 0, std::uint16_t flags = 0,
               std::size_t chunk = SIZE_MAX) {
  zip::MemorySource source(data.data(), data.size(), chunk);
  zip::BitReader in(source);
  VectorSink sink;
  Decoded d{};
  const zip::DecodeReport report = [&](const std::string& m) { d.messages.push_back(m); };
  switch (method) {
    case Method::Shrink:
      d.result = zip::Unshrink(in, sink, size, report);
      break;
    case Method::Implode:
      d.result = zip::Explode(in, sink, flags, size, report);
      break;
    default:
      d.result = zip::Unreduce(in, sink, static_cast<int>(method), size, report);
      break;
  }
  d.out = sink.bytes;
  return d;
}

Bytes text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

Bytes prefix(const Bytes& b, std::size_t n) {
  return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
}

TEST(BitReader, TakesBitsFromTheLowEndAndReportsTheEnd) {
  const Bytes data{0xB5, 0x3C};  // 1011 0101  0011 1100
  for (std::size_t chunk : {std::size_t{1}, SIZE_MAX}) {
    SCOPED_TRACE(chunk);
    zip::MemorySource source(data.data(), data.size(), chunk);
    zip::BitReader in(source);
    EXPECT_EQ(in.ReadBits(1), 1);
    EXPECT_EQ(in.ReadBits(3), 0b010);
    EXPECT_EQ(in.ReadBits(9), 0b1'1100'1011);  // 4 bits of the first byte, 5 of the second
    EXPECT_EQ(in.ReadBits(4), -1);             // only 3 bits were left
    EXPECT_TRUE(in.ended());
    EXPECT_EQ(in.ReadBits(1), -1);
  }
}

TEST(BitReader, LongStreamsReadTheSameInAnyChunking) {
  const Bytes data = testing_support::makeBytes(1000, 7);
  std::vector<int> whole;
  {
    zip::MemorySource source(data.data(), data.size());
    zip::BitReader in(source);
    for (int n = 1; n <= 16; n = n % 16 + 1) {
      const int v = in.ReadBits(n);
      whole.push_back(v);
      if (v < 0) break;
    }
  }
  for (std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{9}}) {
    zip::MemorySource source(data.data(), data.size(), chunk);
    zip::BitReader in(source);
    std::vector<int> got;
    for (int n = 1; n <= 16; n = n % 16 + 1) {
      const int v = in.ReadBits(n);
      got.push_back(v);
      if (v < 0) break;
    }
    EXPECT_EQ(got, whole) << "chunk " << chunk;
  }
}

// --- Unshrink -------------------------------------------------------------------------

Bytes codes(std::initializer_list<std::pair<int, int>> list) {
  BitWriter w;
  for (auto [code, bits] : list) w.put(static_cast<std::uint32_t>(code), bits);
  return w.bytes();
}

TEST(Unshrink, HandBuiltStreams) {
  struct Case {
    const char* name;
    Bytes data;
    std::string out;
    std::vector<std::string> messages;
    zip::DecodeResult result;
  };
  const std::string stackFull = "Promiňte, přetekl mi zásobník (8192)!";
  const Case cases[] = {
      {"empty data", {}, "", {}, zip::DecodeResult::Done},
      // 257 is the code being defined: the previous string plus its own first byte.
      {"KwKwK", codes({{'a', 9}, {257, 9}, {258, 9}}), "aaaaaa", {}, zip::DecodeResult::Done},
      {"wider codes after 256,1",
       codes({{'A', 9}, {256, 9}, {1, 9}, {'B', 10}, {257, 10}}),
       "ABAB",
       {},
       zip::DecodeResult::Done},
      // After the clear, 257 (a leaf) is free again and goes to the next string, "BC".
      {"partial clear reuses the lowest freed code",
       codes({{'A', 9}, {'B', 9}, {256, 9}, {2, 9}, {'C', 9}, {257, 9}}),
       "ABCBC",
       {},
       zip::DecodeResult::Done},
      {"unknown sub-code goes on",
       codes({{'A', 9}, {256, 9}, {5, 9}, {'B', 9}}),
       "AB",
       {zip::kUnshrinkBadLink},
       zip::DecodeResult::Done},
      {"code size past 13",
       codes({{'A', 9},
              {256, 9},
              {1, 9},
              {256, 10},
              {1, 10},
              {256, 11},
              {1, 11},
              {256, 12},
              {1, 12},
              {256, 13},
              {1, 13},
              {'B', 13}}),
       "A",
       {zip::kUnshrinkBadCode},
       zip::DecodeResult::Stopped},
      // The clear frees 257 while it is the previous code; the next string then gets 257
      // with itself as parent, and reading 257 would never reach a byte.
      {"cycle ends at the stack limit",
       codes({{'A', 9}, {'B', 9}, {257, 9}, {256, 9}, {2, 9}, {'A', 9}, {257, 9}}),
       "ABABA",
       {stackFull},
       zip::DecodeResult::Stopped},
      {"undefined code after a clear",
       codes({{'A', 9}, {'B', 9}, {257, 9}, {256, 9}, {2, 9}, {300, 9}}),
       "ABAB",
       {zip::kUnshrinkBadCode},
       zip::DecodeResult::Stopped},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = decode(Method::Shrink, c.data, c.out.size());
    EXPECT_EQ(std::string(d.out.begin(), d.out.end()), c.out);
    EXPECT_EQ(d.messages, c.messages);
    EXPECT_EQ(d.result, c.result);
  }
}

// The declared size bounds the output: a string that would pass it is cut there, and
// control codes after the last byte are no output.
TEST(Unshrink, StopsAtTheDeclaredSize) {
  struct Case {
    const char* name;
    Bytes data;
    std::uint64_t size;
    std::string out;
    zip::DecodeResult result;
  };
  const Bytes kwkwk = codes({{'a', 9}, {257, 9}, {258, 9}});  // "aaaaaa"
  const Case cases[] = {
      {"any code past size 0", kwkwk, 0, "", zip::DecodeResult::TooLong},
      {"after the first byte", kwkwk, 1, "a", zip::DecodeResult::TooLong},
      {"inside a string", kwkwk, 4, "aaaa", zip::DecodeResult::TooLong},
      {"exactly the size", kwkwk, 6, "aaaaaa", zip::DecodeResult::Done},
      {"a control code after the last byte", codes({{'A', 9}, {256, 9}, {2, 9}}), 1, "A",
       zip::DecodeResult::Done},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = decode(Method::Shrink, c.data, c.size);
    EXPECT_EQ(std::string(d.out.begin(), d.out.end()), c.out);
    EXPECT_EQ(d.messages, std::vector<std::string>{});
    EXPECT_EQ(d.result, c.result);
  }
}

TEST(Unshrink, RoundTripsTheShrinkerIncludingWideningsAndPartialClears) {
  // Mixed text-like and random data grows the codes to 13 bits and fills the table
  // several times over.
  Bytes input = testing_support::makeBytes(300000, 11);
  for (std::size_t i = 0; i < input.size(); ++i) {
    if ((i / 4096) % 2 == 0) input[i] = static_cast<std::uint8_t>('a' + input[i] % 6);
  }
  const Bytes packed = zip::shrinkBytes(input);
  const Decoded d = decode(Method::Shrink, packed, input.size());
  EXPECT_TRUE(d.messages.empty());
  EXPECT_EQ(d.out, input);
}

TEST(Unshrink, EveryTruncationGivesAPrefixAndNoMessage) {
  const Bytes input = text("abracadabra abracadabra abracadabra, the quick brown fox");
  const Bytes packed = zip::shrinkBytes(input);
  for (std::size_t cut = 0; cut < packed.size(); ++cut) {
    SCOPED_TRACE(cut);
    const Decoded d = decode(Method::Shrink, prefix(packed, cut), input.size());
    EXPECT_EQ(d.result, zip::DecodeResult::Done);
    ASSERT_LE(d.out.size(), input.size());
    EXPECT_TRUE(std::equal(d.out.begin(), d.out.end(), input.begin()));
  }
}

// --- Unreduce -------------------------------------------------------------------------

// Follower sets: all empty, except those given (byte value -> followers).
BitWriter reduceHeader(const std::vector<std::pair<int, std::string>>& sets = {}) {
  BitWriter w;
  for (int value = 255; value >= 0; --value) {
    std::string followers;
    for (const auto& [v, f] : sets) {
      if (v == value) followers = f;
    }
    w.put(static_cast<std::uint32_t>(followers.size()), 6);
    for (char c : followers) w.put(static_cast<std::uint8_t>(c), 8);
  }
  return w;
}

// Bytes of the first stage, each as a literal (all follower sets empty).
Bytes reduceLiterals(const Bytes& stage1) {
  BitWriter w = reduceHeader();
  for (std::uint8_t b : stage1) w.put(b, 8);
  return w.bytes();
}

TEST(Unreduce, ExpansionQuirks) {
  struct Case {
    const char* name;
    Method factor;
    Bytes stage1;
    std::string out;
  };
  const Case cases[] = {
      {"DLE 0 is one literal 144", Method::Reduce2, {'x', 144, 0, 'y'}, "x\x90y"},
      // Length 127 in the low seven bits: the next byte adds to it (127 + 10 + 3 = 140).
      {"factor 1 length extension", Method::Reduce1, {'A', 144, 127, 10, 0}, std::string(141, 'A')},
      // Factor 4: length 4 + 3 bytes, distance (0x20 >> 4) * 256 + 1 + 1 = 514 back.
      {"copy from the zero window at the start",
       Method::Reduce4,
       {144, 0x24, 1},
       std::string(7, '\0')},
      {"overlapping copy repeats a pattern", Method::Reduce3, {'a', 'b', 144, 3, 1}, "ababab"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = decode(c.factor, reduceLiterals(c.stage1), c.out.size());
    EXPECT_EQ(std::string(d.out.begin(), d.out.end()), c.out);
    EXPECT_TRUE(d.messages.empty());
    EXPECT_EQ(d.result, zip::DecodeResult::Done);
  }
}

TEST(Unreduce, FollowerSetsPickBytesByTheByteBefore) {
  // Set of 0 (the start): {'x','y'}; set of 'y': {'z'}; set of 'z': {'w'}.
  BitWriter w = reduceHeader({{0, "xy"}, {'y', "z"}, {'z', "w"}});
  w.put(0, 1).put(1, 1);    // follower 1 of set 0: 'y'
  w.put(0, 1).put(0, 1);    // follower 0 of set 'y': 'z'
  w.put(1, 1).put('q', 8);  // flag 1: a literal despite the set
  w.put('r', 8);            // the set of 'q' is empty: a literal without a flag
  const Decoded d = decode(Method::Reduce1, w.bytes(), 4);
  EXPECT_EQ(std::string(d.out.begin(), d.out.end()), "yzqr");
  EXPECT_TRUE(d.messages.empty());
}

TEST(Unreduce, DamagedFollowerDataEndsTheMember) {
  BitWriter tooMany;
  tooMany.put(33, 6);
  BitWriter badIndex = reduceHeader({{0, "abc"}});
  badIndex.put(0, 1).put(3, 2);  // index 3 of a set of 3
  for (const Bytes& data : {tooMany.bytes(), badIndex.bytes()}) {
    const Decoded d = decode(Method::Reduce2, data, 100);
    EXPECT_EQ(d.result, zip::DecodeResult::Stopped);
    EXPECT_EQ(d.messages, std::vector<std::string>{zip::kUnreduceBadFollowers});
    EXPECT_TRUE(d.out.empty());
  }
}

TEST(Unreduce, EmptyMembersReadNothing) {
  const Decoded empty = decode(Method::Reduce3, {}, 0);
  EXPECT_TRUE(empty.out.empty());
  EXPECT_TRUE(empty.messages.empty());
}

// --- Explode --------------------------------------------------------------------------

// A tree description giving `symbols` symbols the same bit length: all codes are then
// `bits` long and symbol k has the code (symbols - 1 - k).
void flatTree(BitWriter& w, int symbols, int bits) {
  w.put(static_cast<std::uint32_t>(symbols / 16 - 1), 8);
  for (int i = 0; i < symbols / 16; ++i) w.put(static_cast<std::uint32_t>(0xF0 | (bits - 1)), 8);
}

// A symbol of a flat tree: the code's top bit is read first.
void flatSymbol(BitWriter& w, int symbols, int bits, int symbol) {
  const int code = symbols - 1 - symbol;
  for (int b = bits - 1; b >= 0; --b) w.put(static_cast<std::uint32_t>((code >> b) & 1), 1);
}

TEST(Explode, TwoTreesFourKilobyteWindow) {
  BitWriter w;
  flatTree(w, 64, 6);  // lengths
  flatTree(w, 64, 6);  // distances
  w.put(1, 1).put('A', 8);
  // Match: distance 0 (one back), length symbol 1 + minimum 2 = 3 bytes.
  w.put(0, 1).put(0, 6);
  flatSymbol(w, 64, 6, 0);
  flatSymbol(w, 64, 6, 1);
  // Length symbol 63 takes eight more bits: 63 + 5 + 2 = 70 bytes.
  w.put(0, 1).put(0, 6);
  flatSymbol(w, 64, 6, 0);
  flatSymbol(w, 64, 6, 63);
  w.put(5, 8);
  const Decoded d = decode(Method::Implode, w.bytes(), 74, 0);
  EXPECT_EQ(std::string(d.out.begin(), d.out.end()), std::string(74, 'A'));
  EXPECT_TRUE(d.messages.empty());
  EXPECT_EQ(d.result, zip::DecodeResult::Done);
}

TEST(Explode, ThreeTreesEightKilobyteWindowAndAMatchAtTheStart) {
  BitWriter w;
  flatTree(w, 256, 8);  // literals
  flatTree(w, 64, 6);
  flatTree(w, 64, 6);
  // A match first: 7 low bits 99, high 1 -> distance 227; the window is still all zero.
  w.put(0, 1).put(99, 7);
  flatSymbol(w, 64, 6, 1);
  flatSymbol(w, 64, 6, 0);  // shortest match with three trees: 3 bytes
  w.put(1, 1);
  flatSymbol(w, 256, 8, 'z');
  const Decoded d = decode(Method::Implode, w.bytes(), 4, 6);
  EXPECT_EQ(d.out, (Bytes{0, 0, 0, 'z'}));
  EXPECT_TRUE(d.messages.empty());
}

TEST(Explode, DamagedTreesAreReportedAndNeverOverrunTheTables) {
  struct Case {
    const char* name;
    Bytes data;
    std::vector<std::string> messages;
    zip::DecodeResult result;
  };
  BitWriter tooManySymbols;
  tooManySymbols.put(4, 8);
  for (int i = 0; i < 5; ++i) tooManySymbols.put(0xF5, 8);  // 80 symbols
  BitWriter tooManyNodes;  // 64 codes of 16 bits under one path need 73 inner nodes
  flatTree(tooManyNodes, 64, 16);
  BitWriter sameCode;  // two symbols of one bit, then a third on a taken place
  sameCode.put(0, 8).put(0x20, 8);
  flatTree(sameCode, 64, 6);
  const Case cases[] = {
      {"too many symbols",
       tooManySymbols.bytes(),
       {zip::kExplodeBadTree},
       zip::DecodeResult::Stopped},
      {"too many inner nodes",
       tooManyNodes.bytes(),
       {zip::kExplodeBadTree},
       zip::DecodeResult::Stopped},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = decode(Method::Implode, c.data, 50, 0);
    EXPECT_EQ(d.messages, c.messages);
    EXPECT_EQ(d.result, c.result);
    EXPECT_TRUE(d.out.empty());
  }
  {
    SCOPED_TRACE("second symbol on a taken code");
    const Decoded d = decode(Method::Implode, sameCode.bytes(), 0x40, 0);
    ASSERT_FALSE(d.messages.empty());
    EXPECT_EQ(d.messages.front(), zip::kExplodeBadTree);
  }
  {
    // ...but the length tree has no code for a 1 bit, and once the data has ended every
    // bit is a 1: one message per bit read before the end, then the member ends.
    SCOPED_TRACE("empty branch after the end");
    BitWriter lengths;
    lengths.put(0, 8).put(0x00, 8);  // length tree: symbol 0 on the 0 branch only
    flatTree(lengths, 64, 6);        // distance tree
    lengths.put(0, 1).put(0, 6);
    flatSymbol(lengths, 64, 6, 0);
    const Decoded d = decode(Method::Implode, lengths.bytes(), 50, 0);
    EXPECT_EQ(d.result, zip::DecodeResult::Stopped);
    ASSERT_FALSE(d.messages.empty());
    EXPECT_EQ(d.messages.back(), zip::kExplodeBadCode);
    EXPECT_LT(d.messages.size(), 20u);
  }
}

TEST(Explode, EveryTruncationEndsWithoutOverrunningTheSize) {
  BitWriter w;
  flatTree(w, 256, 8);
  flatTree(w, 64, 6);
  flatTree(w, 64, 6);
  for (char c : std::string("hello, hello, hello")) {
    w.put(1, 1);
    flatSymbol(w, 256, 8, static_cast<std::uint8_t>(c));
  }
  const Bytes full = w.bytes();
  for (std::size_t cut = 0; cut <= full.size(); ++cut) {
    SCOPED_TRACE(cut);
    const Decoded d = decode(Method::Implode, prefix(full, cut), 19, 4);
    EXPECT_LE(d.out.size(), 19u);
    if (cut == full.size()) {
      EXPECT_EQ(std::string(d.out.begin(), d.out.end()), "hello, hello, hello");
    }
  }
}

}  // namespace
