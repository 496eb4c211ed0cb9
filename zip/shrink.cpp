// Shrink compressor.
//
// The format defines the dictionary as a tree held downward (first child, next sibling,
// suffix) and a lookup as a walk along the prefix's child chain that takes the first
// node with the wanted suffix. What the code stream depends on is only which node each
// lookup finds, which nodes are leaves when a partial clear begins, and the order in
// which codes are handed out. This coder keeps exactly that:
//
//  - a hash of (prefix, suffix) -> code holding, for each pair, the node the chain walk
//    would find first. A pair can have two nodes: after a clear the pair is added
//    without a lookup, and the older node, earlier in the chain, stays the answer;
//  - per node the number of its children (a leaf has none) and when it was added (the
//    order of its parent's chain);
//  - per node whether it hangs below a root at all. The rules let the prefix of the
//    addition after a clear be a code that clear has just freed, which would leave the
//    new node cut off from the roots; such a node is never looked up nor freed again,
//    so it stays out of the hash and out of the tree. (With the rules as they are, that
//    prefix is always a single byte: the table only fills in an addition, right after
//    which the pending string is one byte long.)
//
// A clear thus needs no walk over the tree, however deep it is: one pass over the codes
// finds the leaves, in ascending order as the free list wants them, and freeing one
// touches only its parent's count and the hash.
#include "zip/shrink.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace zip {
namespace {

constexpr int kHashBits = 14;
constexpr int kHashSize = 1 << kHashBits;
constexpr std::uint8_t kInTree = 1;  // reachable from a root
constexpr std::uint8_t kInHash = 2;  // the hash's answer for its pair

inline std::uint32_t pairKey(int prefix, int suffix) {
  return static_cast<std::uint32_t>(prefix) << 8 | static_cast<std::uint32_t>(suffix);
}

inline std::size_t hashOf(std::uint32_t key) {
  return (key * 2654435761u) >> (32 - kHashBits);
}

}  // namespace

struct Shrinker::Tables {
  struct Node {
    std::uint32_t key;    // prefix << 8 | suffix; the suffix is the string's last byte
    std::uint32_t stamp;  // when it was added: the order of its parent's child chain
    std::int16_t hashNext;
    std::uint16_t children;  // children in the tree; 0 for a leaf
    std::uint8_t flags;
  };
  Node node[kShrinkCodes];
  std::int16_t hashHead[kHashSize];
  std::int16_t freeList[kShrinkCodes];   // slots 257..8191 used
  std::int16_t freed[kShrinkCodes + 1];  // the codes a clear frees, ascending
  std::int16_t waiting[kShrinkCodes];    // nodes of a repeated pair, during a clear
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
    t.node[i] = Tables::Node{pairKey(0, i & 0xFF), 0, -1, 0, 0};
    t.freeList[i] = static_cast<std::int16_t>(i);
  }
  std::fill(std::begin(t.hashHead), std::end(t.hashHead), std::int16_t{-1});
  m_nextFree = kShrinkFirstFree;
  m_tableFull = false;
  m_stamp = 0;
  m_repeats = 0;
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
  t.node[x].flags = static_cast<std::uint8_t>(t.node[x].flags & ~kInHash);
}

void Shrinker::AddToTable(int prefix, int suffix) {
  addToTable(prefix, suffix, true);
}

// `mayExist` is false when the caller has just looked the pair up in vain.
void Shrinker::addToTable(int prefix, int suffix, bool mayExist) {
  if (m_nextFree >= kShrinkCodes) return;
  Tables& t = *m_t;
  const int k = t.freeList[m_nextFree++];
  // Decided before k is re-initialised: k may be the prefix itself.
  const bool inTree = prefix < 256 || (t.node[prefix].flags & kInTree);
  t.node[k] = Tables::Node{pairKey(prefix, suffix), m_stamp++, -1, 0, 0};
  if (inTree) {
    t.node[k].flags = kInTree;
    ++t.node[prefix].children;
    // The new child joins the end of the chain: an older node of the same pair stays
    // the answer.
    if (!mayExist || LookupCode(prefix, suffix) < 0) {
      hashInsert(k);
    } else {
      ++m_repeats;
    }
  }
  if (m_nextFree >= kShrinkCodes) m_tableFull = true;
}

// Frees the leaf x: out of the tree, out of its parent's chain, out of the hash.
void Shrinker::Prune(int x) {
  Tables& t = *m_t;
  Tables::Node& n = t.node[x];
  --t.node[n.key >> 8].children;  // a parent left without children is a leaf next time
  if (n.flags & kInHash) {
    if (!m_rebuildHash) hashRemove(x);
  } else {
    --m_repeats;
  }
  n.flags = 0;
}

// A pair whose answer was freed is answered by its next node in chain order, if one
// stayed: the one added first.
void Shrinker::promoteRepeats() {
  Tables& t = *m_t;
  int count = 0;
  for (int x = kShrinkFirstFree; x < kShrinkCodes; ++x) {
    if ((t.node[x].flags & (kInTree | kInHash)) == kInTree) {
      t.waiting[count++] = static_cast<std::int16_t>(x);
    }
  }
  std::sort(t.waiting, t.waiting + count,
            [&t](int a, int b) { return t.node[a].stamp < t.node[b].stamp; });
  for (int i = 0; i < count; ++i) {
    const int x = t.waiting[i];
    if (LookupCode(static_cast<int>(t.node[x].key >> 8), static_cast<int>(t.node[x].key & 0xFF)) <
        0) {
      hashInsert(x);
      --m_repeats;
    }
  }
}

void Shrinker::PartialClear() {
  Tables& t = *m_t;
  // Every node of the tree that has no children when the clear begins is freed. All
  // are found before any is freed, so a parent that loses its last child here stays.
  // The pass runs in code order, so the freed codes come out ascending.
  int leaves = 0;
  for (int x = kShrinkFirstFree; x < kShrinkCodes; ++x) {
    const Tables::Node& n = t.node[x];
    t.freed[leaves] = static_cast<std::int16_t>(x);
    leaves += (n.flags & kInTree) != 0 && n.children == 0;
  }
  // When most nodes go, building the hash anew is cheaper than taking them out singly.
  m_rebuildHash = leaves * 3 > kShrinkCodes;
  for (int i = 0; i < leaves; ++i) Prune(t.freed[i]);
  if (m_rebuildHash) {
    std::fill(std::begin(t.hashHead), std::end(t.hashHead), std::int16_t{-1});
    for (int x = kShrinkFirstFree; x < kShrinkCodes; ++x) {
      if (t.node[x].flags & kInHash) hashInsert(x);
    }
  }
  if (m_repeats > 0) promoteRepeats();
  // The freed codes fill the free list in ascending order, so the smallest is handed
  // out first.
  m_nextFree = kShrinkCodes - leaves;
  std::copy(t.freed, t.freed + leaves, t.freeList + m_nextFree);
  if (m_nextFree < kShrinkCodes) m_tableFull = false;
  ++m_partialClears;
}

// Format note: once the table is full, the next byte always costs a clear, found pair
// or not; the pair is then added without a lookup, and the prefix may be a code this
// very clear has freed.
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
