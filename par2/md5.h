// MD5, the digest every PAR 2.0 packet, file and slice carries: on OpenSSL's EVP interface
// (md5.cpp), on Windows on the system's CNG (md5_win32.cpp).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace par2 {

using Md5Hash = std::array<std::uint8_t, 16>;

class Md5 {
 public:
  Md5();
  ~Md5();
  Md5(Md5&&) noexcept;
  Md5& operator=(Md5&&) noexcept;
  void update(const void* data, std::size_t n);
  // The digest of everything given since the start; the object starts afresh after it.
  Md5Hash finish();
  // An independent hasher that has seen what this one has.
  Md5 clone() const;

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

Md5Hash md5Of(const void* data, std::size_t n);

}  // namespace par2
