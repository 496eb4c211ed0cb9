// sundrix-cli: split, join, verify, repair, zip, unzip and list from the command line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/common_options.h"
#include "cli/options.h"
#include "platform/console.h"
#include "platform/interrupt.h"

engine::StopToken& cli::stopOnInterrupt() {
  static engine::StopToken stop;
  platform::onInterrupt([] { stop.requestStop(); });
  return stop;
}

int cli::stoppedStatus() {
  const int signal = platform::interruptSignal();
  return signal != 0 ? kExitSignal + signal : kExitFailure;
}

int cli::failure(const std::string& message) {
  std::fprintf(stderr, "sundrix-cli: %s\n", message.c_str());
  return kExitFailure;
}

bool cli::parseWholeNumber(const std::string& text, std::int64_t& value) {
  if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  value = std::strtoll(text.c_str(), nullptr, 10);
  return true;
}

int main(int argc, char** argv) {
  cli::setClosedStreams(platform::fillClosedStandardStreams());
  const std::vector<std::string> arguments = platform::commandLineArguments(argc, argv);
  if (arguments.size() < 2) {
    std::fputs(cli::usageText().c_str(), stderr);
    return cli::kExitUsage;
  }
  const std::string& name = arguments[1];
  if (name == "--help" || name == "-h" || name == "help") {
    std::fputs(cli::usageText().c_str(), stdout);
    return cli::kExitOk;
  }
  if (name == "--version" || name == "-V") {
    std::puts(cli::versionLine());
    return cli::kExitOk;
  }
  const cli::Args args(arguments.begin() + 2, arguments.end());
  if (name == "split") return cli::runSplit(args);
  if (name == "join") return cli::runJoin(args);
  if (name == "zip") return cli::runZip(args);
  if (name == "unzip") return cli::runUnzip(args);
  if (name == "list") return cli::runList(args);
  if (name == "verify") return cli::runVerify(args);
  if (name == "repair") return cli::runRepair(args);
  std::fprintf(stderr, "sundrix-cli: unknown command '%s'\nTry 'sundrix-cli --help'.\n",
               name.c_str());
  return cli::kExitUsage;
}
