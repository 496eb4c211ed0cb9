// The copy that both the split and the join make of a part. Progress is published as if
// the part were copied in 100 blocks of one hundredth each (the last takes the remainder),
// but the bytes move in as few chunks as the copy allows; each block is reported once the
// bytes up to its end have moved, and a stop is seen between chunks.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/digest_copy.h"
#include "engine/job.h"
#include "platform/file.h"

namespace engine {

// Copies `size` bytes from `in` to `out`; `afterBlock` gets each block's byte count.
// With `digest`, the bytes pass through it. Done, Stopped, or Failed naming the file and
// the reason. A stop asked for during `afterBlock` reports no later block.
JobResult copyInBlocks(platform::File& in, platform::File& out, std::int64_t size,
                       const StopToken& stop, const std::function<void(std::int64_t)>& afterBlock,
                       DigestCopy* digest = nullptr);

}  // namespace engine
