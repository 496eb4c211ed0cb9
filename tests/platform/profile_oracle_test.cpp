// The profile reader against the system's own: every case is read with IniProfile and with
// GetPrivateProfileStringA, and the answers must be the same. Built for Windows only.
// Two known differences are left out of the cases on purpose, since no setting or
// language key of this program can meet them: the system has no comments (";k=1" is the
// key ";k" there, a comment here), and it files keys above the first section header
// under the section "" (here they belong to no section).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/ini.h"
#include "support/temp_dir.h"

namespace {

struct OracleCase {
  const char* name;
  std::string text;
  std::vector<std::pair<const char*, const char*>> queries;  // section, key
};

std::string systemRead(const std::string& path, const char* section, const char* key) {
  // The reader's limit of 2047 bytes is what a 2048-byte buffer gives.
  char buffer[2048] = {};
  const DWORD n = ::GetPrivateProfileStringA(section, key, "<default>", buffer, sizeof buffer,
                                             path.c_str());
  return std::string(buffer, n);
}

std::vector<OracleCase> cases() {
  const std::string longValue(3000, 'x');
  return {
      {"quotes",
       "[Q]\na=\"quoted\"\nb='single'\nc=\"unbalanced\nd=\" spaced \"\ne=\"\"\nf=\"a\"b\"\n"
       "g=x\"y\"\nh=\"\n",
       {{"Q", "a"}, {"Q", "b"}, {"Q", "c"}, {"Q", "d"}, {"Q", "e"}, {"Q", "f"}, {"Q", "g"},
        {"Q", "h"}}},
      {"blanks",
       "[ Spaced ]\n  key  =  value  \n\tTab\t=\tv\t\nmid dle = in side \n[Plain]\nk = v\n",
       {{"Spaced", "key"}, {" Spaced ", "key"}, {"Spaced", "Tab"}, {"Spaced", "mid dle"},
        {"Plain", "k"}, {"Plain", " k"}}},
      {"empty values",
       "[E]\nempty=\nblank=   \nnoequals\n=nokey\n",
       {{"E", "empty"}, {"E", "blank"}, {"E", "noequals"}, {"E", ""}, {"E", "missing"}}},
      {"duplicate keys and sections",
       "[S]\na=1\na=2\n[T]\nt=1\n[S]\na=3\nb=4\n[s]\nc=5\n",
       {{"S", "a"}, {"S", "b"}, {"S", "c"}, {"T", "t"}, {"s", "A"}}},
      {"comments",
       "; leading\n[C]\n; note\n#h=2\nk=value ; not a comment\n  ; indented note\nrem=4\n",
       {{"C", "#h"}, {"C", "k"}, {"C", "; note"}, {"C", "indented"}, {"C", "rem"}}},
      {"long value", "[L]\nlong=" + longValue + "\nafter=1\n", {{"L", "long"}, {"L", "after"}}},
      {"no final line end", "[N]\na=1\nlast=end", {{"N", "a"}, {"N", "last"}}},
      {"CR LF", "[W]\r\na=1\r\nb = two \r\n\r\n[X]\r\nc=3\r\n",
       {{"W", "a"}, {"W", "b"}, {"X", "c"}}},
      {"case and order", "top=1\n[MiXed]\nKey=v\n[Other]\nkey=w\n",
       {{"mixed", "KEY"}, {"MIXED", "key"}, {"other", "Key"}, {"Nothing", "key"}}},
      {"section lines", "[A] trailing\nx=1\n[B\ny=2\n[C]\nz=3\n",
       {{"A", "x"}, {"B", "y"}, {"C", "z"}, {"A", "z"}}},
  };
}

TEST(ProfileOracle, ReaderAnswersAsTheSystemDoes) {
  testing_support::TempDir dir;
  int index = 0;
  for (const OracleCase& c : cases()) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file("case" + std::to_string(index++) + ".ini");
    testing_support::writeText(path, c.text);
    const platform::IniProfile profile = platform::IniProfile::load(path);
    for (const auto& [section, key] : c.queries) {
      SCOPED_TRACE(std::string("[") + section + "] " + key);
      EXPECT_EQ(profile.readString(section, key, "<default>"), systemRead(path, section, key));
    }
  }
}

}  // namespace
