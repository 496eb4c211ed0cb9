// sundrix-cli list: not built yet in this version.
#include "cli/cli.h"

int cli::runList(const Args&) { return usageError("'list' is not available in this build yet"); }
