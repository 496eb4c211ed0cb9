// The Deflate compressor (ZIP method 8) the split's parts are packed with, on zlib's raw
// deflate stream. The stream depends only on the bytes: they are taken in fixed blocks
// whatever runs the reads return, so a part packs to the same bytes on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace zip {

// Receives compressed bytes each time the output buffer fills, and at the end.
using DeflateSink = std::function<void(const std::uint8_t* data, std::size_t n)>;

// Input is judged and compressed in blocks of this size.
inline constexpr std::size_t kDeflateBlock = 64 * 1024;

class Deflater {
 public:
  // Throws std::bad_alloc when zlib's state cannot be allocated.
  explicit Deflater(DeflateSink sink);
  ~Deflater();
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // Starts a member's stream afresh.
  void begin();
  void add(const std::uint8_t* data, std::size_t n);
  // Ends the stream and hands the rest to the sink.
  void end();

 private:
  struct State;
  void compressBlock(bool last);

  DeflateSink m_sink;
  std::unique_ptr<State> m_s;
  std::vector<std::uint8_t> m_block;
  std::size_t m_fill = 0;
};

// True when a block looks like noise (packed, encrypted or random data): its byte
// histogram's entropy is so close to 8 bits that no Deflate coding could gain, and the
// block is stored rather than searched for matches.
bool looksIncompressible(const std::uint8_t* data, std::size_t n);

// The deflated form of a whole buffer, as a member's data.
std::vector<std::uint8_t> deflateBytes(std::span<const std::uint8_t> data);

}  // namespace zip
