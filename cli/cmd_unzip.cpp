// sundrix-cli unzip: extracts the members that match the masks into a folder.
#include <cstdio>

#include "cli/cli.h"
#include "platform/file.h"
#include "platform/path.h"
#include "zip/tunzip.h"

namespace {

const char kHelp[] =
    "Usage: sundrix-cli unzip ARCHIVE [--dir DIR] [MASK...]\n"
    "\n"
    "Extracts the members of ARCHIVE (stored, shrunk, reduced or imploded) into DIR\n"
    "(default: the current folder), which is created when missing. Existing files are\n"
    "replaced once their member was read to the end and found whole (a file that may\n"
    "not be written is refused); a link there is replaced, never followed, and a member\n"
    "whose folder part is a link is refused. Encrypted members are refused; members\n"
    "whose sizes follow their data take them from the central directory. A MASK (\"*\" any\n"
    "run, \"?\" any one character, letter case ignored) selects members by name and\n"
    "extension; the default \"*.*\" selects every member stored without a folder.\n"
    "Names that would lead outside DIR, and ARCHIVE itself as a target, are refused.\n"
    "Problems are printed on stderr; the exit status is then 1.\n";

}  // namespace

int cli::runUnzip(const Args& args) {
  std::string archive;
  std::string folder;
  std::vector<std::string> masks;
  ArgumentKinds kindOf;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const ArgumentKinds::Kind kind = kindOf(a);
    if (kind == ArgumentKinds::EndOfOptions) continue;
    if (kind == ArgumentKinds::Name) {
      (archive.empty() ? archive : masks.emplace_back()) = a;
      continue;
    }
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return kExitOk;
    } else if (a == "--dir") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        return usageError("unzip: --dir needs a folder");
      }
      folder = args[++i];
    } else {
      return usageError("unzip: unknown option '" + a + "'");
    }
  }
  if (archive.empty()) return usageError("unzip: no archive given");
  if (!platform::fileExists(archive)) {
    // The reader itself ends silently on a missing archive.
    std::fprintf(stderr, "sundrix-cli: the archive %s does not exist\n", archive.c_str());
    return kExitFailure;
  }
  zip::TUnZip unzip;
  bool problems = false;
  unzip.OnError = [&problems](zip::ZipComponent&, const std::string& message) {
    problems = true;
    std::fprintf(stderr, "%s\n", message.c_str());
  };
  try {
    unzip.UnCrunch(archive, folder.empty() ? platform::currentFolder() : folder, masks);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sundrix-cli: %s\n", e.what());
    return kExitFailure;
  }
  if (!folder.empty() && !platform::folderExists(folder)) {
    std::fprintf(stderr, "sundrix-cli: cannot create the folder %s\n", folder.c_str());
    return kExitFailure;
  }
  return problems ? kExitFailure : kExitOk;
}
