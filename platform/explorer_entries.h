// The two context-menu entries for every file ("split" and "join"): written into the
// key store while the context-menu setting is on, removed while it is off.
#pragma once

#include <string>
#include <string_view>

#include "platform/file.h"
#include "platform/registry.h"

namespace platform {

struct ExplorerCommands {
  std::string split;  // "<exe>" "-s" "%1"
  std::string join;   // "<exe>" "-j" "%1"
};

// The command values for the program at `executable`: a quotation mark, the path, then
// the 11-character tail " "-s" "%1" (or -j), so that the program gets exactly two
// arguments, the switch and the clicked file's path.
ExplorerCommands explorerCommands(std::string_view executable);

// With `contextMenu` set, writes in this order *\shell\split (caption), its command key,
// *\shell\join (caption) and its command key; the first failure ends the operation and
// is returned, keys written before it stay. Without it, removes *\shell\split and
// *\shell\join with everything below them where they exist; that never fails.
bool updateExplorerEntries(Registry& registry, bool contextMenu, std::string_view splitCaption,
                           std::string_view joinCaption, std::string_view executable, IoError& err);

}  // namespace platform
