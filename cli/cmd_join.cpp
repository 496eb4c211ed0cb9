// sundrix-cli join: appends the parts that follow a first part, as the Combine tab does.
#include <cstdio>

#include "cli/cli.h"
#include "cli/progress_line.h"
#include "engine/combine.h"
#include "platform/file.h"
#include "platform/path.h"

namespace {

const char kHelp[] =
    "Usage: sundrix-cli join FIRST_PART [--out PATH] [--delete-parts] [--overwrite]\n"
    "                        [--append | --append-at BYTES] [--] \n"
    "\n"
    "Appends FIRST_PART's series (NAME.001, NAME.002, ...) in number order into one file.\n"
    "  --out PATH        the joined file, or a folder for it (default: NAME beside the parts)\n"
    "  --delete-parts    delete each part once its bytes are safely in the joined file\n"
    "  --overwrite       replace a file that exists at the joined file's name\n"
    "  --append          finish an earlier join: append FIRST_PART and the parts after it\n"
    "                    to the existing joined file\n"
    "  --append-at BYTES the same, after cutting the joined file back to BYTES bytes\n"
    "  --                the arguments after it are names, even when they begin with '-'\n"
    "Parts are kept unless --delete-parts is given. A part missing before the last one\n"
    "stops the join before anything is written. The file is written under a temporary\n"
    "name and takes its own name when complete; a join that ended early is continued\n"
    "by running the same command again.\n";

class CliCombineOptions : public engine::CombineOptions {
 public:
  bool remove = false;
  bool deleteParts() override { return remove; }
};

}  // namespace

int cli::runJoin(const Args& args) {
  CliCombineOptions options;
  std::string first;
  std::string out;
  bool append = false;
  bool overwrite = false;
  std::int64_t appendAt = -1;
  ArgumentKinds kindOf;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const ArgumentKinds::Kind kind = kindOf(a);
    if (kind == ArgumentKinds::EndOfOptions) continue;
    if (kind == ArgumentKinds::Name) {
      if (!first.empty()) return usageError("join: more than one first part given");
      first = a;
    } else if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return kExitOk;
    } else if (a == "--out" && i + 1 < args.size()) {
      out = args[++i];
    } else if (a == "--delete-parts") {
      options.remove = true;
    } else if (a == "--overwrite") {
      overwrite = true;
    } else if (a == "--append") {
      append = true;
    } else if (a == "--append-at" && i + 1 < args.size()) {
      if (!parseWholeNumber(args[++i], appendAt))
        return usageError("--append-at needs a number of bytes");
      append = true;
    } else {
      return usageError("join: unknown or incomplete option '" + a + "'");
    }
  }
  if (first.empty()) return usageError("join: no first part given");
  const engine::CombineSelection selection = engine::NameFirstPart(first);
  engine::CombineRequest request;
  request.firstPartPath = first;
  request.combineCount = selection.combineCount;
  request.append = append;
  request.appendAt = appendAt;
  request.overwrite = overwrite;
  if (out.empty()) {
    request.outputPath = selection.folder + selection.outputName;
  } else if (platform::folderExists(out) || platform::isPathSeparator(out.back())) {
    request.outputPath = platform::withTrailingSeparator(out) + selection.outputName;
  } else {
    request.outputPath = out;
  }
  ProgressLine progress;
  engine::StopToken& stop = stopOnInterrupt();
  const engine::JobResult result = engine::CombineFiles(request, options, progress, stop);
  progress.finish();
  return reportResult(result, platform::isStreamTarget(request.outputPath));
}
