// Helpers of the archive-writer tests: deterministic inputs, a walk over the records of a written
// archive, and a reader of Shrink code streams.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "zip/zip_format.h"

namespace zipwriter_test {

using Bytes = std::vector<std::uint8_t>;
using testing_support::exists;
using testing_support::runCommand;
using testing_support::TempDir;
using testing_support::writeText;

// tmp / "name": a path in the temporary folder.
inline std::string operator/(const TempDir& dir, const std::string& name) {
  return dir.file(name);
}
inline Bytes readAll(const std::string& path) {
  return testing_support::readFile(path);
}
inline void writeAll(const std::string& path, const Bytes& data) {
  testing_support::writeFile(path, data);
}
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

bool haveTool(const std::string& name);
std::string shellQuote(const std::string& s);

// The members' names in archive order.
inline std::vector<std::string> memberNames(const Archive& a) {
  std::vector<std::string> names;
  for (const Member& m : a.members) names.push_back(m.name);
  return names;
}

}  // namespace zipwriter_test
