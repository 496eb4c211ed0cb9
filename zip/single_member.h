// An archive of one member, as the split's compress options write them: its records read
// and checked against each other (ZIP64 included), and the member's data decoded as a
// stream, so that a part of any size is read through fixed buffers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/file.h"
#include "zip/bit_reader.h"

namespace zip {

struct SingleMember {
  std::string name;
  std::uint16_t method = 0;
  std::uint16_t flags = 0;
  std::uint32_t crc = 0;
  std::uint64_t compressedSize = 0;
  std::uint64_t uncompressedSize = 0;
  std::int64_t dataOffset = 0;  // where its data starts in the archive
};

// Reads the end record (and the ZIP64 end record it points to), the one central header
// and the local header, and checks that they agree and that the data fills the space
// between the local header and the directory. False with `why` set otherwise, or with
// `io` set when the file cannot be read.
bool readSingleMember(platform::File& archive, SingleMember& member, std::string& why,
                      platform::IoError& io);

enum class MemberOutcome {
  Whole,    // every byte delivered, size and CRC as the headers say
  Damaged,  // the data does not decode to what the headers say (`why` tells how)
  Failed,   // the archive could not be read (`io`), or the sink or `keepGoing` stopped it
};

// Decodes the member (stored, shrunk or deflated) into `sink`. `keepGoing` is asked
// between input runs; false from it ends the decoding as Failed with `io` untouched.
MemberOutcome decodeSingleMember(platform::File& archive, const SingleMember& member,
                                 ByteSink& sink, const std::function<bool()>& keepGoing,
                                 std::string& why, platform::IoError& io);

}  // namespace zip
