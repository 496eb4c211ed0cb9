// The Shrink compressor (ZIP method 1): LZW with 9- to 13-bit codes, an 8192-entry
// dictionary, and the control code 256 that widens the codes (256, 1) or frees the
// dictionary's leaves (256, 2) once it is full.
//
// The code stream is fixed by the format's rules as this program applies them; readers
// rebuild the dictionary from the codes alone, so every code handed out, every width
// change and every partial clear must happen exactly when the rules say.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace zip {

// Receives compressed bytes each time the output buffer fills, and once at the end.
using ShrinkSink = std::function<void(const std::uint8_t* data, std::size_t n)>;

inline constexpr int kShrinkCodes = 8192;      // dictionary nodes, codes 0..8191
inline constexpr int kShrinkControl = 256;     // the control code, never a string
inline constexpr int kShrinkFirstFree = 257;   // first code handed out to a string
inline constexpr int kShrinkMaxCodeSize = 13;  // widest code
inline constexpr int kShrinkEndMark = -1;      // ShrinkChar's "no more input"

class Shrinker {
 public:
  // Allocates the dictionary, free list and output buffer (may throw std::bad_alloc).
  explicit Shrinker(ShrinkSink sink, std::size_t outputBufferSize = 10240);
  ~Shrinker();
  Shrinker(const Shrinker&) = delete;
  Shrinker& operator=(const Shrinker&) = delete;

  // Prepares the dictionary and free list for a new member.
  void InitTable();
  // Starts a member's stream: the next byte is its first (bit packer, width and prefix
  // start afresh).
  void begin() { m_firstCh = true; }
  // One byte value 0..255, or kShrinkEndMark to finish the stream (flushing the last
  // partial byte and the output buffer to the sink).
  void ShrinkChar(int c);
  // ShrinkChar for every byte of a block, without the per-call overhead.
  void shrinkBlock(const std::uint8_t* data, std::size_t n);
  void end() { ShrinkChar(kShrinkEndMark); }

  // Observations for tests and statistics.
  int codeSize() const { return m_codeSize; }
  // The code the next addition would receive; -1 when the table is full.
  int nextCode() const;
  std::uint64_t partialClears() const { return m_partialClears; }
  std::uint64_t widenings() const { return m_widenings; }

 private:
  struct Tables;

  void PutCode(int code);
  void AddToTable(int prefix, int suffix);
  int LookupCode(int prefix, int suffix) const;
  void PartialClear();
  void Prune(int leaf);

  void addToTable(int prefix, int suffix, bool mayExist);
  void promoteRepeats();
  void hashInsert(int x);
  void hashRemove(int x);
  void flushOutput();
  void notFound(int c);
  void tableFullStep(int c);

  ShrinkSink m_sink;
  std::unique_ptr<Tables> m_t;
  std::vector<std::uint8_t> m_out;
  std::size_t m_outCount = 0;

  int m_nextFree = kShrinkFirstFree;  // free-list slot handed out next; 8192 = none
  bool m_tableFull = false;
  std::uint32_t m_stamp = 0;   // additions so far: the order of the child chains
  int m_repeats = 0;           // nodes of the tree that repeat a pair with an answer
  bool m_rebuildHash = false;  // the running clear builds the hash anew
  int m_codeSize = 9;
  int m_maxCode = 511;
  int m_lastCode = 0;
  bool m_firstCh = true;
  std::uint64_t m_bitBuf = 0;  // pending bits, least significant first
  int m_bitCount = 0;
  std::uint64_t m_partialClears = 0;
  std::uint64_t m_widenings = 0;
};

// The shrunk form of a whole buffer (empty input gives no bytes).
std::vector<std::uint8_t> shrinkBytes(std::span<const std::uint8_t> data);

}  // namespace zip
