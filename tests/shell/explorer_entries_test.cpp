// The context-menu keys and the file-manager entries made from them: exact commands,
// the entries' contents, a path with blanks staying one argument, and removal.
#include "platform/explorer_entries.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/shell_menu.h"
#include "shell_test_env.h"
#include "support/temp_dir.h"

namespace {

using platform::IoError;
using platform::Registry;
using testing_support::exists;
using testing_support::readText;
using testing_support::runCommand;
using testing_support::writeText;

std::string shellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    out.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) out.push_back(text.substr(start));
  return out;
}

// The value of `key` in a key file, without undoing escapes.
std::string keyValue(const std::string& text, const std::string& key) {
  for (const std::string& line : lines(text)) {
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  }
  return "<missing " + key + ">";
}

// A desktop-entry Exec value taken apart as a launcher does: the key file's string
// escapes first, then the quoting rules, then the field codes (%f is the file).
std::vector<std::string> desktopExec(const std::string& value, const std::string& file) {
  std::string s;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      const char c = value[++i];
      s += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    } else {
      s += value[i];
    }
  }
  std::vector<std::string> args;
  std::size_t i = 0;
  while (i < s.size()) {
    if (s[i] == ' ') {
      ++i;
      continue;
    }
    std::string arg;
    bool quoted = false;
    if (s[i] == '"') {
      quoted = true;
      for (++i; i < s.size() && s[i] != '"'; ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) ++i;
        arg += s[i];
      }
      ++i;
    } else {
      while (i < s.size() && s[i] != ' ') arg += s[i++];
    }
    if (!quoted && arg == "%f") arg = file;
    for (std::size_t p = arg.find("%%"); p != std::string::npos; p = arg.find("%%", p + 1)) {
      arg.erase(p, 1);
    }
    args.push_back(arg);
  }
  return args;
}

TEST(ExplorerCommands, AreTheQuotedExecutableAndAnElevenCharacterTail) {
  const platform::ExplorerCommands c = platform::explorerCommands("/opt/my apps/sundrix");
  EXPECT_EQ(c.split, "\"/opt/my apps/sundrix\" \"-s\" \"%1\"");
  EXPECT_EQ(c.join, "\"/opt/my apps/sundrix\" \"-j\" \"%1\"");
  const std::string prefix = "\"/opt/my apps/sundrix";
  EXPECT_EQ(c.split.size() - prefix.size(), 11u);
  EXPECT_EQ(c.join.substr(prefix.size()), "\" \"-j\" \"%1\"");
  EXPECT_EQ(platform::splitCommandLine(c.split),
            (std::vector<std::string>{"/opt/my apps/sundrix", "-s", "%1"}));
}

TEST(ExplorerEntries, OnWritesTheFourKeysAndAnEntryPerFileManager) {
  shell_test::TempHome home;
  Registry registry;
  IoError err;
  ASSERT_TRUE(platform::updateExplorerEntries(registry, true, "Split file", "Join parts",
                                              "/opt/sundrix", err))
      << err.message();
  EXPECT_EQ(registry.readDefaultString("*\\shell\\split"), "Split file");
  EXPECT_EQ(registry.readDefaultString("*\\shell\\split\\command"),
            "\"/opt/sundrix\" \"-s\" \"%1\"");
  EXPECT_EQ(registry.readDefaultString("*\\shell\\join"), "Join parts");
  EXPECT_EQ(registry.readDefaultString("*\\shell\\join\\command"),
            "\"/opt/sundrix\" \"-j\" \"%1\"");

  const std::string kde = readText(home.kde("split"));
  EXPECT_EQ(keyValue(kde, "MimeType"), "application/octet-stream;all/allfiles;");
  EXPECT_EQ(keyValue(kde, "Name"), "Split file");
  EXPECT_EQ(keyValue(kde, "Exec"), "\"/opt/sundrix\" \"-s\" %f");
  const std::string nemo = readText(home.nemo("join"));
  EXPECT_EQ(keyValue(nemo, "Name"), "Join parts");
  EXPECT_EQ(keyValue(nemo, "Exec"), "\"/opt/sundrix\" \"-j\" %F");
  EXPECT_EQ(keyValue(nemo, "Selection"), "s");
  EXPECT_EQ(keyValue(nemo, "Extensions"), "nodirs;");  // files, never folders
  EXPECT_EQ(keyValue(nemo, "Quote"), "double");
  for (const std::string& file : {home.kde("split"), home.kde("join"), home.script("Split file"),
                                  home.script("Join parts")}) {
    SCOPED_TRACE(file);
    EXPECT_EQ(::access(file.c_str(), X_OK), 0);  // scripts and service menus must be executable
  }
  EXPECT_TRUE(exists(home.nemo("split")));
}

TEST(ExplorerEntries, EmptyCaptionsStayEmptyInTheKeysButLabelTheEntries) {
  shell_test::TempHome home;
  Registry registry;
  IoError err;
  ASSERT_TRUE(platform::updateExplorerEntries(registry, true, "", "", "/opt/sundrix", err));
  EXPECT_EQ(registry.readDefaultString("*\\shell\\split"), "");
  EXPECT_EQ(registry.readDefaultString("*\\shell\\join"), "");
  EXPECT_EQ(keyValue(readText(home.kde("split")), "Name"), "Split");
  EXPECT_EQ(keyValue(readText(home.nemo("join")), "Name"), "Join");
  EXPECT_TRUE(exists(home.script("Split")));
  EXPECT_TRUE(exists(home.script("Join")));
}

TEST(ExplorerEntries, OffRemovesKeysWithEverythingBelowAndTheirEntries) {
  shell_test::TempHome home;
  Registry registry;
  IoError err;
  ASSERT_TRUE(platform::updateExplorerEntries(registry, true, "S", "J", "/opt/sundrix", err));
  ASSERT_TRUE(registry.openKey("*\\shell\\split\\added by someone", err));
  ASSERT_TRUE(registry.openKey("*\\shell\\open", err));
  ASSERT_TRUE(registry.writeDefaultString("kept", err));
  registry.closeKey();
  writeText(home.script("My own script"), "#!/bin/sh\n");

  ASSERT_TRUE(platform::updateExplorerEntries(registry, false, "S", "J", "/opt/sundrix", err));
  EXPECT_FALSE(registry.keyExists("*\\shell\\split"));
  EXPECT_FALSE(registry.keyExists("*\\shell\\split\\added by someone"));
  EXPECT_FALSE(registry.keyExists("*\\shell\\join\\command"));
  EXPECT_EQ(registry.readDefaultString("*\\shell\\open"), "kept");
  for (const std::string& file : {home.kde("split"), home.kde("join"), home.nemo("split"),
                                  home.nemo("join"), home.script("S"), home.script("J")}) {
    SCOPED_TRACE(file);
    EXPECT_FALSE(exists(file));
  }
  EXPECT_TRUE(exists(home.script("My own script")));

  // Off again with nothing there: nothing to report, nothing written.
  EXPECT_TRUE(platform::updateExplorerEntries(registry, false, "S", "J", "/opt/sundrix", err));
}

TEST(ExplorerEntries, OffWithNoStoreWritesNothing) {
  shell_test::TempHome home;
  Registry registry;
  IoError err;
  EXPECT_TRUE(platform::updateExplorerEntries(registry, false, "", "", "/opt/sundrix", err));
  EXPECT_FALSE(err.isSet());
  EXPECT_FALSE(exists(home.config()));
  EXPECT_FALSE(exists(home.data()));
}

TEST(ExplorerEntries, ANewCaptionReplacesTheOldScriptAndSparesForeignOnes) {
  shell_test::TempHome home;
  Registry registry;
  IoError err;
  ASSERT_TRUE(platform::updateExplorerEntries(registry, true, "Old", "Same", "/x", err));
  writeText(home.script("Split"), "#!/bin/sh\necho mine\n");  // the user's own script
  ASSERT_TRUE(platform::updateExplorerEntries(registry, true, "Split", "Split", "/x", err));
  EXPECT_FALSE(exists(home.script("Old")));
  EXPECT_FALSE(exists(home.script("Same")));
  EXPECT_EQ(readText(home.script("Split")), "#!/bin/sh\necho mine\n");
  EXPECT_TRUE(exists(home.script("Split (split)")));
  EXPECT_TRUE(exists(home.script("Split (join)")));
}

TEST(ExplorerEntries, TheFirstFailureEndsTheOperation) {
  struct Row {
    const char* denied;
    bool splitStays, splitCommandStays;
  } rows[] = {
      // The store cannot be written: nothing at all.
      {"config", false, false},
      // The entries cannot be written: the split caption has no command yet and exports
      // nothing; storing the split command exports its entries, which fails there.
      {"data", true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.denied);
    shell_test::TempHome home;
    shell_test::DenyCreation deny(home.root() + row.denied, EACCES);
    Registry registry;
    IoError err;
    EXPECT_FALSE(platform::updateExplorerEntries(registry, true, "S", "J", "/opt/sundrix", err));
    EXPECT_EQ(err.code, EACCES);
    EXPECT_EQ(registry.keyExists("*\\shell\\split"), row.splitStays);
    EXPECT_EQ(registry.keyExists("*\\shell\\split\\command"), row.splitCommandStays);
    EXPECT_FALSE(registry.keyExists("*\\shell\\join"));
  }
}

class EntryArguments : public ::testing::Test {
 protected:
  void SetUp() override {
    // A stand-in for the program in a folder with blanks: prints its arguments one a line.
    m_folder = m_home.root() + "my programs/";
    ASSERT_EQ(runCommand("mkdir -p " + shellQuote(m_folder)), 0);
    m_program = m_folder + "fake tool";
    writeText(m_program, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done\n");
    ASSERT_EQ(::chmod(m_program.c_str(), 0755), 0);
    m_file = m_folder + "a b  c.dat";
    writeText(m_file, "x");
    IoError err;
    ASSERT_TRUE(platform::updateExplorerEntries(m_registry, true, "Split", "Join", m_program, err))
        << err.message();
  }
  shell_test::TempHome m_home;
  Registry m_registry;
  std::string m_folder, m_program, m_file;
};

TEST_F(EntryArguments, TheNautilusScriptPassesTheSwitchAndTheFullPath) {
  const std::string script = shellQuote(m_home.script("Split"));
  struct Row {
    const char* how;
    std::string command;
  } rows[] = {
      {"relative name in the file's folder", "cd " + shellQuote(m_folder) +
                                                 " && env -u NAUTILUS_SCRIPT_SELECTED_FILE_PATHS " +
                                                 script + " 'a b  c.dat'"},
      {"full paths in the variable",
       "NAUTILUS_SCRIPT_SELECTED_FILE_PATHS=" + shellQuote(m_file + "\n") + " " + script +
           " 'a b  c.dat'"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.how);
    std::string output;
    ASSERT_EQ(runCommand(row.command, &output), 0);
    EXPECT_EQ(lines(output), (std::vector<std::string>{"-s", m_file}));
  }
}

TEST_F(EntryArguments, TheKdeExecLineKeepsEveryArgumentWhole) {
  EXPECT_EQ(desktopExec(keyValue(readText(m_home.kde("join")), "Exec"), m_file),
            (std::vector<std::string>{m_program, "-j", m_file}));
}

TEST(DesktopExec, AwkwardProgramPathsSurviveTheQuotingRules) {
  for (const std::string& exe : {std::string("/a/plain"), std::string("/$HOME/`cmd`/back\\slash"),
                                 std::string("/100%/%f/tool"), std::string(" leading blank/x")}) {
    SCOPED_TRACE(exe);
    const platform::ShellVerb verb{"split", "S", platform::explorerCommands(exe).split};
    EXPECT_EQ(desktopExec(keyValue(platform::kdeServiceMenu(verb), "Exec"), "/f g"),
              (std::vector<std::string>{exe, "-s", "/f g"}));
  }
  // The registry's command form cannot carry a quotation mark in the path, but the
  // quoting of a single argument can.
  EXPECT_EQ(desktopExec(platform::desktopExecArgument("/dir with \"quotes\"/x") + " %f", "/f"),
            (std::vector<std::string>{"/dir with \"quotes\"/x", "/f"}));
}

TEST(NemoExec, TheSelectedPathInDoubleQuotesStaysOneArgument) {
  // Nemo puts the path in place of %F inside the quotes that Quote=double asks for, then
  // splits the line by shell rules, where a backslash in double quotes escapes only
  // $ ` " and itself (for these paths the same rules as a desktop entry's).
  for (const std::string& exe :
       {std::string("/opt/my apps/sundrix"), std::string("/$HOME/`cmd`/back\\slash")}) {
    SCOPED_TRACE(exe);
    const platform::ShellVerb verb{"join", "J", platform::explorerCommands(exe).join};
    std::string exec = keyValue(platform::nemoAction(verb), "Exec");
    const std::size_t field = exec.find("%F");
    ASSERT_NE(field, std::string::npos);
    exec.replace(field, 2, "\"/my files/a  b.dat\"");
    EXPECT_EQ(desktopExec(exec, ""), (std::vector<std::string>{exe, "-j", "/my files/a  b.dat"}));
  }
}

// The problems desktop-file-validate reports for `text`, less those that come from KDE's
// own documented service-menu extensions (Type=Service with MimeType and Actions, the
// all/allfiles type); nothing when the validator is not installed.
std::vector<std::string> validatorComplaints(const std::string& text, const std::string& folder) {
  const std::string file = folder + "entry.desktop";
  writeText(file, text);
  std::string output;
  if (runCommand("command -v desktop-file-validate >/dev/null") != 0) return {};
  runCommand("desktop-file-validate " + shellQuote(file) + " 2>&1", &output);
  std::vector<std::string> complaints;
  for (const std::string& line : lines(output)) {
    const bool kdeExtension = line.find("the type is \"Service\"") != std::string::npos ||
                              line.find("\"all/allfiles\"") != std::string::npos;
    if (!kdeExtension) complaints.push_back(line);
  }
  return complaints;
}

bool isActionId(const std::string& id) {
  return !id.empty() && std::all_of(id.begin(), id.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-';
  });
}

TEST(ShellMenuFormat, GeneratedEntriesFollowTheFileManagersRules) {
  testing_support::TempDir dir;
  const platform::ShellVerb verbs[] = {
      {"split", "", platform::explorerCommands("/opt/sundrix").split},
      {"my_verb.x", "Cut & \"keep\" ", platform::explorerCommands("/opt/a b/sundrix").join},
      {"join", "Verbinden\tder Teile", platform::explorerCommands("/100%/x").join},
  };
  for (const platform::ShellVerb& verb : verbs) {
    SCOPED_TRACE(verb.verb);
    const std::string kde = platform::kdeServiceMenu(verb);
    const std::vector<std::string> kdeLines = lines(kde);
    ASSERT_FALSE(kdeLines.empty());
    EXPECT_EQ(kdeLines.front(), "[Desktop Entry]");
    EXPECT_EQ(keyValue(kde, "Type"), "Service");
    EXPECT_NE(keyValue(kde, "Name"), "<missing Name>");  // the main group's, first
    std::string action = keyValue(kde, "Actions");
    ASSERT_TRUE(action.ends_with(";"));
    action.pop_back();
    EXPECT_TRUE(isActionId(action)) << action;
    EXPECT_NE(std::find(kdeLines.begin(), kdeLines.end(), "[Desktop Action " + action + "]"),
              kdeLines.end());
    EXPECT_EQ(validatorComplaints(kde, dir.path()), std::vector<std::string>{});

    const std::string nemo = platform::nemoAction(verb);
    EXPECT_EQ(lines(nemo).front(), "[Nemo Action]");
    for (const char* key : {"Name", "Exec"})
      EXPECT_NE(keyValue(nemo, key), "<missing " + std::string(key) + ">");
    EXPECT_EQ(keyValue(nemo, "Selection"), "s");
    EXPECT_EQ(keyValue(nemo, "Extensions"), "nodirs;");
  }
}

TEST(ExplorerEntries, NothingIsWrittenOutsideTheTemporaryHome) {
  // The real locations, taken before the environment is redirected.
  const std::string realHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  const std::vector<std::string> watched = {
      realHome + "/.config/sundrix", realHome + "/.local/share/kio/servicemenus",
      realHome + "/.local/share/nautilus/scripts", realHome + "/.local/share/nemo/actions"};
  std::vector<std::vector<std::string>> before;
  for (const std::string& folder : watched) before.push_back(testing_support::listFolder(folder));

  std::vector<std::string> written;
  {
    shell_test::TempHome home;
    Registry registry;
    IoError err;
    ASSERT_TRUE(platform::updateExplorerEntries(registry, true, "S", "J", "/opt/sundrix", err));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home.root())) {
      if (entry.is_regular_file())
        written.push_back(entry.path().string().substr(home.root().size()));
    }
  }
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written,
            (std::vector<std::string>{
                "config/sundrix/registry.ini", "data/kio/servicemenus/sundrix-join.desktop",
                "data/kio/servicemenus/sundrix-split.desktop", "data/nautilus/scripts/J",
                "data/nautilus/scripts/S", "data/nemo/actions/sundrix-join.nemo_action",
                "data/nemo/actions/sundrix-split.nemo_action"}));
  for (std::size_t i = 0; i < watched.size(); ++i) {
    SCOPED_TRACE(watched[i]);
    EXPECT_EQ(testing_support::listFolder(watched[i]), before[i]);
  }
}

}  // namespace
