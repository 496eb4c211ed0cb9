// SHA-256 on OpenSSL's EVP interface.
#include "engine/checksum.h"

#include <openssl/evp.h>

#include <cassert>
#include <vector>

#include "platform/file.h"

namespace engine {

struct Sha256::State {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  ~State() { EVP_MD_CTX_free(context); }
  void start() {
    const int ok = EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
    assert(ok == 1 && "SHA-256 is always available");
    (void)ok;
  }
};

Sha256::Sha256() : m_state(std::make_unique<State>()) {
  m_state->start();
}
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::update(const void* data, std::size_t n) {
  if (n > 0) EVP_DigestUpdate(m_state->context, data, n);
}

std::string Sha256::finishHex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(m_state->context, digest, &length);
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  m_state->start();
  return hex;
}

std::string sha256OfFile(const std::string& path, std::string& problem) {
  platform::IoError err;
  platform::File file = platform::File::open(path, platform::File::Mode::Read, err);
  Sha256 sha;
  std::vector<char> buffer(256 * 1024);
  std::int64_t got = file.isOpen() ? 0 : -1;
  while (file.isOpen() &&
         (got = file.read(buffer.data(), static_cast<std::int64_t>(buffer.size()), err)) > 0) {
    sha.update(buffer.data(), static_cast<std::size_t>(got));
  }
  if (got < 0) {
    problem = err.message();
    return {};
  }
  return sha.finishHex();
}

}  // namespace engine
