// What one TZip run holds while it writes an archive; shared by tzip.cpp and
// zip_layout.cpp only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"
#include "zip/deflate.h"
#include "zip/shrink.h"
#include "zip/tzip.h"
#include "zip/zip_format.h"

namespace zip {

// Input blocks and the compressed-output buffer; their size does not change the stream.
inline constexpr std::size_t kZipBufferSize = 64 * 1024;
inline constexpr std::size_t kEndRecordBytes = kEndRecordSize;

struct TZip::Run {
  Run() = default;
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;
  // A run that did not complete leaves no temporary file behind.
  ~Run() {
    if (temporaryPath.empty()) return;
    archive.closeQuietly();
    platform::IoError err;
    platform::removeFile(temporaryPath, err);
  }

  std::vector<std::uint8_t> input;
  std::unique_ptr<Shrinker> shrinker;
  std::unique_ptr<Deflater> deflater;  // instead of the shrinker, for Deflate
  std::string archivePath;
  // The archive is written under this name beside its own and takes its name only when
  // complete, so that a failed run leaves whatever had the name as it was.
  std::string temporaryPath;
  platform::File archive;
  platform::IoError createError;  // why the archive could not be created
  platform::FileIdentity archiveId;
  // The member being written.
  std::int64_t headerOffset = 0;
  bool zip64 = false;  // the local header carries a ZIP64 field for the sizes
  std::int64_t sizeAtStart = 0;  // no byte past it is read
  std::uint32_t crc = 0;
  std::int64_t bytesRead = 0;
  bool changed = false;  // the file changed size or bytes while it was read
};

}  // namespace zip
