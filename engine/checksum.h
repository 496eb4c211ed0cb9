// Digests of the bytes a split or join moves: SHA-256 for the checksum file, CRC-32
// for the ".crc" files other splitters leave beside their parts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {
class Sha256Digest;
}

namespace engine {

// SHA-256 through the system's cryptographic library (see platform/sha256.h).
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(Sha256&&) noexcept;
  Sha256& operator=(Sha256&&) noexcept;
  void update(const void* data, std::size_t n);
  // The digest; the object starts afresh after it.
  std::array<std::uint8_t, 32> finish();
  // The same as 64 lower-case hex digits.
  std::string finishHex();

 private:
  struct State;
  platform::Sha256Digest& digest();
  std::unique_ptr<State> m_state;
};

// A digest as 64 lower-case hex digits.
std::string hexOf(const std::array<std::uint8_t, 32>& digest);

// Hands the bytes of the file at `path` to `take`, in order, through one buffer; false
// with `problem` set when the file cannot be read to its end.
bool readChunks(const std::string& path, const std::function<void(const char*, std::size_t)>& take,
                std::string& problem);

// The SHA-256 of a whole file; "" with `problem` set on failure.
std::string sha256OfFile(const std::string& path, std::string& problem);

}  // namespace engine
