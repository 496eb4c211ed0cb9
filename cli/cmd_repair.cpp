// sundrix-cli repair: rebuilds lost or damaged parts from the recovery files beside them.
#include <cstdio>

#include "cli/cli.h"
#include "cli/options.h"
#include "cli/progress_line.h"
#include "engine/archive_join.h"
#include "engine/recovery_data.h"

int cli::runRepair(const Args& args) {
  const Command& command = *findCommand("repair");
  int status = kExitOk;
  const std::optional<ParsedArguments> parsed = readArguments(command, args, status);
  if (!parsed) return status;
  const std::string first = singleOperand(command, *parsed, "first part", status);
  if (first.empty()) return status;
  // Recovery data is made over plain parts: the files beside an archive's name would be
  // looked for under the part's number, and a rebuild would put plain parts beside it.
  if (engine::isPartArchive(first)) {
    return failure(first + " is an archive of a part: recovery data covers plain parts, "
                           "so give a part's name (" + first.substr(0, first.size() - 4) +
                   "); verify checks archives");
  }
  const std::string journal = engine::journalOfJoinUnderWay(first);
  if (!journal.empty()) {
    return failure("a join of this series is under way (its journal is " + journal +
                   "): the parts it deleted are in its file, not lost, and parts rebuilt in "
                   "their place would stop it. Run that join again to finish it; nothing was "
                   "rebuilt");
  }
  engine::StopToken& stop = stopOnInterrupt();
  engine::RecoveryReport report;
  engine::JobResult result = engine::checkRecovery(first, true, stop, report);
  if (result.outcome == engine::JobOutcome::Done) {
    const std::string base = engine::recoveryBase(first);
    if (!report.present) {
      return failure("no recovery files beside " + first + " (" + base + ".par2, " + base +
                     ".vol*.par2)");
    }
    if (!report.usable) result.warnings.push_back(report.summary);
    if (report.rebuilt.size() < report.damaged.size()) {
      result.warnings.push_back("nothing was changed: " + report.summary);
    }
    if (!result.warnings.empty()) {
      result.warnings.insert(result.warnings.end(), report.rejections.begin(),
                             report.rejections.end());
    }
    if (report.damaged.empty() && report.usable) result.summary = "every part is right";
  }
  return reportResult(result);
}
