// Helpers of the archive-writer tests: temporary folders, whole-file reads and writes,
// a walk over the records of a written archive, and a reader of Shrink code streams.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "zip/zip_format.h"

namespace zipwriter_test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The folder with a trailing "/".
  const std::string& path() const { return m_path; }
  std::string operator/(const std::string& name) const { return m_path + name; }

 private:
  std::string m_path;
};

Bytes readAll(const std::string& path);
void writeAll(const std::string& path, const Bytes& data);
void writeText(const std::string& path, const std::string& text);
bool exists(const std::string& path);
std::string testdataDir();  // "" when the shared test data is absent

// Deterministic test inputs.
Bytes randomBytes(std::size_t n, std::uint32_t seed);
// Text-like lines, runs and random blocks, in 4 KiB chunks chosen by the seed.
Bytes mixedBytes(std::size_t n, std::uint32_t seed);

struct Member {
  zip::LocalHeader local;
  zip::CentralHeader central;
  std::uint32_t localOffset = 0;
  std::string name;
  std::string centralName;
  Bytes data;
};

struct Archive {
  std::vector<Member> members;
  zip::EndRecord end;
  std::size_t localEnd = 0;  // offset after the last member's data
  std::string error;         // set when the walk failed
};

// Walks the local headers from offset 0, then the central directory and the end record;
// any inconsistency is described in `error`.
Archive parseArchive(const Bytes& bytes);

// Codes of a Shrink stream at the widths a reader would use (256,1 widens).
std::vector<int> readCodes(const Bytes& stream);

// Runs a shell command; returns its exit status, its standard output in `out`.
int runCommand(const std::string& command, std::string* out = nullptr);
bool haveTool(const std::string& name);
std::string shellQuote(const std::string& s);

}  // namespace zipwriter_test
