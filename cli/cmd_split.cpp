// sundrix-cli split: the same parts, archives and script as the window's Split tab.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>

#include "cli/cli.h"
#include "cli/common_options.h"
#include "cli/options.h"
#include "cli/progress_line.h"
#include "cli/sizes.h"
#include "engine/planned_names.h"
#include "engine/split.h"
#include "engine/stream_split.h"
#include "platform/file.h"
#include "platform/path.h"
#if __has_include("engine/zip_part_archiver.h")
#include "engine/zip_part_archiver.h"
#define SUNDRIX_HAVE_ARCHIVER 1
#endif

namespace {

class CliSplitOptions : public engine::SplitOptions {
 public:
  std::string folder;
  std::string bat = "temp";
  engine::SplitMode splitMode = engine::SplitMode::ByNumber;
  int unit = 1;
  bool withBat = false;
  bool batDelete = false;
  bool zip = false;
  bool removeInput = false;
  bool checksum = true;
  bool sh = false;
  engine::RecoveryAmount recoveryAmount;

  std::string outputFolder() override { return folder; }
  std::string batName() override { return bat; }
  engine::SplitMode mode() override { return splitMode; }
  int sizeUnit() override { return unit; }
  bool createBat() override { return withBat; }
  bool compressZip() override { return zip; }
  bool deleteInput() override { return removeInput; }
  bool batDeleteLine() override { return batDelete; }
  bool writeChecksum() override { return checksum; }
  bool createShScript() override { return sh; }
  engine::RecoveryAmount recovery() override { return recoveryAmount; }
};

// Standard input cut into parts of `partSize` bytes named after `name`.
int splitStandardInput(const std::string& name, const std::string& folder, std::int64_t partSize,
                       bool checksum) {
  if (cli::streamClosed(cli::kInput)) return cli::failure("cannot read standard input: it is closed");
  platform::IoError err;
  platform::File input = platform::File::standardInput(err);
  if (!input.isOpen()) return cli::failure(err.message());
  engine::StreamSplitRequest request;
  request.name = name;
  request.folder = folder;
  request.partSize = partSize;
  request.writeChecksum = checksum;
  cli::ProgressLine progress;
  engine::StopToken& stop = cli::stopOnInterrupt();
  const engine::JobResult result = engine::SplitStream(input, request, progress, stop);
  progress.finish();
  return cli::reportResult(result);
}

}  // namespace

int cli::runSplit(const Args& args) {
  const Command& command = *findCommand("split");
  int status = kExitOk;
  const std::optional<ParsedArguments> parsed = readArguments(command, args, status);
  if (!parsed) return status;
  CliSplitOptions options;
  engine::SplitRequest request;
  std::int64_t partBytes = 0;
  std::string name;
  bool haveValue = false;
  bool deflate = false;
  for (const GivenOption& given : parsed->options) {
    const std::string& value = given.value;
    if (given.is("parts") || given.is("size")) {
      if (haveValue) return usageError(command, "give either --parts or --size, once");
      haveValue = true;
    }
    if (given.is("parts")) {
      if (!parseWholeNumber(value, request.value) || request.value < 1 ||
          request.value > std::numeric_limits<std::int32_t>::max()) {
        return usageError(command, "invalid number of parts '" + value + "'");
      }
      options.splitMode = engine::SplitMode::ByNumber;
    } else if (given.is("size")) {
      if (!parseByteCount(value, partBytes) || partBytes < 1) {
        return usageError(command, "invalid part size '" + value + "'");
      }
      options.splitMode = engine::SplitMode::BySize;
    } else if (given.is("out")) {
      if (value.empty()) return usageError(command, "--out needs a folder");
      options.folder = platform::withTrailingSeparator(value);
    } else if (given.is("name")) {
      name = value;
    } else if (given.is("bat") || given.is("sh")) {
      options.withBat = true;
      options.sh = options.sh || given.is("sh");
      options.bat = value;
    } else if (given.is("no-checksum")) {
      options.checksum = false;
    } else if (given.is("bat-delete")) {
      options.batDelete = true;
    } else if (given.is("zip")) {
      options.zip = true;
    } else if (given.is("deflate")) {
      options.zip = true;
      deflate = true;
    } else if (given.is("delete-input")) {
      options.removeInput = true;
    } else if (given.is("recovery")) {
      const bool percent = !value.empty() && value.back() == '%';
      std::int64_t amount = 0;
      if (!parseWholeNumber(percent ? value.substr(0, value.size() - 1) : value, amount) ||
          amount < 1 || amount > (percent ? 100 : 32768)) {
        return usageError(command, "invalid recovery amount '" + value +
                                       "': give a number of parts (1 to 32768) or a percentage");
      }
      options.recoveryAmount = {};
      (percent ? options.recoveryAmount.percent : options.recoveryAmount.parts) =
          static_cast<int>(amount);
    }
  }
  if (parsed->operands.empty()) return usageError(command, "no file given");
  if (parsed->operands.size() > 1) return usageError(command, "more than one file given");
  request.path = parsed->operands.front();
  if (!haveValue) return usageError(command, "give --parts N or --size SIZE");
  if (options.batDelete && !options.withBat) return usageError(command, "--bat-delete needs --bat NAME");
  if (options.zip && !options.recoveryAmount.none())
    return usageError(command, std::string("--recovery covers the parts, which ") +
                                   (deflate ? "--deflate" : "--zip") +
                                   " deletes: give one of them");
  if (options.withBat && !engine::scriptNameProblem(options.bat).empty()) {
    return usageError(command, engine::scriptNameProblem(options.bat));
  }
  const bool fromInput = request.path == "-";
  // A file's split takes the size as a count of units; a stream's, as bytes.
  if (!fromInput && options.splitMode == engine::SplitMode::BySize &&
      !partSizeInUnits(partBytes, request.value, options.unit)) {
    return usageError(command, "a part size above 2 GiB must be a whole number of KiB");
  }
  if (fromInput) {
    if (options.splitMode != engine::SplitMode::BySize)
      return usageError(command, "standard input is split by --size only: its length is unknown");
    if (options.withBat || options.zip || options.removeInput || !options.recoveryAmount.none())
      return usageError(
          command, "--bat, --sh, --zip, --deflate, --delete-input and --recovery need a FILE, not '-'");
    if (name.empty() || name == "." || name == ".." ||
        std::any_of(name.begin(), name.end(), platform::isPathSeparator)) {
      return usageError(command, "standard input needs --name NAME, a file name without a folder");
    }
  } else if (!name.empty()) {
    return usageError(command, "--name names the parts of standard input; a FILE's parts take "
                               "its name (or the --bat NAME)");
  }
  if (options.folder.empty()) options.folder = platform::folderPart(request.path);
  if (!options.folder.empty() && !platform::folderExists(options.folder)) {
    return failure("the output folder " + options.folder + " does not exist");
  }
  if (fromInput) return splitStandardInput(name, options.folder, partBytes, options.checksum);
  request.caption = platform::namePart(request.path);

  std::unique_ptr<engine::PartArchiver> archiver;
#ifdef SUNDRIX_HAVE_ARCHIVER
  archiver = std::make_unique<engine::ZipPartArchiver>(deflate ? zip::ZipMethod::Deflate
                                                               : zip::ZipMethod::Shrink);
#else
  (void)deflate;
#endif
  ProgressLine progress;
  engine::StopToken& stop = stopOnInterrupt();
  const engine::JobResult result =
      engine::SplitFile(request, options, progress, stop, archiver.get());
  progress.finish();
  return reportResult(result);
}
