// Options that every sub-command takes, and the version line.
#pragma once

#include "cli/cli.h"

namespace cli {

// "sundrix-cli <version>".
const char* versionLine();

// True once --quiet (or -q) was given: no progress line, only messages and errors.
bool quiet();

// Takes --quiet and -q out of a sub-command's arguments, up to a "--" that ends the
// options, and remembers them for quiet(); returns the rest in order.
Args takeCommonOptions(Args args);

}  // namespace cli
