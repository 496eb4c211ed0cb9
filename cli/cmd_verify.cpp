// sundrix-cli verify: checks parts against their checksum file without joining them, and
// says what the recovery files beside them could rebuild.
#include <cstdio>

#include "cli/cli.h"
#include "cli/options.h"
#include "engine/recovery_data.h"
#include "engine/verify.h"

int cli::runVerify(const Args& args) {
  const Command& command = *findCommand("verify");
  int status = kExitOk;
  const std::optional<ParsedArguments> parsed = readArguments(command, args, status);
  if (!parsed) return status;
  const std::string first = singleOperand(command, *parsed, "first part", status);
  if (first.empty()) return status;
  engine::StopToken& stop = stopOnInterrupt();
  const engine::VerifyReport report = engine::VerifyParts(first, stop);
  engine::RecoveryReport recovery;
  if (!stop.stopRequested()) engine::checkRecovery(first, false, stop, recovery);
  if (stop.stopRequested()) {
    failure("stopped");
    return stoppedStatus();
  }
  if (!report.problem.empty() && !recovery.usable) return failure(report.problem);
  for (const engine::VerifyLine& line : report.lines) {
    std::printf("%-8s %s%s%s\n", engine::statusWord(line.status), line.name.c_str(),
                line.why.empty() ? "" : " - ", line.why.c_str());
  }
  if (report.problem.empty()) std::printf("checked against %s\n", report.against.c_str());
  if (!recovery.present) return report.allRight() ? kExitOk : kExitFailure;
  for (const std::string& rejection : recovery.rejections) failure(rejection);
  std::printf("recovery: %s\n", recovery.summary.c_str());
  const std::string journal =
      recovery.damaged.empty() ? std::string() : engine::journalOfJoinUnderWay(first);
  if (!journal.empty()) {
    // The missing parts may be the ones that join deleted; its file holds them.
    std::printf("recovery: a join of this series is under way (its journal is %s): run that "
                "join again to finish it\n",
                journal.c_str());
  } else if (!recovery.damaged.empty()) {
    std::printf(recovery.repairable ? "recovery: can be rebuilt: run 'sundrix-cli repair %s'\n"
                                    : "recovery: cannot be rebuilt from the recovery files%s\n",
                recovery.repairable ? first.c_str() : "");
  }
  const bool listRight = report.problem.empty() ? report.allRight() : true;
  return listRight && recovery.usable && recovery.damaged.empty() ? kExitOk : kExitFailure;
}
