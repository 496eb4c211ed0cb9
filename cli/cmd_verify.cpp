// sundrix-cli verify: checks parts against their checksum file without joining them.
#include <cstdio>

#include "cli/cli.h"
#include "cli/options.h"
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
  if (stop.stopRequested()) {
    failure("stopped");
    return stoppedStatus();
  }
  if (!report.problem.empty()) return failure(report.problem);
  for (const engine::VerifyLine& line : report.lines) {
    std::printf("%-8s %s%s%s\n", engine::statusWord(line.status), line.name.c_str(),
                line.why.empty() ? "" : " - ", line.why.c_str());
  }
  std::printf("checked against %s\n", report.against.c_str());
  return report.allRight() ? kExitOk : kExitFailure;
}
