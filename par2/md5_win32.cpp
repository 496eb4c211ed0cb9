// MD5 on the system's CNG interface, for Windows, where OpenSSL is not at hand.
#include "par2/md5.h"

#include <windows.h>
#include <bcrypt.h>

#include <cassert>

namespace par2 {
namespace {

// Opened once for the life of the program; every digest shares it.
BCRYPT_ALG_HANDLE md5Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    ::BCryptOpenAlgorithmProvider(&handle, BCRYPT_MD5_ALGORITHM, nullptr, 0);
    return handle;
  }();
  return provider;
}

}  // namespace

struct Md5::State {
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~State() { drop(); }
  void drop() {
    if (hash != nullptr) ::BCryptDestroyHash(hash);
    hash = nullptr;
  }
  void start() {
    drop();
    const NTSTATUS status = ::BCryptCreateHash(md5Provider(), &hash, nullptr, 0, nullptr, 0, 0);
    assert(status >= 0 && "MD5 is always available");
    (void)status;
  }
};

Md5::Md5() : m_state(std::make_unique<State>()) {
  m_state->start();
}

Md5::~Md5() = default;
Md5::Md5(Md5&&) noexcept = default;
Md5& Md5::operator=(Md5&&) noexcept = default;

void Md5::update(const void* data, std::size_t n) {
  // BCryptHashData takes 32-bit lengths and a non-const pointer that it only reads.
  auto* p = static_cast<UCHAR*>(const_cast<void*>(data));
  while (n > 0) {
    const ULONG chunk = static_cast<ULONG>(n > 0x40000000u ? 0x40000000u : n);
    ::BCryptHashData(m_state->hash, p, chunk, 0);
    p += chunk;
    n -= chunk;
  }
}

Md5Hash Md5::finish() {
  Md5Hash digest{};
  ::BCryptFinishHash(m_state->hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
  m_state->start();
  return digest;
}

Md5 Md5::clone() const {
  Md5 copy;
  copy.m_state->drop();
  const NTSTATUS status =
      ::BCryptDuplicateHash(m_state->hash, &copy.m_state->hash, nullptr, 0, 0);
  assert(status >= 0 && "an MD5 state can be copied");
  (void)status;
  return copy;
}

Md5Hash md5Of(const void* data, std::size_t n) {
  Md5 md5;
  md5.update(data, n);
  return md5.finish();
}

}  // namespace par2
