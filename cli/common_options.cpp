// Options shared by the sub-commands.
#include "cli/common_options.h"

#ifndef SUNDRIX_VERSION
#define SUNDRIX_VERSION "unknown"
#endif

namespace cli {
namespace {

bool g_quiet = false;
int g_closedStreams = 0;

}  // namespace

const char* versionLine() {
  return "sundrix-cli " SUNDRIX_VERSION;
}

bool quiet() {
  return g_quiet;
}

void setQuiet() {
  g_quiet = true;
}

void setClosedStreams(int bits) {
  g_closedStreams = bits;
}

bool streamClosed(StandardStream stream) {
  return (g_closedStreams & stream) != 0;
}

}  // namespace cli
