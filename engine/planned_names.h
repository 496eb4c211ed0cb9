// The names a split will create, checked before it writes anything: a script name that
// is a name and not a path, names and paths the file system can hold, and no parts of an
// earlier series left beyond the new one's end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace engine {

struct PlannedNames {
  std::string folder;        // the output folder: "" or ending with a separator
  std::string partTemplate;  // the series' name template (movie.avi.000, or the script's name)
  std::int64_t partCount = 0;
  bool archives = false;      // every part packed into PART.zip
  bool checksumFile = false;  // the series' NAME.sha256
  std::string scriptName;     // NAME of NAME.bat and NAME.sh; "" without a script
};

// "" when `name` can name a join script, else why not. The script and the parts it
// names are written into the output folder and nowhere else, so the name may not be
// empty, ".", ".." or hold a separator or a drive.
std::string scriptNameProblem(const std::string& name);

// "" when the join script of `plan` can do its work, else why not: its Copy writes the
// joined file under the script's own name before renaming it, so that name may not be a
// part, a part's archive, the series' list or the file being split (`inputPath`); and
// the command interpreter reads lines of at most 8191 characters.
std::string scriptProblem(const PlannedNames& plan, const std::string& inputPath);

// "" when every name of `plan` fits its file system's limits, else why the first that
// does not, fails.
std::string nameLengthProblem(const PlannedNames& plan);

// The names of the parts (or their archives) in the folder that carry the series' name
// and a number past its last part, in number order.
std::vector<std::string> partsBeyond(const PlannedNames& plan);

// "a, b, c, d, e and 7 more": the first `shown` names, and how many are left out.
std::string someNames(const std::vector<std::string>& names, std::size_t shown = 5);

}  // namespace engine
