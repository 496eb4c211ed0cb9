// A part's copy with its 100 progress steps derived from the bytes moved.
#include "engine/block_copy.h"

namespace engine {
namespace {

// Turns bytes moved into the blocks they complete.
class BlockClock {
 public:
  BlockClock(std::int64_t size, const std::function<void(std::int64_t)>& afterBlock,
             const StopToken& stop)
      : m_size(size), m_blockSize(size / kBlocksPerPart), m_afterBlock(afterBlock), m_stop(stop) {}

  // Reports every block that ends at or before the bytes moved; false when a stop came
  // before a block that is due (a stop after the last block is the caller's to see).
  bool report() {
    while (m_block < kBlocksPerPart && end(m_block + 1) <= m_moved) {
      if (m_stop.stopRequested()) return false;
      ++m_block;
      m_afterBlock(end(m_block) - end(m_block - 1));
    }
    return true;
  }
  void moved(std::int64_t n) { m_moved += n; }

 private:
  std::int64_t end(int block) const { return block == kBlocksPerPart ? m_size : block * m_blockSize; }

  const std::int64_t m_size;
  const std::int64_t m_blockSize;
  const std::function<void(std::int64_t)>& m_afterBlock;
  const StopToken& m_stop;
  std::int64_t m_moved = 0;
  int m_block = 0;  // blocks reported so far
};

}  // namespace

JobResult copyInBlocks(platform::File& in, platform::File& out, std::int64_t size,
                       const StopToken& stop, const std::function<void(std::int64_t)>& afterBlock,
                       DigestCopy* digest) {
  BlockClock clock(size, afterBlock, stop);
  bool stopped = !clock.report();  // the empty blocks of a part under 100 bytes come first
  const auto stopRequested = [&] { return stopped || stop.stopRequested(); };
  const platform::CopyProgress moved = [&](std::int64_t n) {
    clock.moved(n);
    stopped = !clock.report();
  };
  platform::IoError err;
  if (stopped || !(digest != nullptr ? digest->copy(in, out, size, err, stopRequested, moved)
                                     : platform::copyBytes(in, out, size, err, stopRequested, moved))) {
    if (!err.isSet()) return JobResult::stopped();
    return JobResult::failed(err.path, err.message());
  }
  if (stopped || !clock.report()) return JobResult::stopped();
  return {};
}

}  // namespace engine
