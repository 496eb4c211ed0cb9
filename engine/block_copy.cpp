// Block-wise copying of one part.
#include "engine/block_copy.h"

namespace engine {

JobResult copyInBlocks(platform::File& in, platform::File& out, std::int64_t size,
                       const StopToken& stop, const std::function<void(std::int64_t)>& afterBlock,
                       DigestCopy* digest) {
  const std::int64_t blockSize = size / kBlocksPerPart;
  platform::IoError err;
  const auto stopRequested = [&stop] { return stop.stopRequested(); };
  for (int block = 1; block <= kBlocksPerPart; ++block) {
    const std::int64_t n =
        block == kBlocksPerPart ? size - (kBlocksPerPart - 1) * blockSize : blockSize;
    if (stop.stopRequested() ||
        !(digest != nullptr ? digest->copy(in, out, n, err, stopRequested)
                            : platform::copyBytes(in, out, n, err, stopRequested))) {
      if (!err.isSet()) return JobResult::stopped();
      return JobResult::failed(err.path, err.message());
    }
    afterBlock(n);
  }
  return {};
}

}  // namespace engine
