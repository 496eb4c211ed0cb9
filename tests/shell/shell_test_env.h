// A temporary home for the shell tests: XDG_CONFIG_HOME, XDG_DATA_HOME and HOME point
// into a temporary folder for the life of the object, and are restored afterwards.
#pragma once

#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support/temp_dir.h"

namespace shell_test {

class TempHome {
 public:
  TempHome() {
    for (const char* name : kVariables) {
      const char* value = std::getenv(name);
      m_saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
    }
    ::setenv("XDG_CONFIG_HOME", config().c_str(), 1);
    ::setenv("XDG_DATA_HOME", data().c_str(), 1);
    ::setenv("HOME", (m_dir.path() + "home").c_str(), 1);
  }
  ~TempHome() {
    for (std::size_t i = 0; i < std::size(kVariables); ++i) {
      if (m_saved[i])
        ::setenv(kVariables[i], m_saved[i]->c_str(), 1);
      else
        ::unsetenv(kVariables[i]);
    }
  }
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  const std::string& root() const { return m_dir.path(); }
  std::string config() const { return m_dir.path() + "config"; }
  std::string data() const { return m_dir.path() + "data"; }
  std::string store() const { return config() + "/sundrix/registry.ini"; }
  std::string kde(const std::string& verb) const {
    return data() + "/kio/servicemenus/sundrix-" + verb + ".desktop";
  }
  std::string nemo(const std::string& verb) const {
    return data() + "/nemo/actions/sundrix-" + verb + ".nemo_action";
  }
  std::string script(const std::string& name) const { return data() + "/nautilus/scripts/" + name; }

 private:
  static constexpr const char* kVariables[] = {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "HOME"};
  testing_support::TempDir m_dir;
  std::vector<std::optional<std::string>> m_saved;
};

}  // namespace shell_test

namespace shell_test {

// Fails every file creation below `prefix` with `code`, as a read-only folder would; it
// also works where permissions do not apply (tests run as root).
class DenyCreation : public platform::FaultInjector {
 public:
  DenyCreation(std::string prefix, int code) : m_prefix(std::move(prefix)), m_code(code) {
    platform::setFaultInjector(this);
  }
  ~DenyCreation() override { platform::setFaultInjector(nullptr); }
  int before(platform::FileOp op, const std::string& path) override {
    return op == platform::FileOp::Create && path.rfind(m_prefix, 0) == 0 ? m_code : 0;
  }

 private:
  std::string m_prefix;
  int m_code;
};

}  // namespace shell_test
