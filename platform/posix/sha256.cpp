// SHA-256 on OpenSSL's EVP interface.
#include "platform/sha256.h"

#include <openssl/evp.h>

#include <cassert>

namespace platform {

struct Sha256Digest::State {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  // Fetched once: a start from EVP_sha256() looks the implementation up again each time,
  // which costs more than the digest of a small part.
  EVP_MD* sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  ~State() {
    EVP_MD_CTX_free(context);
    EVP_MD_free(sha256);
  }
  void start() {
    const int ok = EVP_DigestInit_ex(context, sha256 != nullptr ? sha256 : EVP_sha256(), nullptr);
    assert(ok == 1 && "SHA-256 is always available");
    (void)ok;
  }
};

Sha256Digest::Sha256Digest() : m_state(std::make_unique<State>()) {
  m_state->start();
}

Sha256Digest::~Sha256Digest() = default;

void Sha256Digest::update(const void* data, std::size_t n) {
  if (n > 0) EVP_DigestUpdate(m_state->context, data, n);
}

std::array<std::uint8_t, 32> Sha256Digest::finish() {
  std::array<std::uint8_t, 32> digest{};
  unsigned int length = 0;
  EVP_DigestFinal_ex(m_state->context, digest.data(), &length);
  assert(length == digest.size() && "SHA-256 has 32 bytes");
  m_state->start();
  return digest;
}

}  // namespace platform
