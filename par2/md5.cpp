// MD5 on OpenSSL's EVP interface.
#include "par2/md5.h"

#include <openssl/evp.h>

#include <cassert>

namespace par2 {
namespace {

// Fetched once: a start from EVP_md5() looks the implementation up again each time, and
// a set has a digest for every slice.
const EVP_MD* md5Method() {
  static EVP_MD* fetched = EVP_MD_fetch(nullptr, "MD5", nullptr);
  return fetched != nullptr ? fetched : EVP_md5();
}

}  // namespace

struct Md5::State {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  ~State() { EVP_MD_CTX_free(context); }
  void start() {
    const int ok = EVP_DigestInit_ex(context, md5Method(), nullptr);
    assert(ok == 1 && "MD5 is always available");
    (void)ok;
  }
};

Md5::Md5() : m_state(std::make_unique<State>()) {
  m_state->start();
}

Md5::~Md5() = default;
Md5::Md5(Md5&&) noexcept = default;
Md5& Md5::operator=(Md5&&) noexcept = default;

void Md5::update(const void* data, std::size_t n) {
  if (n > 0) EVP_DigestUpdate(m_state->context, data, n);
}

Md5Hash Md5::finish() {
  Md5Hash digest{};
  unsigned int length = 0;
  EVP_DigestFinal_ex(m_state->context, digest.data(), &length);
  assert(length == digest.size() && "MD5 has 16 bytes");
  m_state->start();
  return digest;
}

Md5 Md5::clone() const {
  Md5 copy;
  const int ok = EVP_MD_CTX_copy_ex(copy.m_state->context, m_state->context);
  assert(ok == 1 && "an MD5 state can be copied");
  (void)ok;
  return copy;
}

Md5Hash md5Of(const void* data, std::size_t n) {
  Md5 md5;
  md5.update(data, n);
  return md5.finish();
}

}  // namespace par2
