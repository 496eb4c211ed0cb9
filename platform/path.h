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

// The user's folder for this program's settings, with a trailing separator (it need not
// exist yet): on POSIX $XDG_CONFIG_HOME/sundrix/ when that is absolute, else
// ~/.config/sundrix/ (the account's home folder when HOME is unset or relative);
// on Windows %APPDATA%\sundrix\ (when APPDATA is unset or relative, the user's roaming
// application data as the system knows it).
std::string userConfigFolder();

// True when `name` is a file name and nothing more, on either OS: not empty, not "." or
// "..", and without "/", "\", ":" (a drive or a stream on Windows) or a NUL byte (which
// would end the name early).
bool isPlainName(std::string_view name);

// Whether a file `name` (a plain name) can be created in `folder` ("" for the current
// one) as far as the length of its name and of its whole path go: the name within what
// the folder's file system takes (255 bytes on most of them), the path within what the
// system opens. False with `why` saying which is too long, by how much and what the limit
// is. A limit that cannot be found out is not held against the name.
bool nameFits(const std::string& folder, const std::string& name, std::string& why);

}  // namespace platform
