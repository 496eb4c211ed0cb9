// sundrix-cli join: appends the parts that follow a first part, as the Combine tab does.
#include <cstdio>

#include "cli/cli.h"
#include "cli/common_options.h"
#include "cli/options.h"
#include "cli/progress_line.h"
#include "engine/combine.h"
#include "platform/file.h"
#include "platform/path.h"

namespace {

class CliCombineOptions : public engine::CombineOptions {
 public:
  bool remove = false;
  bool deleteParts() override { return remove; }
};

// Where the joined file goes for "--out -": the name through which this process reaches
// its standard output; "" where there is none.
std::string standardOutputPath() {
#ifdef _WIN32
  return "";
#else
  return "/dev/stdout";
#endif
}

}  // namespace

int cli::runJoin(const Args& args) {
  const Command& command = *findCommand("join");
  int status = kExitOk;
  const std::optional<ParsedArguments> parsed = readArguments(command, args, status);
  if (!parsed) return status;
  CliCombineOptions options;
  std::string out;
  bool append = false;
  bool overwrite = false;
  std::int64_t appendAt = -1;
  for (const GivenOption& given : parsed->options) {
    if (given.is("out")) {
      if (given.value.empty()) return usageError(command, "--out needs a file or folder, or '-'");
      out = given.value;
    } else if (given.is("delete-parts")) {
      options.remove = true;
    } else if (given.is("overwrite")) {
      overwrite = true;
    } else if (given.is("append")) {
      append = true;
    } else if (given.is("append-at")) {
      if (!parseWholeNumber(given.value, appendAt))
        return usageError(command, "invalid number of bytes '" + given.value + "'");
      append = true;
    }
  }
  const std::string first = singleOperand(command, *parsed, "first part", status);
  if (first.empty()) return status;
  const bool toOutput = out == "-";
  if (toOutput && (append || options.remove)) {
    return usageError(command, "--out - cannot be appended to or take the parts' place: "
                               "--append, --append-at and --delete-parts need a file");
  }
  const engine::CombineSelection selection = engine::NameFirstPart(first);
  engine::CombineRequest request;
  request.firstPartPath = first;
  request.combineCount = selection.combineCount;
  request.append = append;
  request.appendAt = appendAt;
  request.overwrite = overwrite;
  if (toOutput) {
    request.outputPath = standardOutputPath();
    if (request.outputPath.empty()) return failure("--out - is not available on this system");
    if (streamClosed(kOutput)) return failure("cannot write the joined file: standard output is closed");
  } else if (out.empty()) {
    request.outputPath = selection.folder + selection.outputName;
  } else if (platform::folderExists(out) || platform::isPathSeparator(out.back())) {
    request.outputPath = platform::withTrailingSeparator(out) + selection.outputName;
  } else {
    request.outputPath = out;
  }
  ProgressLine progress;
  engine::StopToken& stop = stopOnInterrupt();
  engine::JobResult result = engine::CombineFiles(request, options, progress, stop);
  progress.finish();
  // A join proves nothing without a checksum file; a script reading the last line should
  // not take silence for proof.
  if (result.outcome == engine::JobOutcome::Done && result.summary.empty())
    result.summary = "Not verified: no checksum file was found beside the parts.";
  return reportResult(result, platform::isStreamTarget(request.outputPath));
}
