// Makes the recovery files of a set of files: an index NAME.par2 (the set's description,
// no recovery data) and volumes NAME.volA+B.par2 holding recovery slices A .. A+B-1, each
// with its own copy of the description. The files' bytes are pushed in as the caller reads
// them; memory holds the recovery slices being made, a batch of input slices and one
// partial slice per file being fed, never the files themselves. Empty files are left out
// of the set (there is nothing in them to rebuild).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "par2/md5.h"
#include "par2/par2_format.h"
#include "platform/file.h"

namespace par2 {

struct SourceFile {
  std::string name;         // as the set names it: the file's own name, without a folder
  std::uint64_t size = 0;
  Md5Hash hash16k{};        // of its first min(16 KiB, size) bytes, which give the file its id
};

// Reads the first min(16 KiB, size) bytes from `in`'s current position into `hash`.
bool readHeadHash(platform::File& in, std::uint64_t size, Md5Hash& hash, platform::IoError& err);

struct CreateOptions {
  std::uint64_t sliceSize = 0;        // a positive multiple of 4
  std::uint32_t recoveryBlocks = 0;   // recovery slices to make (0: only the index)
  std::uint32_t firstExponent = 0;
  std::string creator = "Sundrix";
  unsigned threads = 0;               // 0: the usable cores
};

// The slice size for a split into parts of at most `largestPart` bytes: one slice per part
// (rounded up to the 4-byte grid), so that a recovery block rebuilds a whole part.
std::uint64_t sliceSizeForParts(std::uint64_t largestPart);

// How recovery slices are shared among the volumes: 1, 2, 4 ... slices, the last volume
// taking what is left.
struct VolumeSpan {
  std::uint32_t first = 0;  // exponent of its first recovery slice
  std::uint32_t count = 0;
};
std::vector<VolumeSpan> volumeLayout(std::uint32_t firstExponent, std::uint32_t blocks);
// "NAME.vol03+04.par2" for base path "NAME"; the numbers are at least two digits wide and
// as wide as the largest of the set.
std::string volumeName(const std::string& basePath, const VolumeSpan& span, std::uint32_t widest);

class RecoveryCreator {
 public:
  RecoveryCreator();
  ~RecoveryCreator();
  RecoveryCreator(const RecoveryCreator&) = delete;
  RecoveryCreator& operator=(const RecoveryCreator&) = delete;

  // Describes the set. False with err.detail set when the options do not fit the files: a
  // slice size that is not a positive multiple of 4, more than 32768 input slices, more
  // than 65535 recovery slices, a name with a folder in it.
  bool start(std::vector<SourceFile> files, const CreateOptions& options, platform::IoError& err);
  // The next n bytes of file `fileIndex` (its index in start()'s list); each file's bytes
  // come in order, files may take turns. False when the file would grow beyond its size.
  bool addFileBytes(std::size_t fileIndex, const std::uint8_t* data, std::size_t n,
                    platform::IoError& err);
  // Writes basePath + ".par2" and the volumes beside it, and lists the paths written. False
  // when a file was not fed whole, when its first bytes differ from the head given to
  // start() said, or when a write fails; whatever this call wrote is then removed again.
  bool finish(const std::string& basePath, std::vector<std::string>& written,
              platform::IoError& err);

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

// Reads the files and makes their recovery files (the names in the set are the paths'
// last components).
bool createRecoveryFiles(const std::vector<std::string>& paths, const CreateOptions& options,
                         const std::string& basePath, std::vector<std::string>& written,
                         platform::IoError& err);

}  // namespace par2
