// sundrix-cli list: one line per archive member, exactly as the reader's listing gives it.
#include <clocale>
#include <cstdio>

#include "cli/cli.h"
#include "platform/file.h"
#include "zip/tunzip.h"

namespace {

const char kHelp[] =
    "Usage: sundrix-cli list ARCHIVE\n"
    "\n"
    "Prints one line per member, walking the local headers front to back:\n"
    "  NAME<TAB>SIZE<TAB>PACKED<TAB>RATIO%<TAB>DATE<TAB>TIME\n"
    "DATE is day, month, year and TIME hours, minutes, seconds, separated as the\n"
    "LC_TIME locale separates them (\"/\" and \":\" in the C locale).\n"
    "An archive that ends before its central directory is listed as far as it goes;\n"
    "the reason is printed on stderr and the exit status is 1.\n";

}  // namespace

int cli::runList(const Args& args) {
  std::string archive;
  ArgumentKinds kindOf;
  for (const std::string& a : args) {
    const ArgumentKinds::Kind kind = kindOf(a);
    if (kind == ArgumentKinds::EndOfOptions) continue;
    if (kind == ArgumentKinds::Option && (a == "--help" || a == "-h")) {
      std::fputs(kHelp, stdout);
      return kExitOk;
    }
    if (kind == ArgumentKinds::Option) return usageError("list: unknown option '" + a + "'");
    if (!archive.empty()) return usageError("list: more than one archive given");
    archive = a;
  }
  if (archive.empty()) return usageError("list: no archive given");
  std::setlocale(LC_TIME, "");
  zip::TUnZip unzip;
  std::vector<std::string> lines;
  try {
    unzip.GetZipList(archive, lines);
  } catch (const zip::UnZipError& e) {
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    std::fprintf(stderr, "sundrix-cli: %s\n", e.what());
    return kExitFailure;
  }
  for (const std::string& line : lines) std::printf("%s\n", line.c_str());
  if (!unzip.listingProblem().empty()) {
    std::fprintf(stderr, "sundrix-cli: %s\n", unzip.listingProblem().c_str());
    return kExitFailure;
  }
  return kExitOk;
}
