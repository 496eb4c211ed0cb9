// Unshrink. Codes start at 9 bits; the control code 256 is followed by 1 (one bit wider)
// or 2 (partial clear: every code without children is freed).
#include "zip/unshrink.h"

#include <memory>
#include <new>

namespace zip {
namespace {

constexpr int kCodes = 8192;
constexpr int kControl = 256;
constexpr int kFirstFree = 257;
constexpr int kMaxCodeSize = 13;
constexpr int kStackSize = 8192;
constexpr std::size_t kOutSize = 1 << 16;

struct Tables {
  std::int16_t parent[kCodes];
  std::uint8_t suffix[kCodes];
  std::uint16_t children[kCodes];
  std::uint16_t freeList[kCodes];  // slots 257 to 8191 are used
  std::uint16_t freed[kCodes];     // scratch for the partial clear
  std::uint8_t stack[kStackSize];
  std::uint8_t out[kOutSize];
};

void initTables(Tables& t) {
  for (int c = 0; c < kCodes; ++c) {
    t.parent[c] = -1;
    t.suffix[c] = c < 256 ? static_cast<std::uint8_t>(c) : 0;
    t.children[c] = 0;
    t.freeList[c] = static_cast<std::uint16_t>(c);
  }
}

// Frees every code from 257 up that has no children, never-used codes included. The free
// list then holds them in ascending order from `nextFree` on, so the lowest is reused
// first. A code whose last child goes here stays in use until a later clear.
void partialClear(Tables& t, int& nextFree) {
  int count = 0;
  for (int c = kFirstFree; c < kCodes; ++c) {
    if (t.children[c] == 0) t.freed[count++] = static_cast<std::uint16_t>(c);
  }
  nextFree = kCodes;
  while (count > 0) {
    const int c = t.freed[--count];
    if (t.parent[c] >= 0) --t.children[t.parent[c]];
    t.parent[c] = -1;
    t.suffix[c] = 0;
    t.children[c] = 0;
    t.freeList[--nextFree] = static_cast<std::uint16_t>(c);
  }
}

class Output {
 public:
  Output(ByteSink& sink, std::uint8_t* buffer) : m_sink(sink), m_buffer(buffer) {}
  // Room for n more bytes, written through the pointer returned.
  std::uint8_t* claim(std::size_t n) {
    if (m_pos + n > kOutSize) flush();
    std::uint8_t* p = m_buffer + m_pos;
    m_pos += n;
    return p;
  }
  void put(std::uint8_t b) { m_buffer[m_pos++] = b; }
  void flush() {
    if (m_pos > 0) m_sink.write(m_buffer, m_pos);
    m_pos = 0;
  }

 private:
  ByteSink& m_sink;
  std::uint8_t* m_buffer;
  std::size_t m_pos = 0;
};

}  // namespace

DecodeResult Unshrink(BitReader& in, ByteSink& out, std::uint64_t size,
                      const DecodeReport& report) {
  std::unique_ptr<Tables> tables;
  try {
    tables = std::make_unique<Tables>();
  } catch (const std::bad_alloc&) {
    report(kUnshrinkNoMemory);
    return DecodeResult::NoMemory;
  }
  Tables& t = *tables;
  initTables(t);
  Output output(out, t.out);
  int codeSize = 9;
  int nextFree = kFirstFree;

  int code = in.ReadBits(codeSize);
  if (code < 0) return DecodeResult::Done;
  // A few kilobytes of codes can stand for gigabytes; the header's size is the bound.
  if (size == 0) return DecodeResult::TooLong;
  std::uint64_t left = size - 1;
  std::uint8_t first = static_cast<std::uint8_t>(code);
  output.put(first);
  int previous = code;

  for (;;) {
    code = in.ReadBits(codeSize);
    if (code < 0) break;
    if (code == kControl) {
      const int sub = in.ReadBits(codeSize);
      if (sub == 1) {
        if (codeSize == kMaxCodeSize) {
          output.flush();
          report(kUnshrinkBadCode);
          return DecodeResult::Stopped;
        }
        ++codeSize;
      } else if (sub == 2) {
        partialClear(t, nextFree);
      } else {
        report(kUnshrinkBadLink);
      }
      continue;
    }
    // Codes never exceed 8191: the code size stops at 13 bits.
    int current = code;
    int depth = 0;
    if (current >= kFirstFree && t.parent[current] < 0) {
      // Format note: the code being defined right now (the "KwKwK" case) stands for the
      // previous string followed by that string's own first byte.
      t.stack[depth++] = first;
      current = previous;
    }
    while (current >= kFirstFree) {
      if (depth == kStackSize) {
        output.flush();
        report("Promiňte, přetekl mi zásobník (" + std::to_string(depth) + ")!");
        return DecodeResult::Stopped;
      }
      t.stack[depth++] = t.suffix[current];
      current = t.parent[current];
    }
    if (current < 0) {
      // The chain reached a freed entry: only damaged data gets here.
      output.flush();
      report(kUnshrinkBadCode);
      return DecodeResult::Stopped;
    }
    first = t.suffix[current];
    if (static_cast<std::uint64_t>(depth) + 1 > left) {
      std::uint8_t* dst = output.claim(static_cast<std::size_t>(left));
      if (left > 0) *dst++ = first;
      for (std::uint64_t i = 1; i < left; ++i) *dst++ = t.stack[--depth];
      output.flush();
      return DecodeResult::TooLong;
    }
    left -= static_cast<std::uint64_t>(depth) + 1;
    std::uint8_t* dst = output.claim(static_cast<std::size_t>(depth) + 1);
    *dst++ = first;
    while (depth > 0) *dst++ = t.stack[--depth];

    if (nextFree < kCodes) {
      const int added = t.freeList[nextFree++];
      t.parent[added] = static_cast<std::int16_t>(previous);
      t.suffix[added] = first;
      ++t.children[previous];
    }
    previous = code;
  }
  output.flush();
  return DecodeResult::Done;
}

}  // namespace zip
