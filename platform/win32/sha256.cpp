// SHA-256 on the system's CNG interface.
#include "platform/sha256.h"

#include "platform/win32/cng_hash.h"

namespace platform {

struct Sha256Digest::State : win32::CngHash {
  State() : CngHash(provider()) {}
  // Opened once for the life of the program; every digest shares it.
  static BCRYPT_ALG_HANDLE provider() {
    static const BCRYPT_ALG_HANDLE opened = win32::openCngProvider(BCRYPT_SHA256_ALGORITHM);
    return opened;
  }
};

Sha256Digest::Sha256Digest() : m_state(std::make_unique<State>()) {}

Sha256Digest::~Sha256Digest() = default;

void Sha256Digest::update(const void* data, std::size_t n) { m_state->update(data, n); }

std::array<std::uint8_t, 32> Sha256Digest::finish() {
  std::array<std::uint8_t, 32> digest{};
  m_state->finish(digest.data(), static_cast<ULONG>(digest.size()));
  return digest;
}

}  // namespace platform
