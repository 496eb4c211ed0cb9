// sundrix-cli zip: not built yet in this version.
#include "cli/cli.h"

int cli::runZip(const Args&) { return usageError("'zip' is not available in this build yet"); }
