// Path parts, separators and part-number names. Every place that splits or builds a
// path goes through here, so a Windows build changes the separators in one spot.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The separator this build writes between folders.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// True for every character that ends a folder part ("/" on POSIX; "\", "/" and ":" on
// Windows).
bool isPathSeparator(char c);

// Everything up to and including the last separator ("" when there is none).
std::string folderPart(std::string_view path);

// Everything after the last separator.
std::string namePart(std::string_view path);

// Puts `suffix` in place of the extension: everything from the last "." after the
// last separator is replaced; the suffix is appended when the name has no ".".
std::string replaceExtension(std::string_view path, std::string_view suffix);

// "." + n formatted with at least three digits: 1 -> ".001", 1000 -> ".1000".
std::string partSuffix(std::int64_t n);

// `folder` with a separator appended unless it is empty or already ends in one.
std::string withTrailingSeparator(std::string_view folder);

// An absolute form of `path`, relative to the current folder; "." and ".." resolved
// lexically, the file itself need not exist.
std::string absolutePath(std::string_view path);

// The current working folder, with a trailing separator.
std::string currentFolder();

// Full path of the running executable.
std::string executablePath();

}  // namespace platform
