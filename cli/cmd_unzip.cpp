// sundrix-cli unzip: not built yet in this version.
#include "cli/cli.h"

int cli::runUnzip(const Args&) { return usageError("'unzip' is not available in this build yet"); }
