// Sums of slices times constants, the one computation behind both making recovery slices
// and rebuilding lost ones: output[k] += factor[k] * slice for every slice added. Slices
// are gathered in a small batch and then added chunk by chunk, so that each chunk of an
// output stays in the cache while the whole batch is added to it, and the chunks are
// shared among the processor's cores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "par2/gf16.h"

namespace par2 {

class RegionAccumulator {
 public:
  // `outputs` buffers of `sliceSize` bytes each (a multiple of 4), all zero at the start;
  // `threads` 0 takes the usable cores.
  RegionAccumulator(std::size_t outputs, std::size_t sliceSize, std::size_t batchSlices = 8,
                    unsigned threads = 0);

  // Adds factors[k] * slice to output k; `slice` is sliceSize bytes and may be reused as
  // soon as this returns.
  void add(const std::uint8_t* slice, const std::vector<Gf>& factors);
  // Adds what is still in the batch; the outputs are complete after it.
  void flush();

  std::size_t outputCount() const { return m_outputs.size(); }
  std::size_t sliceSize() const { return m_sliceSize; }
  std::uint8_t* output(std::size_t k) { return m_outputs[k].data(); }
  // Frees an output once it is no longer needed.
  void release(std::size_t k) { std::vector<std::uint8_t>().swap(m_outputs[k]); }

 private:
  void addRange(std::size_t from, std::size_t to);

  std::size_t m_sliceSize;
  std::size_t m_batchSlices;
  unsigned m_threads;
  std::vector<std::vector<std::uint8_t>> m_outputs;
  std::vector<std::uint8_t> m_batch;  // m_batchSlices slices side by side
  std::vector<Gf> m_factors;          // per batch slice, one per output
  std::size_t m_inBatch = 0;
};

}  // namespace par2
