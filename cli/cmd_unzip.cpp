// sundrix-cli unzip: extracts the members that match the masks into a folder.
#include <cstdio>

#include "cli/cli.h"
#include "cli/messages.h"
#include "cli/options.h"
#include "platform/file.h"
#include "platform/path.h"
#include "zip/tunzip.h"

int cli::runUnzip(const Args& args) {
  const Command& command = *findCommand("unzip");
  int status = kExitOk;
  const std::optional<ParsedArguments> parsed = readArguments(command, args, status);
  if (!parsed) return status;
  std::string folder;
  for (const GivenOption& given : parsed->options) {
    if (!given.is("dir")) continue;
    if (given.value.empty()) return usageError(command, "--dir needs a folder");
    folder = given.value;
  }
  if (parsed->operands.empty()) return usageError(command, "no archive given");
  const std::string& archive = parsed->operands.front();
  const std::vector<std::string> masks(parsed->operands.begin() + 1, parsed->operands.end());
  if (!platform::fileExists(archive)) {
    // The reader itself ends silently on a missing archive.
    std::fprintf(stderr, "sundrix-cli: the archive %s does not exist\n", archive.c_str());
    return kExitFailure;
  }
  zip::TUnZip unzip;
  bool problems = false;
  unzip.OnError = [&problems](zip::ZipComponent&, const std::string& message) {
    problems = true;
    std::fprintf(stderr, "sundrix-cli: %s\n", localized(message).c_str());
  };
  try {
    unzip.UnCrunch(archive, folder.empty() ? platform::currentFolder() : folder, masks);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sundrix-cli: %s\n", localized(e.what()).c_str());
    return kExitFailure;
  }
  if (!folder.empty() && !platform::folderExists(folder)) {
    std::fprintf(stderr, "sundrix-cli: cannot create the folder %s\n", folder.c_str());
    return kExitFailure;
  }
  return problems ? kExitFailure : kExitOk;
}
