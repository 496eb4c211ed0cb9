// The name rule of the archive components: two paths denote the same name when their
// folder parts are equal byte for byte and their name parts and extensions match with
// wildcards and without regard to letter case.
#pragma once

#include <string>
#include <string_view>

namespace zip {

// Wildcard match in which either text may hold "?" (any one character) and "*" (any run
// of characters). Letters compare without case: ASCII a-z and the accented letters of
// Central European text (üéďäčěĺľžôöůýťáíóúňšřŕ and their capitals), in UTF-8.
bool wildcardNamesMatch(std::string_view a, std::string_view b);

// Both paths are expanded relative to the current folder; then: equal folder parts (up to
// the last separator), matching name parts (the file name up to its first "."), matching
// extensions (at most 3 characters after the last "."; empty when there is no ".").
bool sameArchiveName(std::string_view a, std::string_view b);

// A name as it may be shown in a listing line or a message: control characters (C0,
// DEL, and C1 in UTF-8) become escapes ("\n", "\t", "\r", else "\xHH" per byte), so that
// a stored name can neither start a line of its own nor drive the terminal.
std::string printableName(std::string_view name);

}  // namespace zip
