// Cutting a stream of unknown length (standard input) into numbered parts of one size.
#pragma once

#include <cstdint>
#include <string>

#include "engine/job.h"
#include "platform/file.h"

namespace engine {

struct StreamSplitRequest {
  std::string name;    // the series: parts NAME.001, NAME.002 ..., checksum file NAME.sha256
  std::string folder;  // where they go, ending with a separator; "" for the current folder
  std::int64_t partSize = 0;  // bytes of every part but the last
  bool writeChecksum = true;
};

// Reads `input` to its end into parts of `partSize` bytes; as with a file, a stream that
// ends exactly at a part's end gives an empty last part, and an empty stream one empty
// part. The SHA-256 of every part and of the whole stream are taken as the bytes pass and
// written to NAME.sha256 at the end. What was read is never lost: parts written before a
// stop or a failure stay, and the message says how many bytes they hold.
JobResult SplitStream(platform::File& input, const StreamSplitRequest& request,
                      ProgressSink& progress, const StopToken& stop);

}  // namespace engine
