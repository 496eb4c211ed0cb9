// A part's copy with its 100 progress steps derived from the bytes moved.
#include "engine/block_copy.h"

#include <algorithm>

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
    if (!m_afterBlock) return skipReports();
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

  // With no one to tell, the blocks due are passed in one step; a stop is seen where the
  // first of them would have been reported.
  bool skipReports() {
    int due = kBlocksPerPart;  // the last block ends at the part's end, the others at k * m_blockSize
    if (m_moved < m_size) {
      due = m_blockSize == 0 ? kBlocksPerPart - 1
                             : static_cast<int>(std::min<std::int64_t>(m_moved / m_blockSize,
                                                                       kBlocksPerPart - 1));
    }
    if (due == m_block) return true;
    if (m_stop.stopRequested()) return false;
    m_block = due;
    return true;
  }

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
