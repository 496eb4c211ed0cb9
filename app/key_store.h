// The process's one key store for the context-menu entries, and the failure that a
// refused write raises.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/registry.h"

namespace app {

// Made at start-up before any window (the first call creates it from the environment)
// and kept until the process ends.
platform::Registry& keyStore();

// Replaces the store by one made from the environment as it is now; window tests call it
// after pointing the configuration and data folders at temporary ones.
void recreateKeyStore();

// A platform call of the shell that failed; it travels to the central error report.
class ShellError : public std::runtime_error {
 public:
  explicit ShellError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace app
