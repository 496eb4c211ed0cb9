// The sliding window of Unreduce and Explode, which doubles as their output buffer: every
// byte goes into the window, and each full turn of the window is handed to the sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "zip/bit_reader.h"

namespace zip {

class OutputWindow {
 public:
  // `size` is a power of two; nothing past `limit` bytes (the member's uncompressed
  // size) is delivered, so damaged data cannot make a member grow beyond its header.
  OutputWindow(ByteSink& sink, std::size_t size, std::uint64_t limit)
      : m_sink(sink), m_window(size, 0), m_mask(size - 1), m_limit(limit) {}

  bool full() const { return m_written >= m_limit; }
  std::uint64_t written() const { return m_written; }

  void put(std::uint8_t b) {
    if (full()) return;
    m_window[m_pos++] = b;
    ++m_written;
    if (m_pos == m_window.size()) wrap();
  }

  // Repeats `length` bytes that start `back` bytes (1 to the window size) before the write
  // position. The source may overlap the bytes being written; that repeats a pattern.
  void copy(std::size_t back, std::size_t length) {
    const std::uint64_t room = m_limit - m_written;
    if (length > room) length = static_cast<std::size_t>(room);
    std::size_t src = (m_pos - back) & m_mask;
    while (length > 0) {
      std::size_t n = length;
      n = n < m_window.size() - m_pos ? n : m_window.size() - m_pos;
      n = n < m_window.size() - src ? n : m_window.size() - src;
      std::uint8_t* w = m_window.data();
      if (src + n <= m_pos || src > m_pos) {
        // No byte of this run is written before it is read.
        std::memmove(w + m_pos, w + src, n);
      } else {
        for (std::size_t i = 0; i < n; ++i) w[m_pos + i] = w[src + i];
      }
      m_pos += n;
      m_written += n;
      src = (src + n) & m_mask;
      length -= n;
      if (m_pos == m_window.size()) wrap();
    }
  }

  // Hands the bytes not yet delivered to the sink.
  void flush() {
    if (m_pos > m_flushed) m_sink.write(m_window.data() + m_flushed, m_pos - m_flushed);
    m_flushed = m_pos;
  }

 private:
  void wrap() {
    flush();
    m_pos = 0;
    m_flushed = 0;
  }

  ByteSink& m_sink;
  std::vector<std::uint8_t> m_window;
  std::size_t m_mask;
  std::uint64_t m_limit;
  std::uint64_t m_written = 0;
  std::size_t m_pos = 0;
  std::size_t m_flushed = 0;
};

}  // namespace zip
