// The batched, chunked and threaded multiply-accumulate of slices into outputs.
#include "par2/region_accumulator.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "platform/cores.h"

namespace par2 {
namespace {

// An output chunk of this size stays in the first-level cache while a batch is added to it.
constexpr std::size_t kChunk = 16 * 1024;
// A batch holds up to this many slices and about kPieceBytes: enough slices to add many
// to each chunk of an output while it is in the cache, few enough to stay a small buffer.
constexpr std::size_t kBatchSlices = 8;
// Less work than this per thread is not worth starting a thread for.
constexpr std::size_t kMinBytesPerThread = 4u << 20;

}  // namespace

RegionAccumulator::RegionAccumulator(std::size_t outputs, std::size_t sliceSize, unsigned threads)
    : m_sliceSize(sliceSize),
      m_batchSlices(std::clamp<std::size_t>(kPieceBytes / std::max<std::size_t>(sliceSize, 1), 1, kBatchSlices)),
      m_threads(threads != 0 ? threads : platform::usableCores()) {
  assert(sliceSize % 4 == 0 && "slices are whole 32-bit words");
  // Each made in place: copies of one zeroed slice would hold twice the memory at once.
  m_outputs.reserve(outputs);
  for (std::size_t k = 0; k < outputs; ++k) m_outputs.emplace_back(sliceSize, 0);
  if (!batches()) return;
  for (Batch* b : {&m_filling, &m_working}) {
    b->slices.resize(m_batchSlices * sliceSize);
    b->factors.resize(m_batchSlices * outputs);
  }
}

RegionAccumulator::~RegionAccumulator() {
  wait();
}

std::uint8_t* RegionAccumulator::slot() {
  return m_filling.slices.data() + m_filling.count * m_sliceSize;
}

void RegionAccumulator::commit(const std::vector<Gf>& factors) {
  assert(factors.size() == m_outputs.size() && "one factor per output");
  std::copy(factors.begin(), factors.end(),
            m_filling.factors.begin() + static_cast<std::ptrdiff_t>(m_filling.count * m_outputs.size()));
  if (++m_filling.count == m_batchSlices) launch();
}

void RegionAccumulator::add(const std::uint8_t* slice, const std::vector<Gf>& factors) {
  std::memcpy(slot(), slice, m_sliceSize);
  commit(factors);
}

void RegionAccumulator::addRange(const Batch& batch, std::size_t from, std::size_t to) {
  const std::size_t outputs = m_outputs.size();
  for (std::size_t at = from; at < to; at += kChunk) {
    const std::size_t n = std::min(kChunk, to - at);
    for (std::size_t k = 0; k < outputs; ++k) {
      std::uint8_t* out = m_outputs[k].data() + at;
      for (std::size_t s = 0; s < batch.count; ++s) {
        mulAdd(batch.factors[s * outputs + k], batch.slices.data() + s * m_sliceSize + at, out, n);
      }
    }
  }
}

void RegionAccumulator::wait() {
  for (std::thread& t : m_pool) t.join();
  m_pool.clear();
  m_working.count = 0;
}

void RegionAccumulator::launch() {
  wait();
  std::swap(m_filling, m_working);
  if (m_working.count == 0 || m_outputs.empty()) {
    m_working.count = 0;
    return;
  }
  // Each thread owns whole chunks of every output: no two write the same bytes.
  const std::size_t work = m_working.count * m_outputs.size() * m_sliceSize;
  const std::size_t threads =
      std::min<std::size_t>(m_threads, std::max<std::size_t>(1, work / kMinBytesPerThread));
  const std::size_t chunks = (m_sliceSize + kChunk - 1) / kChunk;
  for (std::size_t t = 0; t < threads; ++t) {
    const std::size_t from = std::min(m_sliceSize, chunks * t / threads * kChunk);
    const std::size_t to = std::min(m_sliceSize, chunks * (t + 1) / threads * kChunk);
    if (from < to) m_pool.emplace_back([this, from, to] { addRange(m_working, from, to); });
  }
}

void RegionAccumulator::addPiece(std::size_t offset, const std::uint8_t* data, std::size_t n,
                                 const std::vector<Gf>& factors) {
  assert(!batches() && offset + n <= m_sliceSize && n % 2 == 0 && "a piece of a large slice");
  const std::size_t threads =
      std::min<std::size_t>(m_threads, std::max<std::size_t>(1, n * m_outputs.size() / kMinBytesPerThread));
  auto addPart = [&](std::size_t from, std::size_t to) {
    for (std::size_t k = 0; k < m_outputs.size(); ++k) {
      mulAdd(factors[k], data + from, m_outputs[k].data() + offset + from, to - from);
    }
  };
  std::vector<std::thread> pool;
  const std::size_t step = (n / threads + 63) / 64 * 64;
  for (std::size_t from = step; from < n; from += step) {
    pool.emplace_back(addPart, from, std::min(n, from + step));
  }
  addPart(0, std::min(n, step));
  for (std::thread& t : pool) t.join();
}

void RegionAccumulator::flush() {
  launch();
  wait();
}

}  // namespace par2
