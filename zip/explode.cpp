// Explode. Trees are built the way the format describes them (code lengths, codes handed
// out from the longest length up, the first bit read selecting by the top code bit); a
// lookup table over the first bits then serves most symbols at once.
#include "zip/explode.h"

#include <algorithm>
#include <memory>
#include <new>

#include "zip/output_window.h"

namespace zip {
namespace {

constexpr std::uint16_t kEmpty = 0xFFFF;
constexpr int kLookupBits = 10;

enum class Lookup : std::uint8_t { Leaf, Node, Slow };

struct LookupEntry {
  std::uint16_t value = 0;  // symbol (Leaf) or the node reached (Node)
  std::uint8_t bits = 0;    // bits taken to get there
  Lookup kind = Lookup::Slow;
};

struct Tree {
  std::uint16_t child[512][2];
  int root = 0;
  int highest = 0;  // highest symbol; a child above it is a node
  int nextNode = 0;
  LookupEntry lookup[1 << kLookupBits];
};

struct WorkEntry {
  std::uint8_t length;
  std::uint8_t symbol;
  std::uint16_t code;
};

struct Tables {
  Tree literal, length, distance;
  WorkEntry work[256];
};

void resetTree(Tree& t, int symbols) {
  std::fill(&t.child[0][0], &t.child[0][0] + 512 * 2, kEmpty);
  t.highest = symbols - 1;
  t.root = 2 * symbols - 1;
  t.nextNode = t.root - 1;
}

// Places one code; false when the tree has no room for another inner node.
bool insertCode(Tree& t, const WorkEntry& e, const DecodeReport& report) {
  int node = t.root;
  for (int b = e.length - 1; b >= 1; --b) {
    std::uint16_t& child = t.child[node][(e.code >> b) & 1];
    if (child == kEmpty) {
      if (t.nextNode <= t.highest) return false;
      child = static_cast<std::uint16_t>(t.nextNode--);
    } else if (child <= t.highest) {
      report(kExplodeBadTree);  // a code below a leaf: this symbol is left out
      return true;
    }
    node = child;
  }
  std::uint16_t& leaf = t.child[node][e.code & 1];
  if (leaf == kEmpty) {
    leaf = e.symbol;
  } else {
    report(kExplodeBadTree);
  }
  return true;
}

void buildLookup(Tree& t) {
  for (std::uint32_t v = 0; v < (1u << kLookupBits); ++v) {
    LookupEntry& e = t.lookup[v];
    int node = t.root;
    int bits = 0;
    e.kind = Lookup::Node;
    while (node > t.highest && bits < kLookupBits) {
      const std::uint16_t child = t.child[node][(v >> bits) & 1];
      if (child == kEmpty) {
        e.kind = Lookup::Slow;
        break;
      }
      node = child;
      ++bits;
    }
    if (e.kind == Lookup::Node && node <= t.highest) e.kind = Lookup::Leaf;
    e.value = static_cast<std::uint16_t>(node);
    e.bits = static_cast<std::uint8_t>(bits);
  }
}

// Reads one tree description: a count of bytes, each giving a bit length and how many
// symbols in a row have it. False on damage that the tree cannot hold.
bool buildTree(BitReader& in, Tree& t, WorkEntry* work, int symbols, const DecodeReport& report) {
  resetTree(t, symbols);
  const int bytes = (in.ReadBits(8) & 0xFF) + 1;
  int s = 0;
  for (int i = 0; i < bytes; ++i) {
    const int d = in.ReadBits(8) & 0xFF;
    const int repeat = (d >> 4) + 1;
    if (s + repeat > symbols) return false;
    for (int r = 0; r < repeat; ++r, ++s) {
      work[s].length = static_cast<std::uint8_t>((d & 15) + 1);
      work[s].symbol = static_cast<std::uint8_t>(s);
    }
  }
  std::stable_sort(work, work + s,
                   [](const WorkEntry& a, const WorkEntry& b) { return a.length < b.length; });
  std::uint16_t code = 0;
  std::uint16_t step = 0;
  int lastLength = 0;
  for (int i = s - 1; i >= 0; --i) {
    code = static_cast<std::uint16_t>(code + step);
    if (work[i].length != lastLength) {
      lastLength = work[i].length;
      step = static_cast<std::uint16_t>(1u << (16 - lastLength));
    }
    work[i].code = static_cast<std::uint16_t>(code >> (16 - lastLength));
    if (!insertCode(t, work[i], report)) return false;
  }
  buildLookup(t);
  return true;
}

class Decoder {
 public:
  Decoder(BitReader& in, const DecodeReport& report) : m_in(in), m_report(report) {}

  // One symbol, or -1 when an empty branch is met after the data has ended.
  int decode(const Tree& t) {
    int node = t.root;
    if (m_in.fill() >= kLookupBits) {
      const LookupEntry& e = t.lookup[m_in.peek(kLookupBits)];
      if (e.kind != Lookup::Slow) {
        m_in.skip(e.bits);
        if (e.kind == Lookup::Leaf) return e.value;
        node = e.value;
      }
    }
    while (node > t.highest) {
      const std::uint16_t child = t.child[node][m_in.ReadBits(1) & 1];
      if (child == kEmpty) {
        m_report(kExplodeBadCode);
        if (m_in.ended()) return -1;  // every further bit would take the same branch
        continue;
      }
      node = child;
    }
    return node;
  }

 private:
  BitReader& m_in;
  const DecodeReport& m_report;
};

}  // namespace

DecodeResult Explode(BitReader& in, ByteSink& out, std::uint16_t flags, std::uint64_t size,
                     const DecodeReport& report) {
  if (size == 0) return DecodeResult::Done;
  const bool bigWindow = (flags & 2) != 0;
  const bool literalTree = (flags & 4) != 0;
  const std::size_t windowSize = bigWindow ? 8192 : 4096;
  const int lowBits = bigWindow ? 7 : 6;
  const int minimumMatch = literalTree ? 3 : 2;
  std::unique_ptr<Tables> tables;
  std::unique_ptr<OutputWindow> window;
  try {
    tables = std::make_unique<Tables>();
    window = std::make_unique<OutputWindow>(out, windowSize, size);
  } catch (const std::bad_alloc&) {
    report(kExplodeNoMemory);
    return DecodeResult::NoMemory;
  }
  Tables& t = *tables;
  if ((literalTree && !buildTree(in, t.literal, t.work, 256, report)) ||
      !buildTree(in, t.length, t.work, 64, report) ||
      !buildTree(in, t.distance, t.work, 64, report)) {
    report(kExplodeBadTree);
    return DecodeResult::Stopped;
  }

  Decoder decoder(in, report);
  while (!window->full()) {
    if ((in.ReadBits(1) & 1) == 1) {
      const int literal = literalTree ? decoder.decode(t.literal) : (in.ReadBits(8) & 0xFF);
      if (literal < 0) break;
      window->put(static_cast<std::uint8_t>(literal));
      if (in.ended()) break;
      continue;
    }
    const int low = in.ReadBits(lowBits) & ((1 << lowBits) - 1);
    const int high = decoder.decode(t.distance);
    if (high < 0) break;
    const std::size_t distance =
        static_cast<std::size_t>(low | (high << lowBits)) & (windowSize - 1);
    int length = decoder.decode(t.length);
    if (length < 0) break;
    // Format note: the longest length symbol is followed by eight more bits of length.
    if (length == 63) length += in.ReadBits(8) & 0xFF;
    window->copy(distance + 1, static_cast<std::size_t>(length + minimumMatch));
    // The member's data has ended: made-up bits would only fill up to the declared size.
    if (in.ended()) break;
  }
  window->flush();
  return window->full() ? DecodeResult::Done : DecodeResult::Stopped;
}

}  // namespace zip
