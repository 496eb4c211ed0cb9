// Sums of slices times constants, the one computation behind both making recovery slices
// and rebuilding lost ones: output[k] += factor[k] * slice for every slice added. Slices
// are gathered in a small batch and then added chunk by chunk, so that each chunk of an
// output stays in the cache while the whole batch is added to it; the chunks are shared
// among the processor's cores, and a full batch is added in the background while the
// caller fills the next one (reading and hashing its slices meanwhile).
#pragma once

#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "par2/gf16.h"

namespace par2 {

class RegionAccumulator {
 public:
  // `outputs` buffers of `sliceSize` bytes each (a multiple of 4), all zero at the start;
  // `threads` 0 takes the usable cores.
  RegionAccumulator(std::size_t outputs, std::size_t sliceSize, unsigned threads = 0);
  ~RegionAccumulator();
  RegionAccumulator(const RegionAccumulator&) = delete;
  RegionAccumulator& operator=(const RegionAccumulator&) = delete;

  // Adds factors[k] * slice to output k; `slice` is sliceSize bytes and may be reused as
  // soon as this returns.
  void add(const std::uint8_t* slice, const std::vector<Gf>& factors);
  // The same without a copy: the caller fills slot() (sliceSize bytes) and commits it.
  std::uint8_t* slot();
  void commit(const std::vector<Gf>& factors);
  // Slices larger than a batch are not gathered: their pieces are added as they come,
  // factors[k] * data to output k from `offset` on, before this returns.
  bool batches() const { return m_sliceSize <= kPieceBytes; }
  void addPiece(std::size_t offset, const std::uint8_t* data, std::size_t n,
                const std::vector<Gf>& factors);
  // Adds what is still in the batch and waits; the outputs are complete after it.
  void flush();

  std::size_t outputCount() const { return m_outputs.size(); }
  std::size_t sliceSize() const { return m_sliceSize; }
  std::uint8_t* output(std::size_t k) { return m_outputs[k].data(); }

 private:
  static constexpr std::size_t kPieceBytes = 8u << 20;
  struct Batch {
    std::vector<std::uint8_t> slices;  // side by side
    std::vector<Gf> factors;           // per slice, one per output
    std::size_t count = 0;
  };
  void launch();
  void wait();
  void addRange(const Batch& batch, std::size_t from, std::size_t to);

  std::size_t m_sliceSize;
  std::size_t m_batchSlices;
  unsigned m_threads;
  std::vector<std::vector<std::uint8_t>> m_outputs;
  Batch m_filling;
  Batch m_working;  // being added by m_pool
  std::vector<std::thread> m_pool;
};

}  // namespace par2
