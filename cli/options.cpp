// The command and option table, the argument reader built on it, and the help texts.
#include "cli/options.h"

#include <algorithm>
#include <cstdio>

#include "cli/common_options.h"

namespace cli {
namespace {

const Option kQuiet{"quiet", 'q', nullptr, "no progress line, also on a terminal"};
const Option kHelp{"help", 'h', nullptr, "print this help and exit"};

std::vector<Command> makeCommands() {
  std::vector<Command> list = {
      {"split", "FILE", "cut FILE into numbered parts FILE.001, FILE.002, ...",
       "Cuts FILE into numbered parts FILE.001, FILE.002, ... in the output folder\n"
       "(default: the folder of FILE). FILE '-' is standard input: give --size and\n"
       "--name.",
       {
           {"parts", 'n', "N", "N parts of equal size; the last one takes the remainder"},
           {"size", 'b', "SIZE",
            "parts of SIZE bytes (units below); a file that is an\n"
            "exact multiple of SIZE ends with an empty part"},
           {"out", 0, "DIR", "output folder (must exist)"},
           {"name", 0, "NAME", "with FILE '-': the parts are NAME.001, NAME.002, ..."},
           {"bat", 0, "NAME",
            "also write NAME.bat that joins the parts with\n"
            "'Copy /b'; the parts are then NAME.001, NAME.002,\n"
            "... (a plain name: no folder, no '/', '\\' or ':')"},
           {"bat-delete", 0, nullptr, "the script also deletes the parts and itself"},
           {"sh", 0, "NAME",
            "as --bat NAME, and also write NAME.sh, which checks\n"
            "the parts with sha256sum or shasum, joins them with\n"
            "cat and checks the result"},
           {"no-checksum", 0, nullptr,
            "do not write FILE.sha256 (NAME.sha256 with --bat or\n"
            "--sh), the SHA-256 of every part and of FILE (checked\n"
            "by 'sundrix-cli join' and 'verify', or by\n"
            "'sha256sum -c --ignore-missing')"},
           {"zip", 0, nullptr,
            "pack every part into its own archive PART.zip and\n"
            "delete the part (Shrink method)"},
           {"deflate", 0, nullptr,
            "as --zip, with the Deflate method, which every ZIP\n"
            "tool opens"},
           {"delete-input", 0, nullptr, "delete FILE once every part is safely written"},
           {"recovery", 0, "N",
            "also write recovery files NAME.par2 and\n"
            "NAME.volA+B.par2 (PAR 2.0) that rebuild any N lost or\n"
            "damaged parts; N% for N percent of the parts; not\n"
            "with --zip or --deflate, which delete the parts"},
       },
       "SIZE is a whole number of bytes, or one with a unit: K, M, G, T (or KiB, MiB,\n"
       "GiB, TiB) are powers of 1024, KB, MB, GB, TB powers of 1000; B is bytes.\n"
       "Standard input is cut by size only; --bat, --sh, --zip, --deflate and\n"
       "--delete-input need a FILE."},
      {"join", "FIRST_PART", "join FIRST_PART and the parts after it into one file",
       "Appends FIRST_PART's series (NAME.001, NAME.002, ...) in number order into one\n"
       "file.",
       {
           {"out", 'o', "PATH",
            "the joined file, or a folder for it (default: NAME\n"
            "beside the parts); '-' writes it to standard output"},
           {"delete-parts", 0, nullptr,
            "delete each part once its bytes are safely in the\n"
            "joined file"},
           {"overwrite", 0, nullptr,
            "replace a file that exists at the joined file's\n"
            "name"},
           {"append", 0, nullptr,
            "finish an earlier join: append FIRST_PART and the\n"
            "parts after it to the existing joined file"},
           {"append-at", 0, "BYTES",
            "the same, after cutting the joined file back to\n"
            "BYTES bytes"},
       },
       "Parts are kept unless --delete-parts is given. A part missing before the last\n"
       "one stops the join before anything is written. The file is written under a\n"
       "temporary name and takes its own name when complete; a join that ended early\n"
       "is continued by running the same command again. With --out - every message\n"
       "goes to standard error. FIRST_PART may be the archive of a packed part\n"
       "(NAME.001.zip): every part is then read from its archive as it is joined,\n"
       "never unpacked to the disk, and the archives are kept. Parts missing or\n"
       "damaged are first rebuilt from recovery files beside them, when there are any."},
      {"verify", "FIRST_PART", "check the parts against their checksum file",
       "Checks every part that the series' checksum file (NAME.sha256, written by the\n"
       "split) lists, and the joined file when it is there; or the parts and the joined\n"
       "file against another splitter's NAME.crc. One line per file: ok, MISMATCH,\n"
       "missing or extra. For the archive of a packed part (NAME.001.zip), each archive\n"
       "is checked, and the part in it, unpacked in memory as it is read; a MISMATCH\n"
       "line then says why. With recovery files beside the parts (NAME.par2,\n"
       "NAME.vol*.par2) it also says which parts are damaged and whether they can be\n"
       "rebuilt.",
       {},
       "Exit status 0 only when every listed part is right."},
      {"repair", "FIRST_PART", "rebuild lost or damaged parts from their recovery files",
       "Rebuilds the parts of FIRST_PART's series that are missing or damaged from the\n"
       "recovery files beside them (NAME.par2, NAME.vol*.par2, written by 'split\n"
       "--recovery' or any PAR 2.0 tool), without joining. A rebuilt part is checked\n"
       "before it takes its name; a damaged part is kept as PART.damaged, and a part\n"
       "the checksum list vouches for is never touched. Archives of parts are not\n"
       "repaired, nor anything while a join of the series is under way: finish it.",
       {},
       "Exit status 0 when every part is right afterwards; 1 when too much is lost\n"
       "(nothing is then changed)."},
      {"zip", "ARCHIVE FILE...", "pack files into a new archive (Shrink or Deflate)",
       "Packs the files into the new archive ARCHIVE, each member shrunk (or deflated)\n"
       "or stored.\n"
       "FILE may be a pattern with * and ?; members are stored under their bare names,\n"
       "sorted, one per name.",
       {
           {"deflate", 0, nullptr, "deflate the members instead of shrinking them"},
           {"overwrite", 0, nullptr,
            "replace ARCHIVE when it exists; the old one stays\n"
            "until the new one is complete, and a link at its name\n"
            "is replaced, not followed"},
           {"source", 0, "DIR",
            "patterns without a folder are searched in DIR and\n"
            "its subfolders; with no FILE, every file below DIR\n"
            "is packed"},
       },
       ""},
      {"unzip", "ARCHIVE [MASK...]", "extract members (stored, shrunk, deflated, ...)",
       "Extracts the members of ARCHIVE (stored, shrunk, reduced, imploded or deflated)\n"
       "into DIR (default: the current folder), which is created when missing. Existing\n"
       "files are replaced once their member was read to the end and found whole (a file\n"
       "that may not be written is refused); a link there is replaced, never followed,\n"
       "and a member whose folder part is a link is refused. Encrypted members are\n"
       "refused; members whose sizes follow their data take them from the central\n"
       "directory. A MASK (\"*\" any run, \"?\" any one character, letter case ignored)\n"
       "selects members by name and extension; the default \"*.*\" selects every member\n"
       "stored without a folder. Names that would lead outside DIR, and ARCHIVE itself\n"
       "as a target, are refused.",
       {
           {"dir", 'd', "DIR", "extract into DIR"},
       },
       "Problems are printed on stderr; the exit status is then 1."},
      {"list", "ARCHIVE", "one line per member: name, sizes, ratio, date, time",
       "Prints one line per member, walking the local headers front to back:\n"
       "  NAME<TAB>SIZE<TAB>PACKED<TAB>RATIO%<TAB>DATE<TAB>TIME\n"
       "DATE is day, month, year and TIME hours, minutes, seconds, separated as the\n"
       "LC_TIME locale separates them (\"/\" and \":\" in the C locale).",
       {},
       "An archive that ends before its central directory is listed as far as it goes;\n"
       "the reason is printed on stderr and the exit status is 1."},
  };
  for (Command& command : list) {
    command.options.push_back(kQuiet);
    command.options.push_back(kHelp);
  }
  return list;
}

const Option* longOption(const Command& command, std::string_view name) {
  for (const Option& option : command.options) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

const Option* shortOption(const Command& command, char letter) {
  for (const Option& option : command.options) {
    if (option.letter != 0 && option.letter == letter) return &option;
  }
  return nullptr;
}

bool take(const Option* option, ParsedArguments& parsed, std::string value) {
  const std::string_view name = option->name;
  if (name == kHelp.name) parsed.help = true;
  if (name == kQuiet.name) setQuiet();
  parsed.options.push_back({option, std::move(value)});
  return true;
}

bool parseLong(const Command& command, const Args& args, std::size_t& i, ParsedArguments& parsed,
               std::string& problem) {
  const std::string& arg = args[i];
  const std::size_t equals = arg.find('=');
  const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
  const Option* option = longOption(command, name);
  if (option == nullptr) {
    problem = "unknown option '--" + name + "'";
    return false;
  }
  if (option->argument == nullptr) {
    if (equals != std::string::npos) {
      problem = "option '--" + name + "' takes no value";
      return false;
    }
    return take(option, parsed, "");
  }
  if (equals != std::string::npos) return take(option, parsed, arg.substr(equals + 1));
  if (i + 1 >= args.size()) {
    problem = "option '--" + name + "' needs " + option->argument;
    return false;
  }
  return take(option, parsed, args[++i]);
}

bool parseShort(const Command& command, const Args& args, std::size_t& i, ParsedArguments& parsed,
                std::string& problem) {
  const std::string& arg = args[i];
  for (std::size_t k = 1; k < arg.size(); ++k) {
    const Option* option = shortOption(command, arg[k]);
    if (option == nullptr) {
      problem = std::string("unknown option '-") + arg[k] + "'";
      return false;
    }
    if (option->argument == nullptr) {
      take(option, parsed, "");
      continue;
    }
    if (k + 1 < arg.size()) return take(option, parsed, arg.substr(k + 1));
    if (i + 1 >= args.size()) {
      problem = std::string("option '-") + arg[k] + "' needs " + option->argument;
      return false;
    }
    return take(option, parsed, args[++i]);
  }
  return true;
}

void appendOptionLines(const Command& command, std::string& text) {
  for (const Option& option : command.options) {
    std::string spelled = option.letter != 0 ? std::string("  -") + option.letter + ", " : "      ";
    spelled += std::string("--") + option.name;
    if (option.argument != nullptr) spelled += std::string("=") + option.argument;
    constexpr std::size_t kColumn = 24;
    spelled.resize(std::max(spelled.size() + 1, kColumn), ' ');
    std::string help = option.help;
    for (std::size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1)) {
      help.insert(at + 1, kColumn, ' ');
    }
    text += spelled + help + "\n";
  }
}

}  // namespace

const std::vector<Command>& commands() {
  static const std::vector<Command> list = makeCommands();
  return list;
}

const Command* findCommand(std::string_view name) {
  for (const Command& command : commands()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

bool parseArguments(const Command& command, const Args& args, ParsedArguments& parsed,
                    std::string& problem) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      parsed.operands.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg[1] == '-' ? !parseLong(command, args, i, parsed, problem)
                             : !parseShort(command, args, i, parsed, problem)) {
      return false;
    }
  }
  return true;
}

std::optional<ParsedArguments> readArguments(const Command& command, const Args& args, int& status) {
  ParsedArguments parsed;
  std::string problem;
  if (!parseArguments(command, args, parsed, problem)) {
    status = usageError(command, problem);
    return std::nullopt;
  }
  if (parsed.help) {
    std::fputs(helpText(command).c_str(), stdout);
    status = kExitOk;
    return std::nullopt;
  }
  return parsed;
}

std::string singleOperand(const Command& command, const ParsedArguments& parsed,
                          const char* what, int& status) {
  if (parsed.operands.size() == 1 && !parsed.operands.front().empty()) {
    return parsed.operands.front();
  }
  status = usageError(command, std::string(parsed.operands.empty() ? "no " : "more than one ") +
                                   what + " given");
  return "";
}

std::string helpText(const Command& command) {
  std::string text = std::string("Usage: sundrix-cli ") + command.name + " [OPTION]... " +
                     command.operands + "\n\n" + command.description + "\n\nOptions:\n";
  appendOptionLines(command, text);
  text += "      --                the arguments after it are operands, even when they\n"
          "                        begin with '-'\n";
  if (*command.notes != '\0') text += std::string("\n") + command.notes + "\n";
  return text;
}

std::string usageText() {
  std::string text =
      "Usage: sundrix-cli COMMAND [OPTION]... OPERAND...\n"
      "Splits a file into numbered parts and joins them back; packs, unpacks and lists\n"
      "ZIP archives.\n\nCommands:\n";
  for (const Command& command : commands()) {
    std::string line = std::string("  ") + command.name + " " + command.operands;
    line.resize(std::max(line.size() + 1, std::size_t{28}), ' ');
    text += line + command.summary + "\n";
  }
  text +=
      "\nRun 'sundrix-cli COMMAND --help' for the options of one command,\n"
      "'sundrix-cli --version' for the version.\n"
      "Exit status: 0 success, 1 failure, 2 bad usage, 130 after Ctrl-C (SIGINT),\n"
      "143 after SIGTERM.\n";
  return text;
}

int usageError(const Command& command, const std::string& message) {
  std::fprintf(stderr, "sundrix-cli: %s\nTry 'sundrix-cli %s --help'.\n", message.c_str(),
               command.name);
  return kExitUsage;
}

}  // namespace cli
