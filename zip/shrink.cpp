// Shrink compressor. The dictionary is the tree the format describes (first child,
// next sibling, suffix byte); beside it a hash of (prefix, suffix) -> code answers
// LookupCode in constant time. The hash always holds, for each pair, the node that a
// walk along the prefix's child chain would find first, so the codes come out exactly
// as a plain chain walk would produce them.
#include "zip/shrink.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace zip {
namespace {

constexpr int kHashBits = 14;
constexpr int kHashSize = 1 << kHashBits;
constexpr std::uint8_t kInHash = 1;    // the node is its pair's entry in the hash
constexpr std::uint8_t kShadowed = 2;  // a later sibling may carry the same suffix

inline std::uint32_t pairKey(int prefix, int suffix) {
  return static_cast<std::uint32_t>(prefix) << 8 | static_cast<std::uint32_t>(suffix);
}

inline std::size_t hashOf(std::uint32_t key) {
  return (key * 2654435761u) >> (32 - kHashBits);
}

}  // namespace

struct Shrinker::Tables {
  std::int16_t child[kShrinkCodes];
  std::int16_t sibling[kShrinkCodes];
  std::uint8_t suffix[kShrinkCodes];
  // Not part of the format's tree; they keep lookups and additions O(1).
  std::int16_t lastChild[kShrinkCodes];  // valid while child[] is not -1
  std::uint32_t key[kShrinkCodes];       // (prefix, suffix) the node was added as
  std::int16_t hashNext[kShrinkCodes];
  std::uint8_t flags[kShrinkCodes];
  std::int16_t hashHead[kHashSize];
  std::int16_t freeList[kShrinkCodes];  // slots 257..8191 used
  std::uint64_t clearBits[kShrinkCodes / 64];
  // Explicit stack for Prune: a chain of nested strings can be 7935 levels deep.
  struct Frame {
    std::int16_t parent;
    std::int16_t current;
  };
  Frame stack[kShrinkCodes];
};

Shrinker::Shrinker(ShrinkSink sink, std::size_t outputBufferSize)
    : m_sink(std::move(sink)),
      m_t(std::make_unique<Tables>()),
      m_out(std::max<std::size_t>(outputBufferSize, 16)) {
  InitTable();
}

Shrinker::~Shrinker() = default;

void Shrinker::InitTable() {
  Tables& t = *m_t;
  for (int i = 0; i < kShrinkCodes; ++i) {
    t.child[i] = -1;
    t.sibling[i] = -1;
    t.suffix[i] = static_cast<std::uint8_t>(i < 256 ? i : 0);
    t.lastChild[i] = -1;
    t.key[i] = 0;
    t.hashNext[i] = -1;
    t.flags[i] = 0;
    t.freeList[i] = static_cast<std::int16_t>(i);
  }
  std::fill(std::begin(t.hashHead), std::end(t.hashHead), std::int16_t{-1});
  m_nextFree = kShrinkFirstFree;
  m_tableFull = false;
}

int Shrinker::nextCode() const {
  return m_nextFree < kShrinkCodes ? m_t->freeList[m_nextFree] : -1;
}

void Shrinker::flushOutput() {
  if (m_outCount > 0 && m_sink) m_sink(m_out.data(), m_outCount);
  m_outCount = 0;
}

void Shrinker::PutCode(int code) {
  m_bitBuf |= static_cast<std::uint64_t>(code) << m_bitCount;
  m_bitCount += m_codeSize;
  while (m_bitCount >= 8) {
    m_out[m_outCount++] = static_cast<std::uint8_t>(m_bitBuf);
    m_bitBuf >>= 8;
    m_bitCount -= 8;
    if (m_outCount == m_out.size()) flushOutput();
  }
}

int Shrinker::LookupCode(int prefix, int suffix) const {
  const Tables& t = *m_t;
  const std::uint32_t key = pairKey(prefix, suffix);
  for (int x = t.hashHead[hashOf(key)]; x >= 0; x = t.hashNext[x]) {
    if (t.key[x] == key) return x;
  }
  return -1;
}

void Shrinker::hashInsert(int x) {
  Tables& t = *m_t;
  const std::size_t h = hashOf(t.key[x]);
  t.hashNext[x] = t.hashHead[h];
  t.hashHead[h] = static_cast<std::int16_t>(x);
  t.flags[x] |= kInHash;
}

void Shrinker::hashRemove(int x) {
  Tables& t = *m_t;
  std::int16_t* link = &t.hashHead[hashOf(t.key[x])];
  while (*link != x) {
    assert(*link >= 0 && "a node marked as hashed is in its bucket");
    link = &t.hashNext[*link];
  }
  *link = t.hashNext[x];
  t.hashNext[x] = -1;
  t.flags[x] = static_cast<std::uint8_t>(t.flags[x] & ~kInHash);
}

// The node that was its pair's answer is gone: the next node of the same suffix in the
// parent's chain, if any, becomes the answer.
void Shrinker::promoteDuplicate(int parent, int suffix) {
  Tables& t = *m_t;
  int first = -1;
  bool more = false;
  for (int y = t.child[parent]; y >= 0; y = t.sibling[y]) {
    if (t.suffix[y] != suffix) continue;
    if (first < 0) {
      first = y;
    } else {
      more = true;
      break;
    }
  }
  if (first < 0) return;
  hashInsert(first);
  if (more) t.flags[first] |= kShadowed;
}

void Shrinker::AddToTable(int prefix, int suffix) {
  if (m_nextFree >= kShrinkCodes) return;
  Tables& t = *m_t;
  const int k = t.freeList[m_nextFree++];
  // Re-initialising k detaches whatever chain it still had (possible only for a code
  // that was freed and then used as a prefix before being handed out again).
  for (int y = t.child[k]; y >= 0; y = t.sibling[y]) {
    if (t.flags[y] & kInHash) hashRemove(y);
  }
  t.child[k] = -1;
  t.sibling[k] = -1;
  t.suffix[k] = static_cast<std::uint8_t>(suffix);
  t.key[k] = pairKey(prefix, suffix);
  t.flags[k] = 0;
  // A new child always joins the end of the chain.
  if (t.child[prefix] == -1) {
    t.child[prefix] = static_cast<std::int16_t>(k);
  } else {
    t.sibling[t.lastChild[prefix]] = static_cast<std::int16_t>(k);
  }
  t.lastChild[prefix] = static_cast<std::int16_t>(k);
  const int existing = LookupCode(prefix, suffix);
  if (existing >= 0) {
    t.flags[existing] |= kShadowed;  // only after a clear, which adds without a lookup
  } else {
    hashInsert(k);
  }
  if (m_nextFree >= kShrinkCodes) m_tableFull = true;
}

void Shrinker::freeLeaf(int parent, int x) {
  Tables& t = *m_t;
  t.clearBits[x >> 6] |= std::uint64_t{1} << (x & 63);
  const std::uint8_t flags = t.flags[x];
  t.flags[x] = 0;
  if (flags & kInHash) {
    hashRemove(x);
    if (flags & kShadowed) promoteDuplicate(parent, t.suffix[x]);
  }
}

// Unlinks and frees the leaves at the head of p's chain; returns p's first remaining
// child (which is not a leaf) or -1.
int Shrinker::unlinkLeadingLeaves(int p) {
  Tables& t = *m_t;
  int c;
  while ((c = t.child[p]) >= 0 && t.child[c] == -1) {
    t.child[p] = t.sibling[c];
    t.sibling[c] = -1;
    freeLeaf(p, c);
  }
  return c;
}

// Frees every leaf below `root`, visiting nodes depth first along the chains. Whether a
// node is a leaf is decided before its own children are pruned, so a node that loses
// all its children here stays in use.
void Shrinker::Prune(int root) {
  Tables& t = *m_t;
  int c = unlinkLeadingLeaves(root);
  if (c < 0) return;
  int depth = 0;
  t.stack[depth++] = {static_cast<std::int16_t>(root), static_cast<std::int16_t>(c)};
  while (depth > 0) {
    // Descend into the top frame's current child.
    const int cur = t.stack[depth - 1].current;
    const int first = unlinkLeadingLeaves(cur);
    if (first >= 0) {
      assert(depth < kShrinkCodes && "the tree is at most 7935 levels deep");
      t.stack[depth++] = {static_cast<std::int16_t>(cur), static_cast<std::int16_t>(first)};
      continue;
    }
    // `cur` is done: walk on along its parent's chain, popping finished frames.
    while (depth > 0) {
      Tables::Frame& f = t.stack[depth - 1];
      int kept = f.current;
      int n = t.sibling[kept];
      while (n >= 0 && t.child[n] == -1) {
        t.sibling[kept] = t.sibling[n];
        t.sibling[n] = -1;
        freeLeaf(f.parent, n);
        n = t.sibling[kept];
      }
      if (n >= 0) {
        f.current = static_cast<std::int16_t>(n);
        break;  // descend into n
      }
      t.lastChild[f.parent] = static_cast<std::int16_t>(kept);
      --depth;
    }
  }
}

void Shrinker::PartialClear() {
  Tables& t = *m_t;
  std::memset(t.clearBits, 0, sizeof t.clearBits);
  for (int r = 0; r < 256; ++r) Prune(r);
  // The freed codes go into the free list in ascending order, so the smallest is
  // handed out first.
  m_nextFree = kShrinkCodes;
  for (int x = kShrinkCodes - 1; x >= kShrinkFirstFree; --x) {
    if (t.clearBits[x >> 6] & (std::uint64_t{1} << (x & 63))) {
      t.freeList[--m_nextFree] = static_cast<std::int16_t>(x);
    }
  }
  if (m_nextFree < kShrinkCodes) m_tableFull = false;
  ++m_partialClears;
}

// Format note: once the table is full, the next byte always costs a clear, found pair
// or not; the pair is then added without a lookup, and the prefix may be a code this
// very clear has freed (it may even be handed back to itself).
void Shrinker::tableFullStep(int c) {
  PutCode(m_lastCode);
  PutCode(kShrinkControl);
  PutCode(2);
  PartialClear();
  AddToTable(m_lastCode, c);
  m_lastCode = c;
}

void Shrinker::notFound(int c) {
  PutCode(m_lastCode);
  AddToTable(m_lastCode, c);
  m_lastCode = c;
  // Widen as soon as the code the next addition would get no longer fits. While the
  // table is full the width is already 13, before it the codes come in ascending order.
  if (m_codeSize < kShrinkMaxCodeSize && m_nextFree < kShrinkCodes &&
      m_t->freeList[m_nextFree] > m_maxCode) {
    PutCode(kShrinkControl);
    PutCode(1);
    ++m_codeSize;
    m_maxCode = (1 << m_codeSize) - 1;
    ++m_widenings;
  }
}

void Shrinker::ShrinkChar(int c) {
  if (m_firstCh) {
    m_bitBuf = 0;
    m_bitCount = 0;
    m_codeSize = 9;
    m_maxCode = 511;
    m_lastCode = c;
    m_firstCh = false;
    return;  // an empty input thus yields no bytes at all
  }
  if (c == kShrinkEndMark) {
    PutCode(m_lastCode);
    if (m_bitCount > 0) {
      m_out[m_outCount++] = static_cast<std::uint8_t>(m_bitBuf);
      m_bitBuf = 0;
      m_bitCount = 0;
    }
    flushOutput();
    return;
  }
  if (m_tableFull) {
    tableFullStep(c);
    return;
  }
  const int x = LookupCode(m_lastCode, c);
  if (x >= 0) {
    m_lastCode = x;
  } else {
    notFound(c);
  }
}

void Shrinker::shrinkBlock(const std::uint8_t* data, std::size_t n) {
  std::size_t i = 0;
  if (n > 0 && m_firstCh) ShrinkChar(data[i++]);
  const Tables& t = *m_t;
  for (; i < n; ++i) {
    const int c = data[i];
    if (m_tableFull) {
      tableFullStep(c);
      continue;
    }
    // LookupCode, inlined for the common case.
    const std::uint32_t key = pairKey(m_lastCode, c);
    int x = t.hashHead[hashOf(key)];
    while (x >= 0 && t.key[x] != key) x = t.hashNext[x];
    if (x >= 0) {
      m_lastCode = x;
    } else {
      notFound(c);
    }
  }
}

std::vector<std::uint8_t> shrinkBytes(std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> result;
  Shrinker shrinker(
      [&result](const std::uint8_t* p, std::size_t n) { result.insert(result.end(), p, p + n); });
  shrinker.begin();
  shrinker.shrinkBlock(data.data(), data.size());
  shrinker.end();
  return result;
}

}  // namespace zip
