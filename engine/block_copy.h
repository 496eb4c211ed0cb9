// The copy that both the split and the join make of a part: 100 blocks of one hundredth
// each (the last takes the remainder), progress after every block, stop between chunks.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/digest_copy.h"
#include "engine/job.h"
#include "platform/file.h"

namespace engine {

// Copies `size` bytes from `in` to `out`; `afterBlock` gets each block's byte count.
// With `digest`, the bytes pass through it. Done, Stopped, or Failed naming the file and
// the reason.
JobResult copyInBlocks(platform::File& in, platform::File& out, std::int64_t size,
                       const StopToken& stop, const std::function<void(std::int64_t)>& afterBlock,
                       DigestCopy* digest = nullptr);

}  // namespace engine
