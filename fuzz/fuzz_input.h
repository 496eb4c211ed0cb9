// Running arbitrary bytes through the archive reader, shared by the fuzz targets and the
// replay test: the bytes become an archive file in a private folder, members are
// extracted next to it and removed again.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "zip/tunzip.h"
#include "zip/zip_format.h"

namespace fuzz_input {

// Uncompressed sizes above this are lowered in every local header: a few kilobytes of
// Reduce or Implode data may rightly stand for many megabytes, which is slow, not wrong.
inline constexpr std::uint32_t kMaxDeclaredSize = 1u << 20;

// The central directory's sizes count as well: a streamed member takes its size from there.
inline void clampDeclaredSizes(std::vector<std::uint8_t>& bytes) {
  for (std::size_t i = 0; i + zip::kLocalHeaderSize <= bytes.size(); ++i) {
    const std::uint32_t signature = zip::get32(&bytes[i]);
    const std::size_t field = signature == zip::kLocalHeaderSignature     ? 22
                              : signature == zip::kCentralHeaderSignature ? 24
                                                                          : 0;
    if (field != 0 && zip::get32(&bytes[i + field]) > kMaxDeclaredSize) {
      zip::put32(&bytes[i + field], kMaxDeclaredSize);
    }
  }
}

class WorkFolder {
 public:
  WorkFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/sundrix-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) m_path = pattern + "/";
  }
  ~WorkFolder() {
    clear(outFolder());
    ::rmdir(outFolder().c_str());
    ::unlink(archive().c_str());
    ::rmdir(m_path.c_str());
  }
  bool ok() const { return !m_path.empty(); }
  std::string archive() const { return m_path + "in.zip"; }
  std::string outFolder() const { return m_path + "out/"; }

  static void clear(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") ::unlink((folder + name).c_str());
    }
    ::closedir(dir);
  }

 private:
  std::string m_path;
};

inline bool writeBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

// Extracts every member (masks "*.*" and "*") and lists the archive.
inline void runReader(WorkFolder& work, std::vector<std::uint8_t> bytes, bool extract, bool list) {
  clampDeclaredSizes(bytes);
  if (!writeBytes(work.archive(), bytes.data(), bytes.size())) return;
  zip::TUnZip unzip;
  unzip.OnError = [](zip::ZipComponent&, const std::string&) {};
  if (extract) {
    try {
      unzip.UnCrunch(work.archive(), work.outFolder(), {"*.*", "*"});
    } catch (const zip::UnZipError&) {
    }
    WorkFolder::clear(work.outFolder());
  }
  if (list) {
    std::vector<std::string> lines;
    try {
      unzip.GetZipList(work.archive(), lines);
    } catch (const zip::UnZipError&) {
    }
  }
}

inline void runReader(WorkFolder& work, const std::uint8_t* data, std::size_t size, bool extract,
                      bool list) {
  runReader(work, std::vector<std::uint8_t>(data, data + size), extract, list);
}

}  // namespace fuzz_input
