// Running arbitrary bytes as a recovery file, shared by the fuzz target and the replay
// test: the bytes become a .par2 file in a private folder beside two small parts with
// fixed contents (the seeds describe them), the set is read and checked against the
// parts, and a set that can be repaired is repaired into new files, removed again.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "par2/recovery_repair.h"
#include "par2/recovery_set.h"

namespace fuzz_par2 {

// The parts the seeds were made for: p.001 of 3000 bytes and p.002 of 1000.
inline std::vector<std::uint8_t> partBytes(int part) {
  std::vector<std::uint8_t> b(part == 1 ? 3000 : 1000);
  for (std::size_t i = 0; i < b.size(); ++i) {
    b[i] = static_cast<std::uint8_t>(part == 1 ? i * 131 + 7 : i * 17 + 3);
  }
  return b;
}

inline bool writeBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

class Folder {
 public:
  Folder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/sundrix-par2-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return;
    m_path = pattern + "/";
    for (int part : {1, 2}) {
      const std::vector<std::uint8_t> b = partBytes(part);
      writeBytes(m_path + "p.00" + std::to_string(part), b.data(), b.size());
    }
  }
  ~Folder() {
    for (const char* name : {"p.001", "p.002", "in.par2"}) ::unlink((m_path + name).c_str());
    ::rmdir(m_path.c_str());
  }
  bool ok() const { return !m_path.empty(); }
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

// Returns the number of files rebuilt (their new files are removed again).
inline std::size_t run(const Folder& folder, const std::uint8_t* data, std::size_t size) {
  const std::string input = folder.path() + "in.par2";
  if (!writeBytes(input, data, size)) return 0;
  par2::ReadLimits limits;
  limits.maxSliceSize = 1 << 20;
  limits.maxStoredBytes = 4 << 20;
  limits.maxPackets = 4096;
  par2::RecoverySet set;
  if (!set.load({input}, limits)) return 0;
  const std::vector<std::string> sources = par2::pathsInFolder(set, folder.path());
  const par2::SetCheck check = par2::checkFiles(set, sources);
  if (check.allGood || !check.repairable) return 0;
  std::vector<std::string> outputs;
  for (std::size_t i = 0; i < sources.size(); ++i) outputs.push_back(folder.path() + "out-" + std::to_string(i));
  par2::RepairOptions options;
  options.memoryLimit = 8 << 20;
  options.threads = 1;
  const par2::RepairResult r = par2::repairFiles(set, check, sources, outputs, options);
  for (const std::string& o : outputs) ::unlink(o.c_str());
  return r.rebuilt.size();
}

}  // namespace fuzz_par2
