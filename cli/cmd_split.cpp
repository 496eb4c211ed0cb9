// sundrix-cli split: not built yet in this version.
#include "cli/cli.h"

int cli::runSplit(const Args&) { return usageError("'split' is not available in this build yet"); }
