// sundrix-cli zip: packs files into a new archive with TZip.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/messages.h"
#include "cli/options.h"
#include "zip/tzip.h"

int cli::runZip(const Args& args) {
  const Command& command = *findCommand("zip");
  int status = kExitOk;
  const std::optional<ParsedArguments> parsed = readArguments(command, args, status);
  if (!parsed) return status;
  zip::TZip zip;
  for (const GivenOption& given : parsed->options) {
    if (given.is("overwrite")) zip.Overwrite = true;
    if (given.is("deflate")) zip.Method = zip::ZipMethod::Deflate;
    if (given.is("source")) {
      if (given.value.empty()) return usageError(command, "--source needs a folder");
      zip.SourcePath = given.value;
    }
  }
  const std::vector<std::string>& operands = parsed->operands;
  if (operands.empty()) return usageError(command, "no archive given");
  zip.SetFName(operands.front());
  zip.Files.assign(operands.begin() + 1, operands.end());
  bool reported = false;
  zip.OnError = [&reported](zip::ZipComponent&, const std::string& message) {
    std::fprintf(stderr, "sundrix-cli: %s\n", localized(message).c_str());
    reported = true;
  };
  const bool ok = zip.Execute();
  if (!ok && !zip.lastFailureReported()) {
    std::fprintf(stderr, "sundrix-cli: %s\n", localized(zip.lastFailure()).c_str());
  }
  return ok && !reported ? kExitOk : kExitFailure;
}
