// Two SHA-256 digests of the same bytes at once: the part's and the whole file's, which a
// split and a verified join both need. The processor's SHA instructions finish a block in
// a chain of dependent rounds, so one stream leaves the unit idle half the time; two
// streams interleaved keep it busy, and one core then hashes both in little more than
// the time of one. Where the processor lacks those instructions, available() is false
// and the callers use two Sha256 digests on two threads instead.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace engine {

class Sha256Pair {
 public:
  // True when this processor can run the pair (and tests have not turned it off).
  static bool available();
  // For tests: the callers fall back as on a processor without the instructions.
  static void setDisabled(bool disabled);

  Sha256Pair();
  // The next n bytes of both streams.
  void updateBoth(const void* data, std::size_t n);
  // The next n bytes of the second stream only (the whole file's, before the first part).
  void updateSecond(const void* data, std::size_t n);
  // The first stream's digest; it starts afresh after it.
  std::array<std::uint8_t, 32> finishFirst();
  // The second stream's digest; it starts afresh after it.
  std::array<std::uint8_t, 32> finishSecond();
  // The digest of the second stream's bytes so far; the stream goes on. (Where both
  // streams would begin at the same byte, the first one's digest is this one's, and one
  // stream does the work of two.)
  std::array<std::uint8_t, 32> secondSoFar() const;

  struct Stream {
    std::uint32_t h[8];
    std::uint8_t buffer[64];
    std::size_t fill = 0;        // bytes waiting in `buffer`
    std::uint64_t length = 0;    // bytes taken in all
  };

 private:
  Stream m_first, m_second;
};

}  // namespace engine
