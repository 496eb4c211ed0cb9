// One running digest on the system's CNG interface (BCrypt), made with a provider of
// openCngProvider (open one per algorithm, once, and share it). SHA-256 and MD5 share it
// on Windows.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <cassert>
#include <cstddef>

namespace platform::win32 {

// The provider of a BCRYPT_*_ALGORITHM; nullptr when the system has none.
inline BCRYPT_ALG_HANDLE openCngProvider(LPCWSTR algorithm) {
  BCRYPT_ALG_HANDLE handle = nullptr;
  ::BCryptOpenAlgorithmProvider(&handle, algorithm, nullptr, 0);
  return handle;
}

class CngHash {
 public:
  explicit CngHash(BCRYPT_ALG_HANDLE provider) : m_provider(provider) { start(); }
  ~CngHash() { drop(); }
  CngHash(const CngHash&) = delete;
  CngHash& operator=(const CngHash&) = delete;

  void update(const void* data, std::size_t n) {
    // BCryptHashData takes 32-bit lengths and a non-const pointer that it only reads.
    auto* p = static_cast<UCHAR*>(const_cast<void*>(data));
    while (n > 0) {
      const ULONG chunk = static_cast<ULONG>(n > 0x40000000u ? 0x40000000u : n);
      ::BCryptHashData(m_hash, p, chunk, 0);
      p += chunk;
      n -= chunk;
    }
  }
  // Writes the digest and starts afresh.
  void finish(UCHAR* digest, ULONG size) {
    ::BCryptFinishHash(m_hash, digest, size, 0);
    start();
  }
  // Takes over the running state of `other`.
  void copyFrom(const CngHash& other) {
    drop();
    const NTSTATUS status = ::BCryptDuplicateHash(other.m_hash, &m_hash, nullptr, 0, 0);
    assert(status >= 0 && "a digest state can be copied");
    (void)status;
  }

 private:
  void drop() {
    if (m_hash != nullptr) ::BCryptDestroyHash(m_hash);
    m_hash = nullptr;
  }
  void start() {
    drop();
    const NTSTATUS status = ::BCryptCreateHash(m_provider, &m_hash, nullptr, 0, nullptr, 0, 0);
    assert(status >= 0 && "the digest is always available");
    (void)status;
  }

  BCRYPT_ALG_HANDLE m_provider;
  BCRYPT_HASH_HANDLE m_hash = nullptr;
};

}  // namespace platform::win32
