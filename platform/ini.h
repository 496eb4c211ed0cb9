// INI profile access: reading by section and key with the profile rules (names match
// without regard to case, blanks trimmed, one pair of enclosing quotes removed, values
// cut at 2047 bytes), and writing one key in place while every other line survives.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace platform {

inline constexpr std::size_t kMaxProfileValue = 2047;

// A parsed INI text. Reading never fails: a missing file is an empty profile.
class IniProfile {
 public:
  IniProfile() = default;
  explicit IniProfile(std::string_view text);
  static IniProfile load(const std::string& path);
  // As load(), but tells a missing file (an empty profile, true) from one that exists
  // and cannot be read (false, with `err` set), which must not be replaced.
  static bool load(const std::string& path, IniProfile& out, IoError& err);

  // The value of the first `key` in the first `section` of that name, or nothing.
  std::optional<std::string> find(std::string_view section, std::string_view key) const;
  std::string readString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  bool readBool(std::string_view section, std::string_view key, bool defaultValue) const;

  // Sets one key: the existing line is replaced, or a line is added at the end of the
  // section, or the section is appended. Other lines stay as they were.
  void write(std::string_view section, std::string_view key, std::string_view value);
  std::string text() const;

 private:
  std::vector<std::string> m_lines;  // without line ends
  std::string m_lineEnd = "\n";
};

// A profile value as an integer: "0x"/"0X" followed by hex digits (when longer than two
// characters), otherwise decimal with an optional sign. Nothing for anything else.
std::optional<std::int32_t> parseProfileInteger(std::string_view text);

// Writes one key to the file at `path`, creating it when missing; the file is replaced
// atomically, so a failure leaves the old file whole.
bool writeProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value, IoError& err);

}  // namespace platform
