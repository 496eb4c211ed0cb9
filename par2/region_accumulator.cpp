// The batched, chunked and threaded multiply-accumulate of slices into outputs.
#include "par2/region_accumulator.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <thread>

#include "platform/cores.h"

namespace par2 {
namespace {

// An output chunk of this size stays in the first-level cache while a batch is added to it.
constexpr std::size_t kChunk = 16 * 1024;
// Less work than this per thread is not worth starting a thread for.
constexpr std::size_t kMinBytesPerThread = 4 * 1024 * 1024;

}  // namespace

RegionAccumulator::RegionAccumulator(std::size_t outputs, std::size_t sliceSize,
                                     std::size_t batchSlices, unsigned threads)
    : m_sliceSize(sliceSize),
      m_batchSlices(std::max<std::size_t>(batchSlices, 1)),
      m_threads(threads != 0 ? threads : platform::usableCores()),
      m_outputs(outputs, std::vector<std::uint8_t>(sliceSize, 0)),
      m_batch(m_batchSlices * sliceSize),
      m_factors(m_batchSlices * outputs) {
  assert(sliceSize % 4 == 0 && "slices are whole 32-bit words");
}

void RegionAccumulator::add(const std::uint8_t* slice, const std::vector<Gf>& factors) {
  assert(factors.size() == m_outputs.size() && "one factor per output");
  std::memcpy(m_batch.data() + m_inBatch * m_sliceSize, slice, m_sliceSize);
  std::copy(factors.begin(), factors.end(), m_factors.begin() + static_cast<std::ptrdiff_t>(m_inBatch * m_outputs.size()));
  if (++m_inBatch == m_batchSlices) flush();
}

void RegionAccumulator::addRange(std::size_t from, std::size_t to) {
  const std::size_t outputs = m_outputs.size();
  for (std::size_t at = from; at < to; at += kChunk) {
    const std::size_t n = std::min(kChunk, to - at);
    for (std::size_t k = 0; k < outputs; ++k) {
      std::uint8_t* out = m_outputs[k].data() + at;
      for (std::size_t s = 0; s < m_inBatch; ++s) {
        mulAdd(m_factors[s * outputs + k], m_batch.data() + s * m_sliceSize + at, out, n);
      }
    }
  }
}

void RegionAccumulator::flush() {
  if (m_inBatch == 0 || m_outputs.empty()) {
    m_inBatch = 0;
    return;
  }
  const std::size_t work = m_inBatch * m_outputs.size() * m_sliceSize;
  const std::size_t threads =
      std::min<std::size_t>(m_threads, std::max<std::size_t>(1, work / kMinBytesPerThread));
  if (threads <= 1) {
    addRange(0, m_sliceSize);
  } else {
    // Each thread owns whole chunks of every output: no two write the same bytes.
    const std::size_t chunks = (m_sliceSize + kChunk - 1) / kChunk;
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t) {
      const std::size_t from = std::min(m_sliceSize, chunks * t / threads * kChunk);
      const std::size_t to = std::min(m_sliceSize, chunks * (t + 1) / threads * kChunk);
      pool.emplace_back([this, from, to] { addRange(from, to); });
    }
    addRange(0, std::min(m_sliceSize, chunks / threads * kChunk));
    for (std::thread& th : pool) th.join();
  }
  m_inBatch = 0;
}

}  // namespace par2
