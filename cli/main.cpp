// sundrix-cli: split, join, zip, unzip and list from the command line.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/cli.h"
#include "cli/common_options.h"
#include "platform/interrupt.h"

namespace {

const char kUsage[] =
    "Usage: sundrix-cli COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  split FILE (--parts N | --size N[B|K|M|G]) [--out DIR] [--delete-input]\n"
    "        [--bat NAME [--bat-delete]] [--sh NAME] [--zip] [--no-checksum]\n"
    "                          cut FILE into numbered parts FILE.001, FILE.002, ...\n"
    "  join FIRST_PART [--out PATH] [--delete-parts] [--append | --append-at BYTES]\n"
    "                          append the parts that follow FIRST_PART into one file\n"
    "  zip ARCHIVE FILE... [--overwrite] [--source DIR]\n"
    "                          pack files into a new archive (Shrink method)\n"
    "  unzip ARCHIVE [--dir DIR] [MASK...]\n"
    "                          extract members (stored, shrunk, reduced, imploded)\n"
    "  list ARCHIVE            one line per member: name, sizes, ratio, date, time\n"
    "  verify FIRST_PART       check the parts (and the joined file) against the\n"
    "                          checksum file the split wrote, without joining\n"
    "\n"
    "Every command also takes --quiet (-q): no progress line on the terminal.\n"
    "Run 'sundrix-cli COMMAND --help' for the options of one command,\n"
    "'sundrix-cli --version' for the version.\n"
    "Exit status: 0 success, 1 failure, 2 bad usage.\n";

}  // namespace

engine::StopToken& cli::stopOnInterrupt() {
  static engine::StopToken stop;
  platform::onInterrupt([] { stop.requestStop(); });
  return stop;
}

bool cli::parseWholeNumber(const std::string& text, std::int64_t& value) {
  if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  value = std::strtoll(text.c_str(), nullptr, 10);
  return true;
}

int cli::usageError(const std::string& message) {
  std::fprintf(stderr, "sundrix-cli: %s\nTry 'sundrix-cli --help'.\n", message.c_str());
  return kExitUsage;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return cli::kExitUsage;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return cli::kExitOk;
  }
  if (command == "--version" || command == "-V") {
    std::puts(cli::versionLine());
    return cli::kExitOk;
  }
  const cli::Args args = cli::takeCommonOptions(cli::Args(argv + 2, argv + argc));
  if (command == "split") return cli::runSplit(args);
  if (command == "join") return cli::runJoin(args);
  if (command == "zip") return cli::runZip(args);
  if (command == "unzip") return cli::runUnzip(args);
  if (command == "list") return cli::runList(args);
  if (command == "verify") return cli::runVerify(args);
  return cli::usageError("unknown command '" + command + "'");
}
