// SHA-256 as hex digits, and of whole files.
#include "engine/checksum.h"

#include <vector>

#include "platform/file.h"
#include "platform/sha256.h"

namespace engine {

struct Sha256::State {
  platform::Sha256Digest digest;
};

// The library's digest is made at the first use: a digest that is never used (the
// pair on one thread does both) costs no start of the library.
Sha256::Sha256() = default;
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

platform::Sha256Digest& Sha256::digest() {
  if (!m_state) m_state = std::make_unique<State>();
  return m_state->digest;
}

void Sha256::update(const void* data, std::size_t n) {
  digest().update(data, n);
}

std::array<std::uint8_t, 32> Sha256::finish() {
  return digest().finish();
}

std::string Sha256::finishHex() {
  return hexOf(finish());
}

std::string hexOf(const std::array<std::uint8_t, 32>& digest) {
  static const char kHex[] = "0123456789abcdef";
  std::string hex(2 * digest.size(), '0');
  for (std::size_t i = 0; i < digest.size(); ++i) {
    hex[2 * i] = kHex[digest[i] >> 4];
    hex[2 * i + 1] = kHex[digest[i] & 15];
  }
  return hex;
}

bool readChunks(const std::string& path, const std::function<void(const char*, std::size_t)>& take,
                std::string& problem) {
  platform::IoError err;
  platform::File file = platform::File::open(path, platform::File::Mode::Read, err);
  std::vector<char> buffer(256 * 1024);
  std::int64_t got = file.isOpen() ? 0 : -1;
  while (file.isOpen() &&
         (got = file.read(buffer.data(), static_cast<std::int64_t>(buffer.size()), err)) > 0) {
    take(buffer.data(), static_cast<std::size_t>(got));
  }
  if (got < 0) problem = err.message();
  return got == 0;
}

std::string sha256OfFile(const std::string& path, std::string& problem) {
  Sha256 sha;
  const auto add = [&sha](const char* data, std::size_t n) { sha.update(data, n); };
  return readChunks(path, add, problem) ? sha.finishHex() : std::string();
}

}  // namespace engine
