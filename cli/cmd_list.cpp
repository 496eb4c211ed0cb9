// sundrix-cli list: one line per archive member, exactly as the reader's listing gives it.
#include <clocale>
#include <cstdio>

#include "cli/cli.h"
#include "cli/messages.h"
#include "cli/options.h"
#include "platform/file.h"
#include "zip/tunzip.h"

int cli::runList(const Args& args) {
  const Command& command = *findCommand("list");
  int status = kExitOk;
  const std::optional<ParsedArguments> parsed = readArguments(command, args, status);
  if (!parsed) return status;
  const std::string archive = singleOperand(command, *parsed, "archive", status);
  if (archive.empty()) return status;
  std::setlocale(LC_TIME, "");
  zip::TUnZip unzip;
  std::vector<std::string> lines;
  try {
    unzip.GetZipList(archive, lines);
  } catch (const zip::UnZipError& e) {
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    std::fprintf(stderr, "sundrix-cli: %s\n", localized(e.what()).c_str());
    return kExitFailure;
  }
  for (const std::string& line : lines) std::printf("%s\n", line.c_str());
  if (!unzip.listingProblem().empty()) {
    std::fprintf(stderr, "sundrix-cli: %s\n", localized(unzip.listingProblem()).c_str());
    return kExitFailure;
  }
  return kExitOk;
}
