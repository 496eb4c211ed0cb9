// sundrix-cli split: the same parts, archives and script as the window's Split tab.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "cli/cli.h"
#include "cli/progress_line.h"
#include "engine/planned_names.h"
#include "engine/split.h"
#include "platform/file.h"
#include "platform/path.h"
#if __has_include("engine/zip_part_archiver.h")
#include "engine/zip_part_archiver.h"
#define SUNDRIX_HAVE_ARCHIVER 1
#endif

namespace {

const char kHelp[] =
    "Usage: sundrix-cli split FILE (--parts N | --size N[B|K|M|G]) [--out DIR]\n"
    "                         [--delete-input] [--bat NAME [--bat-delete]] [--sh NAME]\n"
    "                         [--zip] [--no-checksum] [--]\n"
    "\n"
    "Cuts FILE into numbered parts FILE.001, FILE.002, ... in the output folder\n"
    "(default: the folder of FILE).\n"
    "  --parts N        N parts of equal size; the last one takes the remainder\n"
    "  --size N[unit]   parts of N bytes (B), KiB (K, default), MiB (M) or GiB (G);\n"
    "                   a file that is an exact multiple ends with an empty part\n"
    "  --out DIR        output folder (must exist)\n"
    "  --bat NAME       also write NAME.bat that joins the parts with 'Copy /b';\n"
    "                   the parts are then named NAME.001, NAME.002, ... (a plain name:\n"
    "                   no folder, no '/', '\\' or ':')\n"
    "  --bat-delete     the script also deletes the parts and itself\n"
    "  --sh NAME        as --bat NAME, and also write NAME.sh, which checks the parts with\n"
    "                   sha256sum or shasum, joins them with cat and checks the result\n"
    "  --no-checksum    do not write FILE.sha256 (NAME.sha256 with --bat or --sh), the\n"
    "                   SHA-256 of every part and of FILE\n"
    "                   (checked by 'sundrix-cli join' and 'verify', or by\n"
    "                   'sha256sum -c --ignore-missing FILE.sha256')\n"
    "  --zip            pack every part into its own archive PART.zip, delete the part\n"
    "  --delete-input   delete FILE once every part is safely written\n"
    "  --               the arguments after it are names, even when they begin with '-'\n";

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
};

// "123", "4K", "2G" ... into value and unit index; false for anything else.
bool parseSize(const std::string& text, std::int64_t& value, int& unit) {
  if (text.empty()) return false;
  std::string digits = text;
  unit = 1;
  const char last = text.back();
  const std::string units = "BKMG";
  const std::size_t u = units.find(static_cast<char>(last & ~0x20));
  if (u != std::string::npos && (last < '0' || last > '9')) {
    unit = static_cast<int>(u);
    digits.pop_back();
  }
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  if (digits.size() > 12) return false;
  value = std::strtoll(digits.c_str(), nullptr, 10);
  return true;
}

}  // namespace

int cli::runSplit(const Args& args) {
  CliSplitOptions options;
  engine::SplitRequest request;
  bool haveValue = false;
  ArgumentKinds kindOf;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasNext = i + 1 < args.size();
    const ArgumentKinds::Kind kind = kindOf(a);
    if (kind == ArgumentKinds::EndOfOptions) continue;
    if (kind == ArgumentKinds::Name) {
      if (!request.path.empty()) return usageError("split: more than one file given");
      request.path = a;
    } else if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return kExitOk;
    } else if (a == "--parts" && hasNext) {
      if (haveValue) return usageError("give either --parts or --size, once");
      if (!parseWholeNumber(args[++i], request.value))
        return usageError("--parts needs a whole number");
      options.splitMode = engine::SplitMode::ByNumber;
      haveValue = true;
    } else if (a == "--size" && hasNext) {
      if (haveValue) return usageError("give either --parts or --size, once");
      if (!parseSize(args[++i], request.value, options.unit))
        return usageError("--size needs a whole number with an optional unit B, K, M or G");
      options.splitMode = engine::SplitMode::BySize;
      haveValue = true;
    } else if (a == "--out" && hasNext) {
      options.folder = platform::withTrailingSeparator(args[++i]);
    } else if (a == "--bat" && hasNext) {
      options.withBat = true;
      options.bat = args[++i];
    } else if (a == "--sh" && hasNext) {
      options.withBat = true;
      options.sh = true;
      options.bat = args[++i];
    } else if (a == "--no-checksum") {
      options.checksum = false;
    } else if (a == "--bat-delete") {
      options.batDelete = true;
    } else if (a == "--zip") {
      options.zip = true;
    } else if (a == "--delete-input") {
      options.removeInput = true;
    } else {
      return usageError("split: unknown or incomplete option '" + a + "'");
    }
  }
  if (request.path.empty()) return usageError("split: no file given");
  if (!haveValue) return usageError("split: give --parts N or --size N");
  if (options.batDelete && !options.withBat) return usageError("--bat-delete needs --bat NAME");
  if (options.withBat && !engine::scriptNameProblem(options.bat).empty()) {
    return usageError(engine::scriptNameProblem(options.bat));
  }
  if (options.folder.empty()) options.folder = platform::folderPart(request.path);
  if (!options.folder.empty() && !platform::folderExists(options.folder)) {
    std::fprintf(stderr, "sundrix-cli: the output folder %s does not exist\n",
                 options.folder.c_str());
    return kExitFailure;
  }
  request.caption = platform::namePart(request.path);

  std::unique_ptr<engine::PartArchiver> archiver;
#ifdef SUNDRIX_HAVE_ARCHIVER
  archiver = std::make_unique<engine::ZipPartArchiver>();
#endif
  ProgressLine progress;
  engine::StopToken& stop = stopOnInterrupt();
  const engine::JobResult result =
      engine::SplitFile(request, options, progress, stop, archiver.get());
  progress.finish();
  return reportResult(result);
}
