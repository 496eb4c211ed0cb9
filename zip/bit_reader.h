// The bit reader of the legacy decoders, and the byte source and sink they work through.
// Bits are taken from the least significant end of each byte and a multi-bit value is
// assembled least significant bit first, as Shrink, Reduce and Implode all demand.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

namespace zip {

// Where a decoder takes one member's compressed bytes from. Bytes come in runs so that
// the bit reader touches the source once per run, not once per bit.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Points `data` at the next run of the member's bytes and returns its length; 0 once
  // the member's data is used up (and on every later call).
  virtual std::size_t next(const std::uint8_t*& data) = 0;
};

// Where a decoder delivers the member's output, in runs.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void write(const std::uint8_t* data, std::size_t n) = 0;
};

// A decoder's messages about damaged data go here (the component's error channel).
using DecodeReport = std::function<void(const std::string& message)>;

// How a decoder ended. Every table is released in each case.
enum class DecodeResult {
  Done,      // the end condition of the method was met
  Stopped,   // damaged data: decoding of the member ended early (a message was reported)
  NoMemory,  // the tables could not be allocated (a message was reported)
  TooLong,   // the data goes on past the member's declared size; what fits was delivered
};

// A whole buffer as a source, handed out in runs of at most `chunk` bytes.
class MemorySource : public ByteSource {
 public:
  MemorySource(const std::uint8_t* data, std::size_t size, std::size_t chunk = SIZE_MAX)
      : m_data(data), m_left(size), m_chunk(chunk == 0 ? 1 : chunk) {}
  std::size_t next(const std::uint8_t*& data) override {
    const std::size_t n = m_left < m_chunk ? m_left : m_chunk;
    data = m_data;
    m_data += n;
    m_left -= n;
    return n;
  }

 private:
  const std::uint8_t* m_data;
  std::size_t m_left;
  std::size_t m_chunk;
};

class BitReader {
 public:
  explicit BitReader(ByteSource& source) : m_source(source) {}
  BitReader(const BitReader&) = delete;
  BitReader& operator=(const BitReader&) = delete;

  // The next n bits (1 to 16) as a value, or -1 when the member's data ends before n bits
  // are complete. Bits of a value cut short are used up; every later call returns -1.
  int ReadBits(int n) {
    if (m_count < n) {
      refill();
      if (m_count < n) return endOfData();
    }
    const int value = static_cast<int>(m_bits & ((std::uint64_t{1} << n) - 1));
    m_bits >>= n;
    m_count -= n;
    return value;
  }

  // For table-driven decoding: makes as many bits available as the source allows (at
  // least 57 unless the data ends) and returns how many there are.
  int fill() {
    if (m_count < 57) refill();
    return m_count;
  }
  // The next n available bits, not taken (n no more than fill() returned).
  std::uint32_t peek(int n) const {
    return static_cast<std::uint32_t>(m_bits & ((std::uint64_t{1} << n) - 1));
  }
  void skip(int n) {
    m_bits >>= n;
    m_count -= n;
  }
  // True once a read came back -1: the member's data is used up.
  bool ended() const { return m_ended; }

 private:
  void refill() {
    while (m_count <= 56) {
      if (m_next == m_end) {
        if (m_sourceDone) return;
        const std::size_t n = m_source.next(m_next);
        if (n == 0) {
          m_sourceDone = true;
          m_next = m_end = nullptr;
          return;
        }
        m_end = m_next + n;
      }
      if (m_end - m_next >= 8) {
        // Eight bytes at once; only the whole bytes that fit above the held bits count.
        static_assert(std::endian::native == std::endian::little, "bulk load assumes LE");
        std::uint64_t word;
        std::memcpy(&word, m_next, 8);
        m_bits |= word << m_count;
        m_next += (63 - m_count) >> 3;
        m_count |= 56;
        return;
      }
      m_bits |= std::uint64_t{*m_next++} << m_count;
      m_count += 8;
    }
  }
  int endOfData() {
    m_bits = 0;
    m_count = 0;
    m_ended = true;
    return -1;
  }

  ByteSource& m_source;
  const std::uint8_t* m_next = nullptr;
  const std::uint8_t* m_end = nullptr;
  std::uint64_t m_bits = 0;
  int m_count = 0;
  bool m_sourceDone = false;
  bool m_ended = false;
};

}  // namespace zip
