// The archive component's messages in the user's language on the command line.
#pragma once

#include <string>

namespace cli {

// `message` with the archive component's texts in the language of the user's locale
// (LC_ALL, LC_MESSAGES, LANG) where a language file of the program matches it, else in
// English.
std::string localized(const std::string& message);

}  // namespace cli
