#include "install/installation_scope.h"

#include <cstring>

namespace install {

// Current user until the module's load decides.
std::int32_t installationScope = ScopeCurrentUser;

std::optional<std::int32_t> RequestedScope(const char* value) {
  if (value == nullptr) return std::nullopt;
  if (std::strcmp(value, "machine") == 0) return ScopeMachine;
  if (std::strcmp(value, "user") == 0) return ScopeCurrentUser;
  return std::nullopt;
}

}  // namespace install
