// sundrix-cli's conventions, a table each: usage errors, sizes (against GNU split where
// it reads the same text), the spellings of options, standard input and output, the exit
// status after a signal, and the manual page and completion against --help.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

using testing_support::runCommand;
const auto& quoted = testing_support::shellQuoted;
using testing_support::TempDir;

const std::string kCli = quoted(SUNDRIX_CLI);

// Runs `arguments` (shell words) in `folder`; stdout and stderr apart.
struct Outcome {
  int status = -1;
  std::string out, err;
};
Outcome run(const TempDir& dir, const std::string& arguments, const std::string& input = "</dev/null") {
  Outcome r;
  const std::string err = dir.file(".stderr");
  r.status = runCommand("cd " + quoted(dir.path()) + " && " + kCli + " " + arguments + " " + input +
                            " 2>" + quoted(err),
                        &r.out);
  r.err = testing_support::readText(err);
  std::remove(err.c_str());
  return r;
}

std::set<std::string> longOptionsIn(const std::string& text, const std::regex& pattern) {
  std::set<std::string> names;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern); it != std::sregex_iterator();
       ++it) {
    names.insert((*it)[1]);
  }
  return names;
}

const std::vector<std::string> kCommands = {"split", "join", "verify", "repair", "zip", "unzip", "list"};

TEST(CliOptions, EveryUsageErrorExitsTwoAndNamesTheCommandsHelp) {
  TempDir dir;
  testing_support::writeFile(dir.file("f"), testing_support::makeBytes(5000, 1));
  const struct Row {
    const char* arguments;
    const char* command;  // whose help the message names
    const char* says;
  } rows[] = {
      {"split f --parts 0", "split", "invalid number of parts '0'"},
      {"split f -n0", "split", "invalid number of parts '0'"},
      {"split f --parts=2147483648", "split", "invalid number of parts"},
      {"split f --size 0", "split", "invalid part size '0'"},
      {"split f --size -5", "split", "invalid part size '-5'"},
      {"split f --size 5X", "split", "invalid part size"},
      {"split f --size 1KIB", "split", "invalid part size"},
      {"split f --size 99999999999999999999", "split", "invalid part size"},
      {"split f --size 9223372036854775807K", "split", "invalid part size"},
      {"split f --size 3221225473", "split", "above 2 GiB"},
      {"split f", "split", "give --parts N or --size SIZE"},
      {"split --size 1K", "split", "no file given"},
      {"split f g --size 1K", "split", "more than one file"},
      {"split f --parts 2 --size 1K", "split", "give either --parts or --size"},
      {"split f --size", "split", "option '--size' needs SIZE"},
      {"split f -b", "split", "option '-b' needs SIZE"},
      {"split f -b1K --zip=yes", "split", "option '--zip' takes no value"},
      {"split f -b1K --frob", "split", "unknown option '--frob'"},
      {"split f -b1K -x", "split", "unknown option '-x'"},
      {"split f -b1K --bat-delete", "split", "--bat-delete needs --bat NAME"},
      {"split f -b1K --name x", "split", "--name names the parts of standard input"},
      {"split - -n 3 --name x", "split", "split by --size only"},
      {"split - -b 1K", "split", "needs --name NAME"},
      {"split - -b 1K --name a/b", "split", "needs --name NAME"},
      {"split - -b 1K --name x --zip", "split", "need a FILE"},
      {"split - -b 1K --name x --sh x", "split", "need a FILE"},
      {"join", "join", "no first part given"},
      {"join a.001 b.001", "join", "more than one first part"},
      {"join a.001 --append-at -3", "join", "invalid number of bytes '-3'"},
      {"join a.001 --out=", "join", "--out needs"},
      {"join a.001 --out - --delete-parts", "join", "--out - cannot"},
      {"join a.001 -o - --append", "join", "--out - cannot"},
      {"verify", "verify", "no first part given"},
      {"verify a.001 --size 1K", "verify", "unknown option '--size'"},
      {"zip", "zip", "no archive given"},
      {"zip a.zip --source", "zip", "option '--source' needs DIR"},
      {"unzip", "unzip", "no archive given"},
      {"unzip a.zip --dir=", "unzip", "--dir needs a folder"},
      {"list", "list", "no archive given"},
      {"list a.zip b.zip", "list", "more than one archive"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arguments);
    const Outcome r = run(dir, row.arguments);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("sundrix-cli: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
    EXPECT_TRUE(r.err.ends_with(std::string("\nTry 'sundrix-cli ") + row.command + " --help'.\n"))
        << r.err;
  }
  EXPECT_EQ(testing_support::listFolder(dir.path()), std::vector<std::string>{"f"});
  const Outcome unknown = run(dir, "frob");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.err, "sundrix-cli: unknown command 'frob'\nTry 'sundrix-cli --help'.\n");
}

// The first part's size for each spelling; where GNU split reads the same text, it must
// cut the same first part.
TEST(CliOptions, SizesAreReadAsCoreutilsReadsThem) {
  TempDir dir;
  // Small sizes cut a small file, so that no row makes thousands of parts.
  constexpr std::int64_t kSmall = 5000, kBig = 2200000;
  testing_support::writeFile(dir.file("small"), testing_support::makeBytes(kSmall, 2));
  testing_support::writeFile(dir.file("big"), testing_support::makeBytes(kBig, 2));
  const bool gnu = runCommand("split --version 2>/dev/null | grep -q GNU") == 0;
  const struct Row {
    const char* size;
    std::int64_t bytes;
    bool gnuReadsIt;
  } rows[] = {
      {"1000", 1000, true},          {"3145728", 3145728, true},   {"1K", 1024, true},
      {"1k", 1024, true},            {"1KiB", 1024, true},         {"1KB", 1000, true},
      {"1kB", 1000, true},           {"2M", 2097152, true},        {"1MiB", 1048576, true},
      {"2MB", 2000000, true},        {"1G", 1 << 30, true},        {"1GB", 1000000000, true},
      {"1T", std::int64_t{1} << 40, true}, {"100B", 100, false},   {"007", 7, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.size);
    TempDir out;
    const std::string input = row.bytes < kSmall ? "small" : "big";
    const std::int64_t first = std::min(row.bytes, row.bytes < kSmall ? kSmall : kBig);
    const Outcome r = run(dir, "split " + input + " --no-checksum --out " + quoted(out.path()) +
                                   " --size " + row.size);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testing_support::sizeOf(out.file(input + ".001")), first);
    if (!gnu || !row.gnuReadsIt) continue;
    ASSERT_EQ(runCommand("cd " + quoted(out.path()) + " && split -b " + row.size + " " +
                         quoted(dir.file(input)) + " gnu."),
              0);
    EXPECT_EQ(testing_support::sizeOf(out.file("gnu.aa")), first);
  }
}

// Every spelling of the same split gives the same parts.
TEST(CliOptions, OptionsAreTakenInEverySpellingAndPlace) {
  TempDir dir;
  const auto bytes = testing_support::makeBytes(5000, 3);
  testing_support::writeFile(dir.file("-f"), bytes);
  const struct Row {
    const char* spelled;
    std::int64_t first, third;
  } rows[] = {
      {"--size 2K -- -f", 2048, 904},  {"--size=2K -- -f", 2048, 904},
      {"-b 2K -- -f", 2048, 904},      {"-b2K -- -f", 2048, 904},
      {"./-f --size 2K --", 2048, 904},  {"-qb2K -- -f", 2048, 904},
      {"./-f -b 2048", 2048, 904},     {"--quiet ./-f --size=2KiB", 2048, 904},
      {"-n 3 -- -f", 1666, 1668},      {"--parts=3 -- -f", 1666, 1668},
      {"-qn3 ./-f", 1666, 1668},       {"./-f --out=. --parts 3", 1666, 1668},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.spelled);
    const Outcome r = run(dir, std::string("split ") + row.spelled);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testing_support::sizeOf(dir.file("-f.001")), row.first);
    EXPECT_EQ(testing_support::sizeOf(dir.file("-f.003")), row.third);
    const Outcome joined = run(dir, "join -o joined --overwrite -- -f.001");
    EXPECT_EQ(joined.status, 0) << joined.err;
    EXPECT_EQ(testing_support::readFile(dir.file("joined")), bytes);
  }
  const Outcome help = run(dir, "join --out=x -h");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: sundrix-cli join ", 0), 0u) << help.out;
}

TEST(CliOptions, StandardInputAndOutput) {
  TempDir dir;
  const auto bytes = testing_support::makeBytes(3 * 4096 + 100, 4);
  testing_support::writeFile(dir.file("in"), bytes);
  // The list of parts cut from standard input is the list of the same bytes cut from a file.
  Outcome r = run(dir, "split - --size 4K --name in", "<" + quoted(dir.file("in")) + " ");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testing_support::sizeOf(dir.file("in.004")), 100);
  const std::string fromInput = testing_support::readText(dir.file("in.sha256"));
  EXPECT_EQ(runCommand("cd " + quoted(dir.path()) + " && sha256sum -c --quiet --ignore-missing in.sha256 " +
                       "&& cat in.00? | cmp - in"),
            0);
  r = run(dir, "split in --size 4K");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testing_support::readText(dir.file("in.sha256")), fromInput);

  // The joined file alone on standard output; the summary on standard error.
  r = run(dir, "join in.001 --out -");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, std::string(bytes.begin(), bytes.end()));
  EXPECT_NE(r.err.find("Verified"), std::string::npos) << r.err;
  r = run(dir, "join in.001 --out - -q", ">/dev/full");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("No space left"), std::string::npos) << r.err;
  r = run(dir, "join in.001 --out -", ">&-");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "sundrix-cli: cannot write the joined file: standard output is closed\n");

  ASSERT_EQ(runCommand("cd " + quoted(dir.path()) + " && head -c 8192 in >in8192 && head -c 4097 in >in4097"), 0);
  const struct Row {
    const char* what;
    const char* size;
    std::string input;
    std::vector<std::int64_t> parts;
  } rows[] = {
      {"empty", "4K", "</dev/null", {0}},
      {"an exact multiple", "4K", "<in8192", {4096, 4096, 0}},
      {"one byte over", "4K", "<in4097", {4096, 1}},
      {"parts above 2 GiB that are no whole KiB", "3GB", "<in4097", {4097}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir out;
    r = run(dir, std::string("split - -b ") + row.size + " --name s --out " + quoted(out.path()),
            row.input);
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::int64_t> sizes;
    for (std::size_t i = 1; testing_support::exists(out.file("s.00" + std::to_string(i))); ++i) {
      sizes.push_back(testing_support::sizeOf(out.file("s.00" + std::to_string(i))));
    }
    EXPECT_EQ(sizes, row.parts);
    EXPECT_EQ(run(out, "verify s.001").status, 0);
  }
  // A stream that cannot be read leaves nothing.
  r = run(dir, "split - -b 4K --name d", "<.");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "sundrix-cli: cannot read standard input: Is a directory\n");
  EXPECT_FALSE(testing_support::exists(dir.file("d.001")));
  r = run(dir, "split - -b 4K --name s", "<&-");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "sundrix-cli: cannot read standard input: it is closed\n");
  // A list of this name that another program wrote is kept, and nothing is read.
  testing_support::writeText(dir.file("t.sha256"), "mine\n");
  r = run(dir, "split - -b 4K --name t", "<in");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(testing_support::readText(dir.file("t.sha256")), "mine\n");
  EXPECT_FALSE(testing_support::exists(dir.file("t.001")));
}

// A split of a stream that never ends, and a join into a pipe that is never read, stop
// between chunks on a signal and exit as a shell reports that signal.
TEST(CliOptions, SignalsGiveTheirExitStatus) {
  TempDir dir;
  testing_support::writeFile(dir.file("big"), testing_support::makeBytes(2 << 20, 5));
  ASSERT_EQ(run(dir, "split big -b 64K").status, 0);
  // The other end of the pipe: a slow writer for the split, a slow reader for the join
  // (400 KB/s), each ending when the program has gone.
  const std::string writer = "{ while head -c 4096 /dev/zero; do sleep 0.01; done; } >fifo 2>/dev/null & ";
  const std::string reader =
      "{ while [ \"$(head -c 4096 | wc -c)\" -gt 0 ]; do sleep 0.01; done; } <fifo & ";
  const struct Row {
    const char* signal;
    int status;
    std::string command;
  } rows[] = {
      {"INT", 130, writer + kCli + " split - -b 100K --name s <fifo"},
      {"TERM", 143, writer + kCli + " split - -b 100K --name s <fifo"},
      {"INT", 130, reader + kCli + " join big.001 --out - >fifo"},
      {"TERM", 143, reader + kCli + " join big.001 --out - >fifo"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.signal) + ": " + row.command);
    std::string out;
    runCommand("cd " + quoted(dir.path()) + " && rm -f fifo s.* && mkfifo fifo && { " +
                   row.command + " 2>err & pid=$!; sleep 0.5; kill -" + row.signal +
                   " $pid; wait $pid; echo $?; wait; }",
               &out);
    EXPECT_EQ(out, std::to_string(row.status) + "\n");
    EXPECT_NE(testing_support::readText(dir.file("err")).find("sundrix-cli: stopped"),
              std::string::npos);
  }
}

// The manual page lists, under each command, exactly the options its --help lists (but
// --quiet and --help, which it describes once for all), and the completion offers them.
TEST(CliOptions, ManualAndCompletionNameWhatHelpNames) {
  TempDir dir;
  const std::string manual = testing_support::readText(SUNDRIX_SOURCE_DIR "/packaging/sundrix-cli.1");
  const std::string completion =
      testing_support::readText(SUNDRIX_SOURCE_DIR "/packaging/sundrix-cli.bash-completion");
  const Outcome usage = run(dir, "--help");
  for (const std::string& command : kCommands) {
    SCOPED_TRACE(command);
    EXPECT_NE(usage.out.find("\n  " + command + " "), std::string::npos);
    const Outcome help = run(dir, command + " --help");
    ASSERT_EQ(help.status, 0);
    std::istringstream lines(help.out);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
    std::set<std::string> helped = longOptionsIn(help.out, std::regex(R"(\n {2}(?:-\w, | {4})--([a-z-]+))"));
    ASSERT_TRUE(helped.count("quiet") && helped.count("help"));
    // The completion's list for the command.
    const std::smatch offered = [&] {
      std::smatch m;
      std::regex_search(completion, m, std::regex("\\n +" + command + "\\) options='([^']*)'"));
      return m;
    }();
    ASSERT_FALSE(offered.empty());
    EXPECT_EQ(longOptionsIn(" " + offered.str(1), std::regex(" --([a-z-]+)")), helped);
    // The manual's entries between ".B command" and the end of its option list.
    const std::size_t from = manual.find("\n.TP\n.B " + command + " \\fI");
    ASSERT_NE(from, std::string::npos);
    std::size_t end = manual.find("\n.SH OPTIONS");
    for (const std::string& other : kCommands) {
      end = std::min(end, manual.find("\n.TP\n.B " + other + " \\fI", from + 1));
    }
    const std::string section = manual.substr(from, end - from);
    helped.erase("quiet");
    helped.erase("help");
    EXPECT_EQ(longOptionsIn(section, std::regex(R"(\n\.TP\n\.B[IR]? (?:\\-\w ", " )?\\-\\-([a-z\\-]+))")),
              [&] {
                std::set<std::string> escaped;
                for (const std::string& name : helped) {
                  escaped.insert(std::regex_replace(name, std::regex("-"), "\\-"));
                }
                return escaped;
              }());
  }
  for (const char* common : {R"(.BR \-q ", " \-\-quiet)", R"(.BR \-h ", " \-\-help)",
                             R"(.BR \-V ", " \-\-version)"}) {
    EXPECT_NE(manual.find(common), std::string::npos) << common;
  }
}

// Completion as bash runs it: first parts and packed first parts for join and verify,
// first parts alone for repair, archives for list, the options of the command.
TEST(CliOptions, CompletionOffersPartsArchivesAndOptions) {
  const char* library = "/usr/share/bash-completion/bash_completion";
  if (!testing_support::exists(library)) GTEST_SKIP() << "no bash-completion";
  TempDir dir;
  for (const char* name : {"a.bin.001", "a.bin.002", "b.001.zip", "c.zip", "d.txt"}) {
    testing_support::writeText(dir.file(name), "x");
  }
  const struct Row {
    const char* line;
    const char* offered;
  } rows[] = {
      {"sundrix-cli join ", "a.bin.001 b.001.zip "},
      {"sundrix-cli verify a", "a.bin.001 "},
      {"sundrix-cli repair ", "a.bin.001 "},
      {"sundrix-cli list ", "b.001.zip c.zip "},
      {"sundrix-cli split --no", "--no-checksum "},
      {"sundrix-cli join --app", "--append --append-at "},
      {"sundrix-cli ver", "verify "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    std::string out;
    runCommand("cd " + quoted(dir.path()) + " && bash -c " +
                   quoted(std::string("source ") + library + "; source " +
                          quoted(SUNDRIX_SOURCE_DIR "/packaging/sundrix-cli.bash-completion") +
                          "; COMP_LINE=" + quoted(row.line) +
                          "; read -ra COMP_WORDS <<<\"$COMP_LINE\"; [[ $COMP_LINE == *' ' ]] && "
                          "COMP_WORDS+=(''); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); "
                          "COMP_POINT=${#COMP_LINE}; _sundrix_cli; printf '%s\\n' \"${COMPREPLY[@]}\" "
                          "| sort | tr '\\n' ' '"),
               &out);
    EXPECT_EQ(out, row.offered);
  }
}

// The manual's examples, run as printed.
TEST(CliOptions, TheManualsExamplesWork) {
  TempDir dir;
  const auto bytes = testing_support::makeBytes(3 << 20, 6);
  testing_support::writeFile(dir.file("disc.iso"), bytes);
  TempDir elsewhere;
  std::string out;
  const std::string manual = testing_support::readText(SUNDRIX_SOURCE_DIR "/packaging/sundrix-cli.1");
  ASSERT_NE(manual.find("sundrix\\-cli join disc.iso.001 \\-\\-out /tmp/"), std::string::npos);
  ASSERT_NE(manual.find("tar \\-c photos | sundrix\\-cli split \\- \\-b 1GB \\-\\-name photos.tar\n"
                        "sundrix\\-cli join photos.tar.001 \\-\\-out \\- | tar \\-x\n"),
            std::string::npos);
  const std::string cli = std::string(SUNDRIX_CLI).substr(0, std::string(SUNDRIX_CLI).rfind('/'));
  EXPECT_EQ(runCommand("cd " + quoted(dir.path()) + " && export PATH=" + quoted(cli) +
                           ":\"$PATH\" && sundrix-cli split disc.iso --size 700M && "
                           "sundrix-cli verify disc.iso.001 && sundrix-cli join disc.iso.001 --out " +
                           quoted(elsewhere.path()) + " 2>&1 && mkdir photos && cp disc.iso photos/ && "
                           "tar -c photos | sundrix-cli split - -b 1GB --name photos.tar && "
                           "rm -r photos && sundrix-cli join photos.tar.001 --out - | tar -x && "
                           "cmp photos/disc.iso disc.iso",
                       &out),
            0)
      << out;
  EXPECT_EQ(testing_support::readFile(elsewhere.file("disc.iso")), bytes);
}

}  // namespace

namespace {

// The archive reader's messages in English, or in the language of the locale when the
// program finds that language's file (here: a copy of the program beside the files).
TEST(CliOptions, ArchiveMessagesInTheUsersLanguage) {
  TempDir dir;
  testing_support::writeText(dir.file("notzip"), "no archive\n");
  ASSERT_EQ(runCommand("cd " + quoted(dir.path()) + " && cp " + kCli + " . && ln -s " +
                       quoted(SUNDRIX_SOURCE_DIR "/language") + " language"),
            0);
  const struct Row {
    const char* program;
    const char* locale;
    const char* said;
  } rows[] = {
      {SUNDRIX_CLI, "C.UTF-8", "sundrix-cli: A header is missing or damaged in notzip\n"},
      {SUNDRIX_CLI, "fr_FR.UTF-8", "sundrix-cli: A header is missing or damaged in notzip\n"},
      {"./sundrix-cli", "C.UTF-8", "sundrix-cli: A header is missing or damaged in notzip\n"},
      {"./sundrix-cli", "fr_FR.UTF-8", "sundrix-cli: Un en-tête manque ou est endommagé dans notzip\n"},
      {"./sundrix-cli", "ru_RU.UTF-8", "sundrix-cli: Заголовок отсутствует или повреждён в notzip\n"},
      {"./sundrix-cli", "de_DE.UTF-8", "sundrix-cli: A header is missing or damaged in notzip\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.program) + " " + row.locale);
    std::string said;
    EXPECT_EQ(runCommand("cd " + quoted(dir.path()) + " && LC_ALL= LC_MESSAGES= LANG=" + row.locale +
                             " " + quoted(row.program) + " list notzip 2>&1",
                         &said),
              1);
    EXPECT_EQ(said, row.said);
  }
}

}  // namespace

namespace {

// The README's sending and receiving examples, run as printed: each receiver in a folder
// of its own with what the sender gives it.
TEST(CliOptions, TheReadmesExamplesWork) {
  const std::string readme = testing_support::readText(SUNDRIX_SOURCE_DIR "/README.md");
  const char* const lines[] = {
      "sundrix-cli split movie.avi --size 700M",
      "sundrix-cli join movie.avi.001",
      "7z x movie.avi.001",
      "sundrix-cli split movie.avi --size 700M --sh movie",
      "sh movie.sh",
      "tar -c photos | sundrix-cli split - --size 1GB --name photos.tar",
      "sundrix-cli join photos.tar.001 --out - | tar -x",
  };
  for (const char* line : lines) {
    EXPECT_NE(readme.find(std::string("\n    ") + line + "\n"), std::string::npos) << line;
  }
  if (runCommand("command -v 7z >/dev/null") != 0) GTEST_SKIP() << "no 7z";
  TempDir dir;
  // Parts of 700 MiB of a small file would be one part: the same commands with 1M show
  // the joins of several (3 MiB: the last of four parts is empty).
  const auto bytes = testing_support::makeBytes(3 << 20, 8);
  ASSERT_EQ(runCommand("mkdir " + quoted(dir.file("send"))), 0);
  testing_support::writeFile(dir.file("send/movie.avi"), bytes);
  const std::string cli = std::string(SUNDRIX_CLI).substr(0, std::string(SUNDRIX_CLI).rfind('/'));
  std::string out;
  EXPECT_EQ(runCommand("cd " + quoted(dir.path()) + " && export PATH=" + quoted(cli) +
                           ":\"$PATH\" && mkdir -p r1 r2 r3 && cd send && "
                           "sundrix-cli split movie.avi --size 1M && "
                           "cp movie.avi.0* movie.avi.sha256 ../r1/ && cp movie.avi.0* ../r2/ && "
                           "(cd ../r1 && sundrix-cli join movie.avi.001 && cmp movie.avi ../send/movie.avi) && "
                           "(cd ../r2 && 7z x movie.avi.001 >/dev/null && cmp movie.avi ../send/movie.avi) && "
                           "sundrix-cli split movie.avi --size 1M --sh movie && cp movie.0* movie.sh ../r3/ && "
                           "(cd ../r3 && sh movie.sh && cmp movie.avi ../send/movie.avi) && "
                           "mkdir photos && cp movie.avi photos/ && "
                           "tar -c photos | sundrix-cli split - --size 1GB --name photos.tar && "
                           "rm -r photos && sundrix-cli join photos.tar.001 --out - | tar -x && "
                           "cmp photos/movie.avi movie.avi 2>&1",
                       &out),
            0)
      << out;
  EXPECT_EQ(testing_support::listFolder(dir.file("r3")),
            (std::vector<std::string>{"movie.001", "movie.002", "movie.003", "movie.004", "movie.avi",
                                      "movie.sh"}));
}

}  // namespace
