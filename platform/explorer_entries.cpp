// Writing and removing the context-menu keys for every file.
#include "platform/explorer_entries.h"

namespace platform {
namespace {

constexpr std::string_view kSplitKey = "*\\shell\\split";
constexpr std::string_view kJoinKey = "*\\shell\\join";

bool writeKey(Registry& registry, const std::string& key, std::string_view value, IoError& err) {
  const bool ok = registry.openKey(key, err) && registry.writeDefaultString(value, err);
  registry.closeKey();
  return ok;
}

}  // namespace

ExplorerCommands explorerCommands(std::string_view executable) {
  const std::string exe = "\"" + std::string(executable);
  return {exe + "\" \"-s\" \"%1\"", exe + "\" \"-j\" \"%1\""};
}

bool updateExplorerEntries(Registry& registry, bool contextMenu, std::string_view splitCaption,
                           std::string_view joinCaption, std::string_view executable,
                           IoError& err) {
  registry.setRoot(RegistryRoot::ClassesRoot);
  if (contextMenu) {
    const ExplorerCommands commands = explorerCommands(executable);
    const std::string split(kSplitKey);
    const std::string join(kJoinKey);
    return writeKey(registry, split, splitCaption, err) &&
           writeKey(registry, split + "\\command", commands.split, err) &&
           writeKey(registry, join, joinCaption, err) &&
           writeKey(registry, join + "\\command", commands.join, err);
  }
  // Removal reports nothing: a key that is absent or cannot be deleted is left as it is.
  for (std::string_view key : {kSplitKey, kJoinKey}) {
    IoError ignored;
    if (registry.keyExists(key)) registry.deleteKey(key, ignored);
  }
  return true;
}

}  // namespace platform
