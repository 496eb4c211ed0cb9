// Shared pieces of the command-line tool: the sub-commands and their exit codes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/job.h"

namespace cli {

enum ExitCode { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

using Args = std::vector<std::string>;

int runSplit(const Args& args);
int runJoin(const Args& args);
int runZip(const Args& args);
int runUnzip(const Args& args);
int runList(const Args& args);
int runVerify(const Args& args);

// Tells options from names in a command's arguments: after "--" everything is a name,
// so that a file called "-x" can be given as it is.
class ArgumentKinds {
 public:
  enum Kind { Option, Name, EndOfOptions };
  Kind operator()(const std::string& arg) {
    if (m_ended || arg.empty() || arg[0] != '-') return Name;
    if (arg != "--") return Option;
    m_ended = true;
    return EndOfOptions;
  }

 private:
  bool m_ended = false;
};

// The stop request of this run, set by Ctrl-C or a polite kill, so that a job ends
// between chunks and reports what it leaves behind.
engine::StopToken& stopOnInterrupt();

// Digits only, at most 12 of them ("0" included); false for anything else.
bool parseWholeNumber(const std::string& text, std::int64_t& value);

// Prints "sundrix-cli: <message>" to stderr and returns kExitUsage.
int usageError(const std::string& message);

}  // namespace cli
