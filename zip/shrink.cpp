// Shrink compressor. The dictionary is the tree the format describes (first child,
// next sibling, suffix byte); beside it a hash of (prefix, suffix) -> code answers
// LookupCode in constant time. The hash always holds, for each pair, the node that a
// walk along the prefix's child chain would find first, so the codes come out exactly
// as a plain chain walk would produce them.
//
// A partial clear frees every node that is a leaf when it begins and unlinks it from its
// parent's chain, keeping the order of the others. Which nodes those are does not depend
// on the order in which the tree is visited, so instead of walking the whole tree the
// coder keeps the set of current leaves up to date as codes are added, and a clear only
// touches the chains that lose a node. No recursion, however deep the tree.
#include "zip/shrink.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

namespace zip {
namespace {

constexpr int kHashBits = 14;
constexpr int kHashSize = 1 << kHashBits;
constexpr std::uint8_t kInHash = 1;  // the node is its pair's entry in the hash
constexpr std::uint8_t kInTree = 2;  // reachable from a root (codes 257..8191 only)
constexpr std::uint8_t kDirty = 4;   // its chain loses a node in the running clear
constexpr std::uint8_t kRepeat = 8;  // added for a pair that had a node already

inline std::uint32_t pairKey(int prefix, int suffix) {
  return static_cast<std::uint32_t>(prefix) << 8 | static_cast<std::uint32_t>(suffix);
}

// Suffix in the high bits, prefix (13 bits) in the low ones: for one suffix every
// prefix has its own bucket.
inline std::size_t hashOf(std::uint32_t key) {
  return ((key & 0xFFu) << (kHashBits - 8)) ^ (key >> 8);
}

}  // namespace

struct Shrinker::Tables {
  // One node's fields side by side: a lookup, an addition or a clear touches one
  // cache line per node. child, sibling and suffix are the format's tree; the rest
  // keeps lookups, additions and clears cheap.
  struct Node {
    std::uint32_t key;       // (prefix, suffix) the node was added as
    std::int16_t child;      // first child, -1 for none
    std::int16_t sibling;    // next child of the same parent, -1 for none
    std::int16_t lastChild;  // valid while child is not -1
    std::int16_t hashNext;   // next node of the same hash bucket
    std::int16_t leafPos;    // index in leaves[] while the node is a leaf of the tree
    std::uint8_t suffix;
    std::uint8_t flags;
  };
  Node node[kShrinkCodes];
  std::int16_t hashHead[kHashSize];
  std::int16_t freeList[kShrinkCodes];  // slots 257..8191 used
  std::uint64_t clearBits[kShrinkCodes / 64];
  std::int16_t leaves[kShrinkCodes];  // codes in the tree without children
  std::int16_t dirty[kShrinkCodes];   // parents whose chains a clear changes
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
    t.node[i].child = -1;
    t.node[i].sibling = -1;
    t.node[i].suffix = static_cast<std::uint8_t>(i < 256 ? i : 0);
    t.node[i].lastChild = -1;
    t.node[i].key = 0;
    t.node[i].hashNext = -1;
    t.node[i].flags = 0;
    t.freeList[i] = static_cast<std::int16_t>(i);
  }
  std::fill(std::begin(t.hashHead), std::end(t.hashHead), std::int16_t{-1});
  m_nextFree = kShrinkFirstFree;
  m_tableFull = false;
  m_leafCount = 0;
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
  for (int x = t.hashHead[hashOf(key)]; x >= 0; x = t.node[x].hashNext) {
    if (t.node[x].key == key) return x;
  }
  return -1;
}

void Shrinker::hashInsert(int x) {
  Tables& t = *m_t;
  const std::size_t h = hashOf(t.node[x].key);
  t.node[x].hashNext = t.hashHead[h];
  t.hashHead[h] = static_cast<std::int16_t>(x);
  t.node[x].flags |= kInHash;
}

void Shrinker::hashRemove(int x) {
  Tables& t = *m_t;
  std::int16_t* link = &t.hashHead[hashOf(t.node[x].key)];
  while (*link != x) {
    assert(*link >= 0 && "a node marked as hashed is in its bucket");
    link = &t.node[*link].hashNext;
  }
  *link = t.node[x].hashNext;
  t.node[x].hashNext = -1;
  t.node[x].flags = static_cast<std::uint8_t>(t.node[x].flags & ~kInHash);
}

void Shrinker::leafAdd(int x) {
  Tables& t = *m_t;
  t.node[x].leafPos = static_cast<std::int16_t>(m_leafCount);
  t.leaves[m_leafCount++] = static_cast<std::int16_t>(x);
}

void Shrinker::leafRemove(int x) {
  Tables& t = *m_t;
  const int last = t.leaves[--m_leafCount];
  t.leaves[t.node[x].leafPos] = static_cast<std::int16_t>(last);
  t.node[last].leafPos = t.node[x].leafPos;
}

void Shrinker::AddToTable(int prefix, int suffix) {
  addToTable(prefix, suffix, true);
}

// `mayExist` is false when the caller has just looked the pair up in vain.
void Shrinker::addToTable(int prefix, int suffix, bool mayExist) {
  if (m_nextFree >= kShrinkCodes) return;
  Tables& t = *m_t;
  const int k = t.freeList[m_nextFree++];
  // A prefix freed by the clear just made is no longer in the tree, and neither is
  // what is added below it (that includes k added below itself).
  const bool inTree = prefix < 256 || (t.node[prefix].flags & kInTree);
  // Re-initialising k detaches whatever chain it still had (possible only for a code
  // that was freed and then used as a prefix before being handed out again).
  for (int y = t.node[k].child; y >= 0; y = t.node[y].sibling) {
    if (t.node[y].flags & kInHash) hashRemove(y);
  }
  t.node[k].child = -1;
  t.node[k].sibling = -1;
  t.node[k].suffix = static_cast<std::uint8_t>(suffix);
  t.node[k].key = pairKey(prefix, suffix);
  t.node[k].flags = 0;
  // A new child always joins the end of the chain.
  if (t.node[prefix].child == -1) {
    if (inTree && prefix >= kShrinkFirstFree) leafRemove(prefix);
    t.node[prefix].child = static_cast<std::int16_t>(k);
  } else {
    t.node[t.node[prefix].lastChild].sibling = static_cast<std::int16_t>(k);
  }
  t.node[prefix].lastChild = static_cast<std::int16_t>(k);
  if (inTree) {
    t.node[k].flags = kInTree;
    leafAdd(k);
  }
  // After a clear the pair is added without a lookup and may exist already; the older
  // node stays the answer, as it comes first in the chain.
  if (!mayExist || LookupCode(prefix, suffix) < 0) {
    hashInsert(k);
  } else {
    t.node[k].flags |= kRepeat;
  }
  if (m_nextFree >= kShrinkCodes) m_tableFull = true;
}

// Unlinks the nodes this clear frees from the parent's chain, keeping the others in
// order, and gives each pair of the chain its first node as the hash's answer.
void Shrinker::Prune(int parent) {
  Tables& t = *m_t;
  int prev = -1;
  for (int y = t.node[parent].child; y >= 0;) {
    const int next = t.node[y].sibling;
    if (t.clearBits[y >> 6] & (std::uint64_t{1} << (y & 63))) {
      if (prev < 0) {
        t.node[parent].child = static_cast<std::int16_t>(next);
      } else {
        t.node[prev].sibling = static_cast<std::int16_t>(next);
      }
      t.node[y].sibling = -1;
      if (!m_rebuildHash && (t.node[y].flags & kInHash)) hashRemove(y);
    } else if (!m_rebuildHash) {
      // A node that repeated an earlier pair answers for it once that one is gone.
      if (!(t.node[y].flags & kInHash) &&
          LookupCode(static_cast<int>(t.node[y].key >> 8), t.node[y].suffix) < 0) {
        hashInsert(y);
      }
      prev = y;
    } else {
      prev = y;
    }
    y = next;
  }
  if (prev >= 0) {
    t.node[parent].lastChild = static_cast<std::int16_t>(prev);
  } else if (parent >= kShrinkFirstFree) {
    leafAdd(parent);  // stays in use, and is a leaf for the next clear
  }
}

// The hash anew from the nodes of the tree. A node that repeats a pair answers for it
// only when no earlier node of its chain does.
void Shrinker::rebuildHash() {
  Tables& t = *m_t;
  std::fill(std::begin(t.hashHead), std::end(t.hashHead), std::int16_t{-1});
  bool repeats = false;
  for (int x = kShrinkFirstFree; x < kShrinkCodes; ++x) {
    Tables::Node& n = t.node[x];
    n.flags = static_cast<std::uint8_t>(n.flags & ~kInHash);
    if (!(n.flags & kInTree)) continue;
    if (n.flags & kRepeat) {
      repeats = true;
    } else {
      hashInsert(x);
    }
  }
  if (!repeats) return;
  for (int x = kShrinkFirstFree; x < kShrinkCodes; ++x) {
    const Tables::Node& n = t.node[x];
    if ((n.flags & (kInTree | kRepeat)) != (kInTree | kRepeat)) continue;
    const int parent = static_cast<int>(n.key >> 8);
    if (LookupCode(parent, n.suffix) >= 0) continue;
    int y = t.node[parent].child;
    while (t.node[y].suffix != n.suffix) y = t.node[y].sibling;
    hashInsert(y);
  }
}

void Shrinker::PartialClear() {
  Tables& t = *m_t;
  std::memset(t.clearBits, 0, sizeof t.clearBits);
  // Every node that is a leaf now is freed; the set was kept up to date as codes came.
  int dirtyCount = 0;
  for (int i = 0; i < m_leafCount; ++i) {
    const int x = t.leaves[i];
    t.clearBits[x >> 6] |= std::uint64_t{1} << (x & 63);
    t.node[x].flags = static_cast<std::uint8_t>(t.node[x].flags & ~kInTree);
    const int parent = static_cast<int>(t.node[x].key >> 8);
    if (!(t.node[parent].flags & kDirty)) {
      t.node[parent].flags |= kDirty;
      t.dirty[dirtyCount++] = static_cast<std::int16_t>(parent);
    }
  }
  // When most nodes go, building the hash anew is cheaper than taking them out one by one.
  m_rebuildHash = m_leafCount * 3 > kShrinkCodes;
  m_leafCount = 0;
  for (int i = 0; i < dirtyCount; ++i) {
    const int parent = t.dirty[i];
    t.node[parent].flags = static_cast<std::uint8_t>(t.node[parent].flags & ~kDirty);
    Prune(parent);
  }
  if (m_rebuildHash) rebuildHash();
  // The freed codes go into the free list in ascending order, so the smallest is
  // handed out first.
  m_nextFree = kShrinkCodes;
  for (int w = kShrinkCodes / 64 - 1; w >= 0; --w) {
    std::uint64_t bits = t.clearBits[w];
    while (bits != 0) {
      const int top = 63 - std::countl_zero(bits);
      t.freeList[--m_nextFree] = static_cast<std::int16_t>(w * 64 + top);
      bits &= ~(std::uint64_t{1} << top);
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
  addToTable(m_lastCode, c, false);
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
    while (x >= 0 && t.node[x].key != key) x = t.node[x].hashNext;
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
