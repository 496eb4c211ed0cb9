// Cutting one file into numbered parts.
#pragma once

#include <cstdint>
#include <string>

#include "engine/job.h"
#include "engine/part_archiver.h"
#include "engine/recovery_data.h"

namespace engine {

enum class SplitMode { ByNumber = 0, BySize = 1 };

// Bytes per unit of the part size, by unit index: "Bt", "Kb", "Mb", "Gb".
std::int64_t unitBytes(int unitIndex);

// The split's options, read at the moments the split needs them; a GUI answers from
// the current state of its controls.
class SplitOptions {
 public:
  virtual ~SplitOptions() = default;
  virtual std::string outputFolder() = 0;  // once, at the start; ends with a separator
  virtual std::string batName() = 0;       // once, at the start
  virtual SplitMode mode() = 0;            // once, when the part size is computed
  virtual int sizeUnit() = 0;              // once, likewise (0..3)
  virtual bool createBat() = 0;            // for every part, and once at the end
  virtual bool compressZip() = 0;          // for every part, after it is written
  virtual bool deleteInput() = 0;          // once, at the end
  virtual bool batDeleteLine() = 0;        // once, at the end, when the script is written
  virtual bool writeChecksum() = 0;        // once, at the start: the NAME.sha256 file
  virtual bool createShScript() = 0;       // once, at the end, when the script is written
  // Once, at the start: the recovery files NAME.par2 and NAME.volA+B.par2 (none by default).
  virtual RecoveryAmount recovery() { return {}; }
};

// Part size and count for a split of `fileSize` bytes. False (with `problem` set)
// when `value` is not a usable number of parts or part size.
struct SplitPlan {
  std::int64_t partSize = 0;  // of every part but the last
  std::int64_t partCount = 0;
};
bool planSplit(std::int64_t fileSize, std::int64_t value, SplitMode mode, int sizeUnit,
               SplitPlan& plan, std::string& problem);

struct SplitRequest {
  std::string path;        // the file to split
  std::int64_t value = 0;  // number of parts, or part size in units
  std::string caption;     // the window caption, shown at the end of the title
  // Parts packed at once with the compress option: 0 for one per usable processor, 1 to
  // pack each part before the next is cut.
  unsigned packThreads = 0;
};

// The whole split: parts, archives, input deletion and join script. `archiver` may be
// null when no archiving is wanted or available (the compress option then fails).
JobResult SplitFile(const SplitRequest& request, SplitOptions& options, ProgressSink& progress,
                    const StopToken& stop, PartArchiver* archiver);

}  // namespace engine
