// Joining numbered parts back into one file.
#pragma once

#include <cstdint>
#include <string>

#include "engine/job.h"

namespace engine {

// What choosing a first part shows and counts.
struct CombineSelection {
  std::string folder;             // folder part of the chosen path
  std::string firstName;          // name part of the chosen path
  std::string outputName;         // proposed output: the name up to its last "."
  std::int32_t combineCount = 0;  // the part numbers a join visits: 1 .. combineCount
};

// Counts the parts the way the Combine tab does when a first part is chosen.
CombineSelection SelectFirstPart(const std::string& path);
// The same without the count (combineCount 0), for callers that show no count: the join
// finds its parts itself.
CombineSelection NameFirstPart(const std::string& path);

class CombineOptions {
 public:
  virtual ~CombineOptions() = default;
  virtual bool deleteParts() = 0;  // once per part number, after the part is copied
};

struct CombineRequest {
  std::string firstPartPath;
  std::string outputPath;
  // Where the join starts looking for the highest part (the folder's names may show
  // more); 0 for uncounted: the join then counts itself where it cannot list the folder.
  std::int32_t combineCount = 0;
  // Finishes an earlier join instead of starting one: the output exists and keeps its
  // bytes (its first `appendAt` bytes when that is not -1), and the parts from the first
  // part's own number on are appended to it.
  bool append = false;
  std::int64_t appendAt = -1;
  // A file already at the output's name (not one an earlier run of this join left) is
  // replaced only when this is set; otherwise the join refuses before writing anything.
  bool overwrite = false;
};

JobResult CombineFiles(const CombineRequest& request, CombineOptions& options,
                       ProgressSink& progress, const StopToken& stop);

}  // namespace engine
