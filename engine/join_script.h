// The batch script that rejoins parts without this program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/checksum_file.h"

namespace engine {

// Collects the part names while a split runs and renders the script at its end.
class JoinScript {
 public:
  void clear();
  // Adds a part of `size` bytes to the copy and delete lists; `last` for the final part.
  void addPart(const std::string& partName, bool last, std::int64_t size);
  // The script's lines, without line ends. The delete line runs only when the copy and
  // the rename succeeded and the joined file has the parts' size: a copy that met a
  // missing part (which some command interpreters skip without an error) or a full disk
  // leaves every part where it is.
  std::vector<std::string> lines(const std::string& batName, const std::string& baseName,
                                 bool deleteLine) const;
  // The file's bytes: every line ended by CR LF.
  std::string text(const std::string& batName, const std::string& baseName, bool deleteLine) const;
  const std::string& copyList() const { return m_copyList; }
  const std::string& delList() const { return m_delList; }

 private:
  std::string m_copyList;
  std::string m_delList;
  std::int64_t m_size = 0;  // of the parts listed
};

// How every such script begins.
inline constexpr char kShScriptStart[] = "#!/bin/sh\n# Joins the parts back";

// A POSIX shell script for receivers without this program: it checks the parts with
// sha256sum (or shasum) when `digests` holds their checksums, joins them with cat into
// `baseName` (never over an existing file), and checks the result. With checksums and
// neither tool at hand it joins nothing.
std::string shScriptText(const std::vector<std::string>& partNames, const std::string& baseName,
                         const ChecksumList* digests);

// The file a join script at `path` gives back, read from its Rename line, when its Copy
// line takes `firstPart`; "" when there is no such script of ours.
std::string scriptTarget(const std::string& path, const std::string& firstPart);

// One word as a POSIX shell reads it back: in single quotes, a quote written '\''.
std::string shellQuoted(const std::string& text);

}  // namespace engine
