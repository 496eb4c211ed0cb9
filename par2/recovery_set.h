// Reading a PAR 2.0 recovery set from its files packet by packet, and checking the files
// it describes against it. Every packet is checked on its own (magic, length, MD5, set
// id, body); one that fails is skipped with a rejection naming the file, the offset and
// the reason, and reading goes on with the next packet found. Recovery slices are
// located, not loaded: memory holds the descriptions, never the recovery data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "par2/md5.h"
#include "par2/par2_format.h"
#include "platform/file.h"

namespace par2 {

struct ReadLimits {
  std::uint64_t maxSliceSize = 1ull << 30;
  std::uint64_t maxDescriptionPacket = 16ull << 20;  // any packet but a recovery slice
  std::uint64_t maxStoredBytes = 64ull << 20;        // descriptions kept from all files
  std::size_t maxPackets = 1u << 20;                 // packets kept from all files
};

struct Rejection {
  std::string path;
  std::uint64_t offset = 0;
  std::string reason;
  // "d.par2 at byte 1234: the packet's MD5 does not match its bytes"
  std::string message() const;
};

struct SetFile {
  Md5Hash fileId{};
  bool described = false;
  FileDescription description;
  bool checksummed = false;
  std::vector<SliceChecksum> slices;
  std::uint32_t firstSlice = 0;  // global index of its first slice (when all are described)
  std::uint32_t sliceCount = 0;
};

struct RecoveryBlock {
  std::uint32_t exponent = 0;
  std::string path;
  std::uint64_t dataOffset = 0;  // where the slice's bytes start in that file
};

class RecoverySet {
 public:
  // Reads the files in order. False when no sound main packet was found in any of them
  // (error() says why); the set is then empty. Rejections are kept either way.
  bool load(const std::vector<std::string>& paths, const ReadLimits& limits = {});

  const Md5Hash& setId() const { return m_setId; }
  std::uint64_t sliceSize() const { return m_sliceSize; }
  // The recovery set's files in the main packet's order (the order of their slices).
  const std::vector<SetFile>& files() const { return m_files; }
  // The sound recovery slices, one per exponent, in the order found.
  const std::vector<RecoveryBlock>& blocks() const { return m_blocks; }
  const std::vector<Rejection>& rejections() const { return m_rejections; }
  const std::string& error() const { return m_error; }
  // True when every file has its description, so that every slice has its global index.
  bool complete() const { return m_complete; }
  std::uint32_t totalSlices() const { return m_totalSlices; }

 private:
  struct Parser;
  friend struct Parser;

  Md5Hash m_setId{};
  std::uint64_t m_sliceSize = 0;
  std::vector<SetFile> m_files;
  std::vector<RecoveryBlock> m_blocks;
  std::vector<Rejection> m_rejections;
  std::string m_error;
  bool m_complete = false;
  std::uint32_t m_totalSlices = 0;
};

enum class FileState {
  Good,      // length and MD5 as described
  Damaged,   // there, but some slices or its length differ
  Missing,   // not there (or cannot be read)
  Unknown,   // the set lost its description: it cannot be checked or rebuilt
};

struct FileCheck {
  std::string path;
  FileState state = FileState::Missing;
  std::vector<bool> sliceGood;  // per slice of the file, by the slice checksums
  std::uint32_t goodSlices = 0;
  std::string note;             // why a file counts as missing (an OS error, a bad name)
};

struct SetCheck {
  std::vector<FileCheck> files;  // parallel to RecoverySet::files()
  std::uint32_t lostSlices = 0;  // slices of damaged and missing files to rebuild
  std::uint32_t blocks = 0;      // recovery slices at hand
  bool allGood = false;
  bool repairable = false;       // enough recovery slices for the lost ones (the matrix
                                 // may still need more: repair tells)
  bool stopped = false;          // a stop came first: the files after it were not checked
  std::string summary;           // "2 of 8 files damaged or missing; 3 slices lost, 5 recovery slices: can be rebuilt"
};

// How a caller steers a long read: asked between slices whether to stop, told the bytes
// read as they go.
struct Steering {
  std::function<bool()> stopRequested;
  platform::CopyProgress moved;
  bool stop() const { return stopRequested && stopRequested(); }
  void advance(std::uint64_t n) const {
    if (moved) moved(static_cast<std::int64_t>(n));
  }
};

// The paths of the set's files in `folder` ("" for the current folder), by their names;
// "" for a name that is not a plain file name (it would reach outside the folder).
std::vector<std::string> pathsInFolder(const RecoverySet& set, const std::string& folder);

// Reads each file (paths parallel to set.files(); "" for one not to look for) and checks
// its slices and its MD5.
SetCheck checkFiles(const RecoverySet& set, const std::vector<std::string>& paths,
                    const Steering& steering = {});

}  // namespace par2
