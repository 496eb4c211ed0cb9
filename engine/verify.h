// Checking parts against their checksum file without joining them.
#pragma once

#include <string>
#include <vector>

#include "engine/job.h"

namespace engine {

struct VerifyLine {
  enum class Status { Ok, Mismatch, Missing, Extra };
  Status status = Status::Ok;
  std::string name;  // as the checksum file lists it, or the extra part's name
  std::string why = {};  // what is wrong with it, when more can be said than its status
};

struct VerifyReport {
  std::string against;  // the checksum file used; "" when none was found
  std::vector<VerifyLine> lines;
  std::string problem;  // why nothing could be checked, or ""
  // Every listed part is there and right (an extra part does not count against it).
  bool allRight() const;
};

// "ok", "MISMATCH", "missing", "extra".
const char* statusWord(VerifyLine::Status status);

// Checks every part listed for the series of `firstPartPath` (and the joined file when
// it is there): against the series' checksum file, else against another splitter's ".crc"
// file, which can only vouch for all the parts together. `stop` is asked between files.
VerifyReport VerifyParts(const std::string& firstPartPath, const StopToken& stop);

}  // namespace engine
