// Helpers of the archive reader tests: running an extraction with the messages and the
// progress collected, and building archives byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zip/bit_reader.h"
#include "zip/tunzip.h"

namespace reader_test {

struct RunResult {
  bool executed = false;
  std::vector<std::string> messages;
  std::vector<int> progress;
};

// Extracts `archive` into `folder` with the given masks through Execute.
RunResult extract(const std::string& archive, const std::string& folder,
                  const std::vector<std::string>& masks = {}, bool withProgress = false);

// A sink that keeps every byte.
class VectorSink : public zip::ByteSink {
 public:
  void write(const std::uint8_t* data, std::size_t n) override {
    bytes.insert(bytes.end(), data, data + n);
  }
  std::vector<std::uint8_t> bytes;
};

// Packs values into bytes least significant bit first, as the decoders read them.
class BitWriter {
 public:
  BitWriter& put(std::uint32_t value, int bits);
  std::vector<std::uint8_t> bytes() const;

 private:
  std::vector<std::uint8_t> m_bytes;
  int m_used = 8;
};

struct Member {
  std::string name;
  std::uint16_t method = 0;
  std::uint16_t flags = 0;
  std::vector<std::uint8_t> data;  // as stored
  std::uint32_t crc = 0;
  std::uint32_t uncompressedSize = 0;
  std::uint16_t date = 0x58C1;  // 2024-06-01
  std::uint16_t time = 0x645C;  // 12:34:56
  std::uint16_t extraLength = 0;
};

// A stored member holding `text`, with its true CRC.
Member storedMember(const std::string& name, const std::string& text);
// Local headers, names, extra bytes and data, then a central directory and end record.
// A member with flag bit 3 gets zeros for its CRC and sizes in its local header and a
// data descriptor after its data; the directory has the true values.
std::vector<std::uint8_t> buildArchive(const std::vector<Member>& members,
                                       bool withCentralDirectory = true);

}  // namespace reader_test
