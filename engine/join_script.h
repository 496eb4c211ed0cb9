// The batch script that rejoins parts without this program.
#pragma once

#include <string>
#include <vector>

#include "engine/checksum_file.h"

namespace engine {

// Collects the part names while a split runs and renders the script at its end.
class JoinScript {
 public:
  void clear();
  // Adds a part to the copy and delete lists; `last` for the final part.
  void addPart(const std::string& partName, bool last);
  // The script's lines, without line ends.
  std::vector<std::string> lines(const std::string& batName, const std::string& baseName,
                                 bool deleteLine) const;
  // The file's bytes: every line ended by CR LF.
  std::string text(const std::string& batName, const std::string& baseName, bool deleteLine) const;
  const std::string& copyList() const { return m_copyList; }
  const std::string& delList() const { return m_delList; }

 private:
  std::string m_copyList;
  std::string m_delList;
};

// How every such script begins.
inline constexpr char kShScriptStart[] = "#!/bin/sh\n# Joins the parts back";

// A POSIX shell script for receivers without this program: it checks the parts with
// sha256sum (or shasum) when `digests` holds their checksums, joins them with cat into
// `baseName` (never over an existing file), and checks the result.
std::string shScriptText(const std::vector<std::string>& partNames, const std::string& baseName,
                         const ChecksumList* digests);

}  // namespace engine
