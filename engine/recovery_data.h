// Recovery data beside a series of parts: PAR 2.0 files NAME.par2 and NAME.volA+B.par2
// whose recovery set is the parts themselves, so that any PAR 2.0 tool can rebuild lost
// or damaged parts; and the rebuilding this program does before a join, for `verify`
// and for `repair`.
//
// One slice per part: a part of the series is what gets lost (a mail, an upload, a
// stick), so a recovery block rebuilds exactly one part whatever happened to it, and N
// blocks rebuild any N parts. Smaller slices would mend scattered damage in more parts
// but cost more of the Galois-field work per byte (it grows with the number of input
// slices) and would not rebuild more whole parts. The recovery blocks being made are held
// in memory (blocks x part size), so that amount is capped: a split whose recovery data
// would need more is refused before its first part, naming smaller parts as the way out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/digest_copy.h"
#include "engine/job.h"
#include "par2/recovery_creator.h"

namespace engine {

// How much recovery data a split writes: enough for `parts` lost parts, or for
// `percent` % of the parts (at least one); neither for none.
struct RecoveryAmount {
  int parts = 0;
  int percent = 0;
  bool none() const { return parts <= 0 && percent <= 0; }
};

// The recovery blocks `amount` asks for among `parts` parts that hold bytes (never more
// blocks than such parts: more could not rebuild more of them).
std::uint32_t recoveryBlocks(const RecoveryAmount& amount, std::int64_t parts);

// The memory the recovery blocks of a split may take, and so the largest part times the
// blocks.
inline constexpr std::uint64_t kMaxRecoveryMemory = 1ull << 30;

struct RecoveryPlan {
  std::uint64_t sliceSize = 0;
  std::uint32_t blocks = 0;
  std::int64_t bytes = 0;  // about what the recovery files take on disk
};
// False with `problem` set when the recovery data cannot be made for these parts.
bool planRecovery(const RecoveryAmount& amount, std::int64_t largestPart, std::int64_t parts,
                  RecoveryPlan& plan, std::string& problem);

// "folder/d.bin" for the series of "folder/d.bin.001": what the recovery files are named
// after.
std::string recoveryBase(const std::string& firstPartPath);
// The journal of a join of the series of `partPath` under way into its usual output
// (NAME beside the parts), when there is one: the parts that join deleted are in its
// file, not lost, and parts rebuilt in their place would stop it from continuing.
std::string journalOfJoinUnderWay(const std::string& partPath);
// The longest name among the recovery files `plan` makes at `base` (a volume's, when
// there are volumes: theirs are all as long), without its folder.
std::string longestRecoveryName(const std::string& base, const RecoveryPlan& plan);
// The recovery files of that base that are there: NAME.par2 first, then NAME.vol*.par2.
std::vector<std::string> recoveryFilesOf(const std::string& base);
// True when the file at `path` begins like a PAR 2.0 packet.
bool looksLikeRecoveryFile(const std::string& path);
// Why the file at `path`, named like a recovery file of `base`, is not one of that
// series' (not PAR 2.0 at all, or a set over other files, such as the input itself), so
// that it is neither removed nor replaced; empty when it may be (it describes parts of
// the series only, or nothing readable).
std::string foreignRecoveryFile(const std::string& path, const std::string& base);

// Makes the recovery files of the parts (read back from where they were written) at
// `base`; `written` lists them. A failure or a stop leaves none of them.
JobResult writeRecoveryFiles(const std::vector<std::string>& partPaths, const RecoveryPlan& plan,
                             const std::string& base, const StopToken& stop,
                             std::vector<std::string>& written);

// Makes a split's recovery files from the parts' bytes as they are copied, so that the
// parts need not be read again. It is told each part's name, size and first bytes' hash
// before the copy (the split reads them from the input); parts that come out otherwise
// (other names, or first bytes that differ, as when the input changed under the split)
// make finish() fail, and the split then reads the parts back with writeRecoveryFiles.
class RecoveryFeed final : public PartSink {
 public:
  bool start(std::vector<par2::SourceFile> parts, const RecoveryPlan& plan, platform::IoError& err);
  void bytes(const std::uint8_t* data, std::size_t n) override;
  void endPart() override;
  // Writes the recovery files at `base` when the parts fed were exactly `names`, whole.
  // A failure leaves none of them. Either way the recovery slices' memory is given back,
  // so that reading the parts back does not hold it twice.
  bool finish(const std::vector<std::string>& names, const std::string& base,
              std::vector<std::string>& written, platform::IoError& err);

 private:
  std::unique_ptr<par2::RecoveryCreator> m_creator;
  std::vector<std::string> m_names;
  std::size_t m_part = 0;  // the part being fed
  platform::IoError m_error;  // the first bytes the creator refused
};

// What the recovery data says of the parts of a series.
struct RecoveryReport {
  bool present = false;        // recovery files are beside the parts
  bool usable = false;         // ... and a sound set was read from them
  std::vector<std::string> damaged;  // parts missing or damaged, by name
  bool repairable = false;     // they can all be rebuilt
  std::vector<std::string> rebuilt;  // parts rebuilt and put in place (repair only)
  std::vector<std::string> rejections;  // packets of the recovery files that were refused
  std::string summary;         // one line for the user
};

// Checks the parts of the series of `firstPartPath` against its recovery files; with
// `rebuild`, rebuilds what is missing or damaged into new files, checks each (its MD5
// by the set, its SHA-256 by the checksum list when there is one), moves a damaged part
// aside to NAME.damaged and gives the rebuilt one its name. A part the checksum list
// vouches for is never touched. Done with `report` saying what was found and done (when
// too much is lost, nothing is changed); Failed when a step failed, Stopped on a stop.
// The result's notes say "rebuilt NAME from recovery data" for each part put in place.
JobResult checkRecovery(const std::string& firstPartPath, bool rebuild, const StopToken& stop,
                        RecoveryReport& report);

// The join's first step: rebuilds what the recovery files beside the parts can rebuild,
// and warns of what they cannot (the join then judges the parts as ever).
JobResult repairBeforeJoin(const std::string& firstPartPath, const StopToken& stop);

}  // namespace engine
