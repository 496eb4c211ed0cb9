// Texts and limits that the extraction run and the listing share; zip/ only.
#pragma once

#include <cstddef>
#include <string>

namespace zip {

// Stored names and extra fields longer than this are read past, not kept.
inline constexpr std::size_t kMaxNameLength = 255;

inline std::string endsInsideHeaderMessage(const std::string& archive) {
  return "Archive " + archive + " ends inside a local header !";
}

// A member whose writer put its sizes after its data (flag bit 3) can only be found the
// end of through the central directory.
inline std::string noDirectoryMessage(const std::string& shownName) {
  return "Member " + shownName +
         " has its sizes after its data, and no central directory gives them ! Skip next...";
}

inline std::string notListedMessage(const std::string& shownName) {
  return "Member " + shownName + " is not where the central directory lists it ! Skip next...";
}

}  // namespace zip
