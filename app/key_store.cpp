// The key store, created once per process.
#include "app/key_store.h"

#include <memory>

namespace app {
namespace {

std::unique_ptr<platform::Registry>& store() {
  static std::unique_ptr<platform::Registry> registry;
  return registry;
}

}  // namespace

platform::Registry& keyStore() {
  if (!store()) store() = std::make_unique<platform::Registry>();
  return *store();
}

void recreateKeyStore() {
  store() = std::make_unique<platform::Registry>();
}

}  // namespace app
