// MD5 on the system's CNG interface, for Windows, where OpenSSL is not at hand.
#include "par2/md5.h"

#include "platform/win32/cng_hash.h"

namespace par2 {

struct Md5::State : platform::win32::CngHash {
  State() : CngHash(provider()) {}
  // Opened once for the life of the program; every digest shares it.
  static BCRYPT_ALG_HANDLE provider() {
    static const BCRYPT_ALG_HANDLE opened =
        platform::win32::openCngProvider(BCRYPT_MD5_ALGORITHM);
    return opened;
  }
};

Md5::Md5() : m_state(std::make_unique<State>()) {}

Md5::~Md5() = default;
Md5::Md5(Md5&&) noexcept = default;
Md5& Md5::operator=(Md5&&) noexcept = default;

void Md5::update(const void* data, std::size_t n) { m_state->update(data, n); }

Md5Hash Md5::finish() {
  Md5Hash digest{};
  m_state->finish(digest.data(), static_cast<ULONG>(digest.size()));
  return digest;
}

Md5 Md5::clone() const {
  Md5 copy;
  copy.m_state->copyFrom(*m_state);
  return copy;
}

Md5Hash md5Of(const void* data, std::size_t n) {
  Md5 md5;
  md5.update(data, n);
  return md5.finish();
}

}  // namespace par2
