// Names of part files: the template's extension replaced by "." and the part number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// "movie.avi.000", 2 -> "movie.avi.002"; "my.x", 1 -> "my.001"; "a.bin.000", 1000 -> "a.bin.1000".
std::string partFileName(const std::string& templateName, std::int64_t number);

// The template of a split without a join script: the input's name + ".000".
std::string partTemplate(const std::string& baseName);

// k when `name` is exactly the k-th part name of `templateName` (k >= 1), else 0.
std::int64_t partNumberOf(const std::string& name, const std::string& templateName);

// The same for the template's stem (its name without the extension), for callers that
// look at many names of one series.
std::int64_t partNumberAfterStem(std::string_view name, std::string_view stem);

// The numbers of the parts of `templateName` that have an entry in `folder` (a file, a
// folder, a link: anything that holds the name), ascending. With `archives`, the name of a
// part's archive (part name + ".zip") counts for its part as well. Only numbers above
// `after` are given: those at most a long series' count need not all be held. `read`, when
// given, tells whether the folder was read to its end.
std::vector<std::int64_t> partNumbersIn(const std::string& folder, const std::string& templateName,
                                        bool archives = false, std::int64_t after = 0,
                                        bool* read = nullptr);

}  // namespace engine
