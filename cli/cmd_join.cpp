// sundrix-cli join: not built yet in this version.
#include "cli/cli.h"

int cli::runJoin(const Args&) { return usageError("'join' is not available in this build yet"); }
