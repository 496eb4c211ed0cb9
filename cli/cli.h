// Shared pieces of the command-line tool: the sub-commands and their exit codes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/job.h"

namespace cli {

enum ExitCode { kExitOk = 0, kExitFailure = 1, kExitUsage = 2, kExitSignal = 128 };

using Args = std::vector<std::string>;

int runSplit(const Args& args);
int runJoin(const Args& args);
int runZip(const Args& args);
int runUnzip(const Args& args);
int runList(const Args& args);
int runVerify(const Args& args);
int runRepair(const Args& args);

// The stop request of this run, set by Ctrl-C or a polite kill, so that a job ends
// between chunks and reports what it leaves behind.
engine::StopToken& stopOnInterrupt();

// Digits only, at most 12 of them ("0" included); false for anything else.
bool parseWholeNumber(const std::string& text, std::int64_t& value);

// The exit status of a job that stopped: 128 + the signal that asked it to (130 after
// Ctrl-C, 143 after SIGTERM), as a shell reports a program the signal ended; 1 otherwise.
int stoppedStatus();

// Prints "sundrix-cli: <message>" to stderr; returns kExitFailure.
int failure(const std::string& message);

}  // namespace cli
