// Options that every sub-command takes, and the version line.
#pragma once

#include "cli/cli.h"

namespace cli {

// "sundrix-cli <version>".
const char* versionLine();

// True once --quiet (or -q) was given: no progress line, only messages and errors.
bool quiet();
void setQuiet();

// The standard streams the program was started without (bits as
// platform::fillClosedStandardStreams gives them): "-" cannot name those.
enum StandardStream { kInput = 1, kOutput = 2 };
void setClosedStreams(int bits);
bool streamClosed(StandardStream stream);

}  // namespace cli
