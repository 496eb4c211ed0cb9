// sundrix-cli verify: checks parts against their checksum file without joining them.
#include <cstdio>

#include "cli/cli.h"
#include "engine/verify.h"

namespace {

const char kHelp[] =
    "Usage: sundrix-cli verify FIRST_PART [--]\n"
    "\n"
    "Checks every part that the series' checksum file (NAME.sha256, written by the split)\n"
    "lists, and the joined file when it is there; or the parts and the joined file against\n"
    "another splitter's NAME.crc. One line per file: ok, MISMATCH, missing or extra.\n"
    "Exit status 0 only when every listed part is right.\n";

}  // namespace

int cli::runVerify(const Args& args) {
  std::string first;
  ArgumentKinds kindOf;
  for (const std::string& a : args) {
    const ArgumentKinds::Kind kind = kindOf(a);
    if (kind == ArgumentKinds::EndOfOptions) continue;
    if (kind == ArgumentKinds::Name) {
      if (!first.empty()) return usageError("verify: more than one first part given");
      first = a;
    } else if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return kExitOk;
    } else {
      return usageError("verify: unknown option '" + a + "'");
    }
  }
  if (first.empty()) return usageError("verify: no first part given");
  engine::StopToken& stop = stopOnInterrupt();
  const engine::VerifyReport report = engine::VerifyParts(first, stop);
  if (!report.problem.empty()) {
    std::fprintf(stderr, "sundrix-cli: %s\n", report.problem.c_str());
    return kExitFailure;
  }
  for (const engine::VerifyLine& line : report.lines) {
    std::printf("%-8s %s\n", engine::statusWord(line.status), line.name.c_str());
  }
  std::printf("checked against %s\n", report.against.c_str());
  return report.allRight() ? kExitOk : kExitFailure;
}
