// What the user's settings and the terminal say about how to show things: the separators
// of the local date and time formats, and whether the error stream is a terminal.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The separator of the user's short date format ("/" in 12/31/24), or `fallback`.
char localDateSeparator(char fallback);
// The separator of the user's time format (":" in 23:59:58), or `fallback`.
char localTimeSeparator(char fallback);

// True when the standard error stream is an interactive terminal (a progress line that
// redraws itself makes sense there, not in a log file or a pipe).
bool errorStreamIsTerminal();

// Standard streams the process was started without: each closed one of input (bit 0),
// output (bit 1) and error (bit 2) is opened on the null device, so that no file the
// program opens later takes its place and is then written as that stream. Returns the
// bits of the streams that were closed.
int fillClosedStandardStreams();

// The program's arguments in UTF-8, its own name first. POSIX hands them over as they
// are; on Windows `argv` holds them in the ANSI code page, where letters outside it are
// lost, so they are read from the wide command line instead (argv only if that fails).
std::vector<std::string> commandLineArguments(int argc, char** argv);

}  // namespace platform
