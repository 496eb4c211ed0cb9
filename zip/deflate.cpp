// Deflater: zlib's raw deflate at a lazy-matching level, switched to stored blocks for
// data that does not compress. Searching random data for matches costs as much as
// searching text and gains nothing, so the switch is most of the speed on mixed data.
#include "zip/deflate.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <stdexcept>

namespace zip {
namespace {

// Lazy matching with zlib's level-4 search: within a percent of the default level's
// output on text at about half its time.
constexpr int kLevel = 4;
constexpr std::size_t kOutputSize = 64 * 1024;
// Bits per byte above which a block counts as noise; text stays below 6, a random
// block of kDeflateBlock bytes reaches about 7.997.
constexpr double kNoiseEntropy = 7.95;

}  // namespace

struct Deflater::State {
  z_stream z{};
  bool open = false;
  int level = kLevel;
  std::vector<std::uint8_t> out = std::vector<std::uint8_t>(kOutputSize);
  ~State() {
    if (open) deflateEnd(&z);
  }
};

bool looksIncompressible(const std::uint8_t* data, std::size_t n) {
  if (n < 4096) return false;
  std::array<std::uint32_t, 256> count{};
  for (std::size_t i = 0; i < n; ++i) ++count[data[i]];
  double bits = 0;
  const double total = static_cast<double>(n);
  for (const std::uint32_t c : count) {
    if (c == 0) continue;
    const double p = c / total;
    bits -= p * std::log2(p);
  }
  return bits > kNoiseEntropy;
}

Deflater::Deflater(DeflateSink sink)
    : m_sink(std::move(sink)), m_s(std::make_unique<State>()), m_block(kDeflateBlock) {}

Deflater::~Deflater() = default;

void Deflater::begin() {
  if (m_s->open) deflateEnd(&m_s->z);
  m_s->z = z_stream{};
  m_s->open = false;
  m_s->level = kLevel;
  // Raw deflate (negative window bits): the ZIP member carries its own CRC and sizes.
  if (deflateInit2(&m_s->z, kLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::bad_alloc();
  }
  m_s->open = true;
  m_fill = 0;
}

void Deflater::add(const std::uint8_t* data, std::size_t n) {
  while (n > 0) {
    const std::size_t take = std::min(n, m_block.size() - m_fill);
    std::copy(data, data + take, m_block.begin() + static_cast<std::ptrdiff_t>(m_fill));
    m_fill += take;
    data += take;
    n -= take;
    if (m_fill == m_block.size()) compressBlock(false);
  }
}

void Deflater::end() { compressBlock(true); }

void Deflater::compressBlock(bool last) {
  State& s = *m_s;
  const int level = looksIncompressible(m_block.data(), m_fill) ? 0 : kLevel;
  if (level != s.level) {
    // zlib ends the current block here; the new level applies from the next byte on.
    s.z.next_in = nullptr;
    s.z.avail_in = 0;
    for (;;) {
      s.z.next_out = s.out.data();
      s.z.avail_out = static_cast<uInt>(s.out.size());
      const int rc = deflateParams(&s.z, level, Z_DEFAULT_STRATEGY);
      const std::size_t made = s.out.size() - s.z.avail_out;
      if (made > 0) m_sink(s.out.data(), made);
      if (rc == Z_OK) break;
      if (rc != Z_BUF_ERROR) throw std::runtime_error("deflate parameters refused");
    }
    s.level = level;
  }
  s.z.next_in = m_block.data();
  s.z.avail_in = static_cast<uInt>(m_fill);
  const int flush = last ? Z_FINISH : Z_NO_FLUSH;
  for (;;) {
    s.z.next_out = s.out.data();
    s.z.avail_out = static_cast<uInt>(s.out.size());
    const int rc = deflate(&s.z, flush);
    const std::size_t made = s.out.size() - s.z.avail_out;
    if (made > 0) m_sink(s.out.data(), made);
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) throw std::runtime_error("deflate failed");
    if (!last && s.z.avail_in == 0 && s.z.avail_out != 0) break;
  }
  m_fill = 0;
  if (last) {
    deflateEnd(&s.z);
    s.open = false;
  }
}

std::vector<std::uint8_t> deflateBytes(std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> out;
  Deflater d([&out](const std::uint8_t* p, std::size_t n) { out.insert(out.end(), p, p + n); });
  d.begin();
  d.add(data.data(), data.size());
  d.end();
  return out;
}

}  // namespace zip
