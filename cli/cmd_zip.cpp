// sundrix-cli zip: packs files into a new archive with TZip.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "zip/tzip.h"

namespace {

const char kZipHelp[] =
    "Usage: sundrix-cli zip ARCHIVE FILE... [--overwrite] [--source DIR]\n"
    "\n"
    "Packs the files into the new archive ARCHIVE, each member shrunk or stored.\n"
    "FILE may be a pattern with * and ?; members are stored under their bare names,\n"
    "sorted, one per name.\n"
    "\n"
    "  --overwrite   replace ARCHIVE when it exists; the old one stays until the new\n"
    "                one is complete, and a link at its name is replaced, not followed\n"
    "  --source DIR  patterns without a folder are searched in DIR and its subfolders;\n"
    "                with no FILE, every file below DIR is packed\n"
    "\n"
    "Exit status: 0 success, 1 a problem was reported or the archive failed, 2 bad usage.\n";

}  // namespace

int cli::runZip(const Args& args) {
  zip::TZip zip;
  std::vector<std::string> operands;
  ArgumentKinds kindOf;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const ArgumentKinds::Kind kind = kindOf(a);
    if (kind == ArgumentKinds::EndOfOptions) continue;
    if (kind == ArgumentKinds::Name) {
      operands.push_back(a);
      continue;
    }
    if (a == "--help" || a == "-h") {
      std::fputs(kZipHelp, stdout);
      return kExitOk;
    }
    if (a == "--overwrite") {
      zip.Overwrite = true;
    } else if (a == "--source") {
      if (i + 1 >= args.size()) return usageError("zip: --source needs a folder");
      zip.SourcePath = args[++i];
    } else if (a.size() > 1 && a.starts_with("--")) {
      return usageError("zip: unknown option '" + a + "'");
    } else {
      operands.push_back(a);
    }
  }
  if (operands.empty()) return usageError("zip: the archive name is missing");
  zip.SetFName(operands.front());
  zip.Files.assign(operands.begin() + 1, operands.end());
  bool reported = false;
  zip.OnError = [&reported](zip::ZipComponent&, const std::string& message) {
    std::fprintf(stderr, "sundrix-cli: %s\n", message.c_str());
    reported = true;
  };
  const bool ok = zip.Execute();
  if (!ok && !zip.lastFailureReported()) {
    std::fprintf(stderr, "sundrix-cli: %s\n", zip.lastFailure().c_str());
  }
  return ok && !reported ? kExitOk : kExitFailure;
}
