// Shared pieces of the command-line tool: the sub-commands and their exit codes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

enum ExitCode { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

using Args = std::vector<std::string>;

int runSplit(const Args& args);
int runJoin(const Args& args);
int runZip(const Args& args);
int runUnzip(const Args& args);
int runList(const Args& args);
int runVerify(const Args& args);

// Digits only, at most 12 of them ("0" included); false for anything else.
bool parseWholeNumber(const std::string& text, std::int64_t& value);

// Prints "sundrix-cli: <message>" to stderr and returns kExitUsage.
int usageError(const std::string& message);

}  // namespace cli
