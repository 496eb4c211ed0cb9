// Options shared by the sub-commands.
#include "cli/common_options.h"

#include <algorithm>

#ifndef SUNDRIX_VERSION
#define SUNDRIX_VERSION "unknown"
#endif

namespace cli {
namespace {

bool g_quiet = false;

}  // namespace

const char* versionLine() {
  return "sundrix-cli " SUNDRIX_VERSION;
}

bool quiet() {
  return g_quiet;
}

Args takeCommonOptions(Args args) {
  const auto optionsEnd = std::find(args.begin(), args.end(), "--");
  const auto rest = std::remove_if(args.begin(), optionsEnd, [](const std::string& a) {
    const bool isQuiet = a == "--quiet" || a == "-q";
    g_quiet = g_quiet || isQuiet;
    return isQuiet;
  });
  args.erase(rest, optionsEnd);
  return args;
}

}  // namespace cli
