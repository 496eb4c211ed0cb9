// Test helpers: a temporary folder removed at the end, and files with known bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// Whether the test folders tell "a.txt" from "A.TXT": not on Windows.
#ifdef _WIN32
inline constexpr bool kNamesKeepCase = false;
#else
inline constexpr bool kNamesKeepCase = true;
#endif

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The folder, with a trailing separator.
  const std::string& path() const { return m_path; }
  std::string file(const std::string& name) const { return m_path + name; }

 private:
  std::string m_path;
};

// Deterministic pseudo-random bytes.
std::vector<std::uint8_t> makeBytes(std::size_t n, std::uint32_t seed);
void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
void writeText(const std::string& path, const std::string& text);
std::vector<std::uint8_t> readFile(const std::string& path);
std::string readText(const std::string& path);
bool exists(const std::string& path);
std::int64_t sizeOf(const std::string& path);  // -1 when missing
// Names in the folder, sorted.
std::vector<std::string> listFolder(const std::string& folder);
// `s` as one word of a POSIX shell: in single quotes, a quote in it written '\''.
std::string shellQuoted(const std::string& s);
// Runs a shell command, returns its exit status and captures stdout (and stderr if asked).
int runCommand(const std::string& command, std::string* output = nullptr);
// Runs a program with these arguments, no shell between, on every OS; returns its exit
// status (-1 when it could not start) and captures its stdout and stderr together.
int runProgram(const std::vector<std::string>& arguments, std::string* output = nullptr);

}  // namespace testing_support
