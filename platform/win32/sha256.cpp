// SHA-256 on the system's CNG interface.
#include "platform/sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include <cassert>

namespace platform {
namespace {

// Opened once for the life of the program; every digest shares it.
BCRYPT_ALG_HANDLE sha256Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    ::BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    return handle;
  }();
  return provider;
}

}  // namespace

struct Sha256Digest::State {
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~State() {
    if (hash != nullptr) ::BCryptDestroyHash(hash);
  }
  void start() {
    if (hash != nullptr) ::BCryptDestroyHash(hash);
    hash = nullptr;
    const NTSTATUS status =
        ::BCryptCreateHash(sha256Provider(), &hash, nullptr, 0, nullptr, 0, 0);
    assert(status >= 0 && "SHA-256 is always available");
    (void)status;
  }
};

Sha256Digest::Sha256Digest() : m_state(std::make_unique<State>()) {
  m_state->start();
}

Sha256Digest::~Sha256Digest() = default;

void Sha256Digest::update(const void* data, std::size_t n) {
  // BCryptHashData takes 32-bit lengths and a non-const pointer that it only reads.
  auto* p = static_cast<UCHAR*>(const_cast<void*>(data));
  while (n > 0) {
    const ULONG chunk = static_cast<ULONG>(n > 0x40000000u ? 0x40000000u : n);
    ::BCryptHashData(m_state->hash, p, chunk, 0);
    p += chunk;
    n -= chunk;
  }
}

std::array<std::uint8_t, 32> Sha256Digest::finish() {
  std::array<std::uint8_t, 32> digest{};
  ::BCryptFinishHash(m_state->hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
  m_state->start();
  return digest;
}

}  // namespace platform
