// Events of the archive components, and the warning box that stands in when no error
// handler is assigned.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zip {

class ZipComponent;

// Percentage of the current member's bytes processed.
using TZipProgress = std::function<void(ZipComponent& sender, std::int16_t progress)>;
// A problem, as text, for the user.
using TZipError = std::function<void(ZipComponent& sender, const std::string& errorMsg)>;

// The modal "Warning" box (one "OK" button) shown for a problem when the component has no
// error handler. The handler must not return before the user has closed the box. The GUI
// installs one that shows the box on its own thread while the caller waits; the default
// prints "Warning: <message>" to stderr.
using WarningBox = std::function<void(const std::string& message)>;
void setWarningBox(WarningBox box);  // an empty function restores the default
void showWarningBox(const std::string& message);

// What the archive components have in common: a name and a tag, as every component has.
class ZipComponent {
 public:
  virtual ~ZipComponent() = default;
  std::string Name;
  std::intptr_t Tag = 0;
};

}  // namespace zip
