// Names of part files: the template's extension replaced by "." and the part number.
#pragma once

#include <cstdint>
#include <string>

namespace engine {

// "movie.avi.000", 2 -> "movie.avi.002"; "my.x", 1 -> "my.001"; "a.bin.000", 1000 -> "a.bin.1000".
std::string partFileName(const std::string& templateName, std::int64_t number);

// The template of a split without a join script: the input's name + ".000".
std::string partTemplate(const std::string& baseName);

}  // namespace engine
