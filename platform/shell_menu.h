// Context-menu entries for every file in the desktop's file managers, made from the
// `*\shell\<verb>` keys of the key store: a KDE service menu, a Nautilus script and a
// Nemo action per verb, all under the user's data folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace platform {

// One verb as the keys describe it. `command` has the registry's form
// ("exe" "-s" "%1"), where the argument %1 stands for the clicked file.
struct ShellVerb {
  std::string verb;     // key name under *\shell ("split")
  std::string caption;  // default value of the verb's key; may be empty
  std::string command;  // default value of its command key
};

// Makes the entries of the three file managers match `verbs` exactly: writes or
// rewrites the entries of the listed verbs and removes every entry an earlier export
// wrote for a verb no longer listed. Files not written by this exporter are never
// touched. Goes on after a failure and returns the first one.
bool exportShellMenus(const std::vector<ShellVerb>& verbs, const std::string& dataHome,
                      IoError& err);

// A command line split the way the process start-up splits it: blanks separate, a pair
// of double quotation marks groups blanks into one argument and is removed.
std::vector<std::string> splitCommandLine(std::string_view command);

// The label shown in the menus: the caption, or for an empty one a label made from the
// verb ("Split", "Join").
std::string menuLabel(const ShellVerb& verb);

// Folders (below the data folder) and file contents, exposed for tests.
inline constexpr const char* kKdeServiceMenuFolder = "kio/servicemenus";
inline constexpr const char* kNautilusScriptFolder = "nautilus/scripts";
inline constexpr const char* kNemoActionFolder = "nemo/actions";
std::string kdeServiceMenu(const ShellVerb& verb);
std::string nautilusScript(const ShellVerb& verb);
std::string nemoAction(const ShellVerb& verb);
// Quotes one argument for the Exec key of a desktop entry (quoting rules first, then
// the string escapes of the key file).
std::string desktopExecArgument(std::string_view argument);

}  // namespace platform
