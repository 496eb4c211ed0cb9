// SHA-256 through the system's cryptographic library (OpenSSL on POSIX, CNG on Windows),
// which uses the processor's own instructions where it has them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform {

class Sha256Digest {
 public:
  Sha256Digest();
  ~Sha256Digest();
  Sha256Digest(const Sha256Digest&) = delete;
  Sha256Digest& operator=(const Sha256Digest&) = delete;
  void update(const void* data, std::size_t n);
  // The digest of everything given since the start; the object starts afresh after it.
  std::array<std::uint8_t, 32> finish();

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace platform
