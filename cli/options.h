// The one table of sundrix-cli's commands and options: names, arguments and help texts.
// --help is printed from it and every command's arguments are read with it; a test holds
// the manual page and the bash completion to it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"

namespace cli {

struct Option {
  const char* name;      // given as --name or --name=VALUE
  char letter;           // given as -l (-lVALUE, -l VALUE); 0 for none
  const char* argument;  // the value's placeholder ("SIZE"); nullptr for a switch
  const char* help;      // lines after the first begin with "\n"
};

struct Command {
  const char* name;         // "split"
  const char* operands;     // "FILE"
  const char* summary;      // one line, for the list of commands
  const char* description;  // before the options
  std::vector<Option> options;
  const char* notes;  // after the options, or ""
};

// Every command, in the order the usage lists them; each ends with --quiet and --help.
const std::vector<Command>& commands();
// nullptr for a name that is no command.
const Command* findCommand(std::string_view name);

// One option as given: the table's entry and its value ("" for a switch).
struct GivenOption {
  const Option* option;
  std::string value;
  bool is(std::string_view name) const { return name == option->name; }
};

struct ParsedArguments {
  std::vector<GivenOption> options;  // in the order given
  std::vector<std::string> operands;
  bool help = false;
};

// Reads a command's arguments the way GNU tools do: options before, between or after the
// operands; --name VALUE and --name=VALUE; -l VALUE and -lVALUE; switches grouped (-qh);
// "-" is an operand; "--" ends the options. --help and --quiet are taken here. False with
// `problem` set on a usage error.
bool parseArguments(const Command& command, const Args& args, ParsedArguments& parsed,
                    std::string& problem);

// The arguments of `command`, read; nothing when the command is done with them: its help
// printed (`status` 0) or a usage error reported (`status` 2).
std::optional<ParsedArguments> readArguments(const Command& command, const Args& args, int& status);

// The one operand of a command that takes one (`what`: "first part", "archive"); "" with
// a usage error reported (`status` 2) when there is none or more than one.
std::string singleOperand(const Command& command, const ParsedArguments& parsed,
                          const char* what, int& status);

// "sundrix-cli split --help" and "sundrix-cli --help".
std::string helpText(const Command& command);
std::string usageText();

// Prints "sundrix-cli: <message>" and "Try 'sundrix-cli <command> --help'." to stderr and
// returns kExitUsage.
int usageError(const Command& command, const std::string& message);

}  // namespace cli
