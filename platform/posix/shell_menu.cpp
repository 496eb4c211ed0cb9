// Context-menu entries of KDE Dolphin, GNOME Nautilus and Cinnamon Nemo, generated from
// the verbs of the key store. Each generated file carries an "X-Sundrix-Verb=" line, by
// which a later export recognises its own files (and only those) for rewriting or removal.
#include "platform/shell_menu.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "platform/path.h"

namespace platform {
namespace {

constexpr std::string_view kMarker = "X-Sundrix-Verb=";

// Verb names end up in file and action names; anything but letters, digits, "-" and "_"
// becomes "_".
std::string safeVerb(std::string_view verb) {
  std::string out(verb);
  for (char& c : out) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_';
    if (!plain) c = '_';
  }
  return out;
}

// A desktop action id allows letters, digits and "-"; everything else becomes "-".
std::string actionIdPart(std::string_view verb) {
  std::string out = safeVerb(verb);
  std::replace(out.begin(), out.end(), '_', '-');
  return out;
}

// The string escapes of a desktop-entry key file value.
std::string keyFileString(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += c;
    }
  }
  if (!out.empty() && out.front() == ' ') out.replace(0, 1, "\\s");
  return out;
}

// One argument in double quotes for a GLib command line (the Nemo Exec key): inside the
// quotes a backslash escapes only $ ` " \ and a newline.
std::string glibQuoted(std::string_view argument) {
  std::string out = "\"";
  for (char c : argument) {
    if (c == '"' || c == '\\' || c == '$' || c == '`') out += '\\';
    out += c;
  }
  return out + "\"";
}

// One argument in single quotes for the POSIX shell.
std::string shellQuoted(std::string_view argument) {
  std::string out = "'";
  for (char c : argument) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

bool isFilePlaceholder(std::string_view argument) {
  return argument == "%1";
}

// Nautilus shows the script's file name as the menu label.
std::string scriptFileName(std::string_view label) {
  std::string name(label);
  for (char& c : name) {
    if (c == '/')
      c = '-';
    else if (static_cast<unsigned char>(c) < 0x20)
      c = ' ';
  }
  if (name.size() > 200) name.resize(200);
  // A leading "." would hide the script from the menu.
  if (!name.empty() && name.front() == '.') name.front() = '_';
  return name;
}

std::string readHead(const std::string& path) {
  IoError err;
  File file = File::open(path, File::Mode::Read, err);
  if (!file.isOpen()) return {};
  std::string text(4096, '\0');
  const std::int64_t n = file.read(text.data(), static_cast<std::int64_t>(text.size()), err);
  text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return text;
}

bool carriesMarker(const std::string& text) {
  const std::string prefixes[] = {"\n" + std::string(kMarker), "\n# " + std::string(kMarker)};
  return std::any_of(std::begin(prefixes), std::end(prefixes),
                     [&](const std::string& p) { return text.find(p) != std::string::npos; });
}

// The files in `folder` that an export wrote.
std::vector<std::string> ownedFiles(const std::string& folder) {
  std::vector<std::string> owned;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    const std::string path = it->path().string();
    if (carriesMarker(readHead(path))) owned.push_back(path);
  }
  return owned;
}

struct GeneratedFile {
  std::string path;
  std::string contents;
  mode_t mode;
};

bool writeGenerated(const GeneratedFile& file, IoError& err) {
  struct stat st {};
  const bool current = ::stat(file.path.c_str(), &st) == 0 && (st.st_mode & 07777) == file.mode &&
                       readHead(file.path) == file.contents;
  if (current && file.contents.size() < 4096) return true;
  if (!createFolders(folderPart(file.path), err)) return false;
  if (!replaceFileContents(file.path, file.contents, err)) return false;
  if (::chmod(file.path.c_str(), file.mode) != 0) {
    err = {"write", file.path, errno, {}};
    return false;
  }
  return true;
}

std::vector<GeneratedFile> generatedFiles(const std::vector<ShellVerb>& verbs,
                                          const std::string& dataHome,
                                          const std::vector<std::string>& ownedScripts) {
  const std::string base = withTrailingSeparator(dataHome);
  const std::string scripts = base + kNautilusScriptFolder + "/";
  std::vector<GeneratedFile> files;
  std::vector<std::string> scriptNames;
  for (const ShellVerb& verb : verbs) {
    const std::string name = "sundrix-" + safeVerb(verb.verb);
    files.push_back(
        {base + kKdeServiceMenuFolder + "/" + name + ".desktop", kdeServiceMenu(verb), 0755});
    files.push_back(
        {base + kNemoActionFolder + "/" + name + ".nemo_action", nemoAction(verb), 0644});
    // Two verbs with one label, or a script of the user's own with that name, get the
    // verb added to the name instead of a clash.
    std::string script = scriptFileName(menuLabel(verb));
    const std::string path = scripts + script;
    const bool foreign = pathExists(path) && std::find(ownedScripts.begin(), ownedScripts.end(),
                                                       path) == ownedScripts.end();
    if (script.empty() || foreign ||
        std::find(scriptNames.begin(), scriptNames.end(), script) != scriptNames.end()) {
      script += " (" + safeVerb(verb.verb) + ")";
    }
    scriptNames.push_back(script);
    files.push_back({scripts + script, nautilusScript(verb), 0755});
  }
  return files;
}

}  // namespace

std::vector<std::string> splitCommandLine(std::string_view command) {
  std::vector<std::string> arguments;
  std::string current;
  bool inQuotes = false;
  bool started = false;
  for (char c : command) {
    if (c == '"') {
      inQuotes = !inQuotes;
      started = true;
    } else if ((c == ' ' || c == '\t') && !inQuotes) {
      if (started) arguments.push_back(current);
      current.clear();
      started = false;
    } else {
      current += c;
      started = true;
    }
  }
  if (started) arguments.push_back(current);
  return arguments;
}

std::string menuLabel(const ShellVerb& verb) {
  if (!verb.caption.empty()) return verb.caption;
  std::string label = verb.verb;
  if (!label.empty() && label.front() >= 'a' && label.front() <= 'z') {
    label.front() = static_cast<char>(label.front() - 'a' + 'A');
  }
  return label;
}

std::string desktopExecArgument(std::string_view argument) {
  // Quoting rules first: inside double quotes, " ` $ \ take a backslash, and a literal
  // "%" is written "%%" since it would otherwise start a field code.
  std::string quoted = "\"";
  for (char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += '"';
  // Then the key file's own string escapes, which a reader undoes first.
  return keyFileString(quoted);
}

std::string kdeServiceMenu(const ShellVerb& verb) {
  std::string exec;
  for (const std::string& argument : splitCommandLine(verb.command)) {
    if (!exec.empty()) exec += ' ';
    // %f: one file path per started program, as the registry's %1 gives.
    exec += isFilePlaceholder(argument) ? std::string("%f") : desktopExecArgument(argument);
  }
  std::string label = menuLabel(verb);
  // "&" marks the accelerator in KDE menus; "&&" is a literal one.
  for (std::size_t pos = label.find('&'); pos != std::string::npos;
       pos = label.find('&', pos + 2)) {
    label.insert(pos, 1, '&');
  }
  // The current service-menu format (the kio/servicemenus folder, read by KF5 and KF6):
  // a Name in the main group as every desktop entry needs, and an action id of letters,
  // digits and "-" only. all/allfiles keeps the entry off folders.
  const std::string name = keyFileString(label);
  const std::string action = "sundrix-" + actionIdPart(verb.verb);
  return "[Desktop Entry]\n"
         "Type=Service\n"
         "Name=" +
         name +
         "\n"
         "MimeType=application/octet-stream;all/allfiles;\n"
         "Actions=" +
         action +
         ";\n"
         "X-KDE-Priority=TopLevel\n"
         "X-KDE-StartupNotify=false\n" +
         std::string(kMarker) + keyFileString(verb.verb) +
         "\n"
         "\n"
         "[Desktop Action " +
         action +
         "]\n"
         "Name=" +
         name +
         "\n"
         "Exec=" +
         exec + "\n";
}

std::string nemoAction(const ShellVerb& verb) {
  std::string exec;
  for (const std::string& argument : splitCommandLine(verb.command)) {
    if (!exec.empty()) exec += ' ';
    // %F is the selected path, put in double quotes by Quote=double; Selection=s makes
    // it exactly one.
    exec += isFilePlaceholder(argument) ? std::string("%F") : keyFileString(glibQuoted(argument));
  }
  return "[Nemo Action]\n"
         "Name=" +
         keyFileString(menuLabel(verb)) +
         "\n"
         "Exec=" +
         exec +
         "\n"
         "Quote=double\n"
         "Selection=s\n"
         // Files only: "any" would offer the entry on folders too.
         "Extensions=nodirs;\n" +
         std::string(kMarker) + keyFileString(verb.verb) + "\n";
}

std::string nautilusScript(const ShellVerb& verb) {
  std::string command;
  for (const std::string& argument : splitCommandLine(verb.command)) {
    if (!command.empty()) command += ' ';
    command += isFilePlaceholder(argument) ? std::string("\"$1\"") : shellQuoted(argument);
  }
  // Nautilus passes the selection in NAUTILUS_SCRIPT_SELECTED_FILE_PATHS (full paths, one
  // a line) and as arguments relative to the folder it starts the script in. The program
  // is started once per file, each with the file's full path as one argument.
  std::string verbLine = verb.verb;
  std::replace(verbLine.begin(), verbLine.end(), '\n', ' ');
  return "#!/bin/sh\n"
         "# " +
         std::string(kMarker) + verbLine +
         "\n"
         "# Context-menu entry of Sundrix; rewritten or removed with the entry.\n"
         "run() {\n"
         "  " +
         command +
         " &\n"
         "}\n"
         "if [ -n \"${NAUTILUS_SCRIPT_SELECTED_FILE_PATHS:-}\" ]; then\n"
         "  printf '%s\\n' \"$NAUTILUS_SCRIPT_SELECTED_FILE_PATHS\" | {\n"
         "    while IFS= read -r f; do\n"
         "      if [ -n \"$f\" ]; then run \"$f\"; fi\n"
         "    done\n"
         "    wait\n"
         "  }\n"
         "else\n"
         "  for f in \"$@\"; do\n"
         "    case $f in /*) ;; *) f=$PWD/$f ;; esac\n"
         "    run \"$f\"\n"
         "  done\n"
         "fi\n"
         "wait\n";
}

bool exportShellMenus(const std::vector<ShellVerb>& verbs, const std::string& dataHome,
                      IoError& err) {
  const std::string base = withTrailingSeparator(dataHome);
  std::vector<std::string> owned;
  for (const char* folder : {kKdeServiceMenuFolder, kNautilusScriptFolder, kNemoActionFolder}) {
    std::vector<std::string> files = ownedFiles(base + folder);
    owned.insert(owned.end(), files.begin(), files.end());
  }
  const std::vector<GeneratedFile> files = generatedFiles(verbs, dataHome, owned);

  IoError first;
  for (const std::string& path : owned) {
    const bool wanted = std::any_of(files.begin(), files.end(),
                                    [&](const GeneratedFile& f) { return f.path == path; });
    IoError removeErr;
    if (!wanted && !removeFile(path, removeErr) && !first.isSet()) first = removeErr;
  }
  for (const GeneratedFile& file : files) {
    IoError writeErr;
    if (!writeGenerated(file, writeErr) && !first.isSet()) first = writeErr;
  }
  if (first.isSet()) err = first;
  return !first.isSet();
}

}  // namespace platform
